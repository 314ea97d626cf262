// The routine of the JSON reader object: the escapes of a matched JSON
// string replaced in place. It is bound to a hand-over word that the
// library's JSON source takes into the reader object and then unsets.
#pragma once

namespace zel {
namespace json_codec {

// Registers the routine and binds it to its hand-over word. Needs the boot
// words and the typesets (the spec names them).
void bind();

}  // namespace json_codec
}  // namespace zel
