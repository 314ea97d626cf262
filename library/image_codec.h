// The routines of the image codec objects (system/codecs/png, jpeg, bmp,
// gif and tiff): an image to the bytes of a format, and a binary or file
// back to an image. They are bound to hand-over words that the library's
// codec source builds into the objects and then unsets.
#pragma once

namespace zel {
namespace image_codec {

// Registers the routines and binds them to their hand-over words. Needs the
// boot words and the typesets (the specs name them). Idempotent.
void bind();

}  // namespace image_codec
}  // namespace zel
