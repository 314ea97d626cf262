// The image codec objects' routines over datatypes/image: every format
// decodes alike (the bytes tell the format), and encoding takes the format
// index of the codec object that calls it.
#include "library/image_codec.h"

#include "core/stack.h"
#include "datatypes/image.h"
#include "library/routines.h"

namespace zel {
namespace image_codec {

namespace {

void encode() {
    Cell* format = stack::arg(2);
    image::encode(stack::arg(0), stack::arg(0), cell::get_int(format));
}

void decode() { image::decode(stack::arg(0), stack::arg(0)); }

const routines::Def ROUTINES[] = {
    {"image-encode", R"~(img [image!] where [any-type!] format [integer!])~", encode},
    {"image-decode", R"~(data [any-type!])~", decode},
};

bool bound = false;

}  // namespace

void bind() {
    if (bound) return;
    bound = true;
    routines::bind_all(ROUTINES, sizeof ROUTINES / sizeof ROUTINES[0]);
}

}  // namespace image_codec
}  // namespace zel
