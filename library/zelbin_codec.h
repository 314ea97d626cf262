// The routines of the Zelbin codec object (system/codecs/zelbin): the
// encoder that takes the layout flag and the decoder of a binary, a file or
// a url. They are bound to hand-over words that the library's codec source
// takes into the object and then unsets.
#pragma once

namespace zel {
namespace zelbin_codec {

// Registers the routines and binds them to their hand-over words. Needs the
// boot words and the typesets (the specs name them).
void bind();

}  // namespace zelbin_codec
}  // namespace zel
