// image! as a series: pixel offsets of integer and pair indexes, navigation,
// pick and poke, path access, copying of rectangles and change.
#include <algorithm>
#include <cstring>

#include "core/integer.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "datatypes/image.h"
#include "datatypes/image_pixels.h"
#include "datatypes/pair.h"

namespace zel {
namespace image {

namespace {
// The answer of the actions that answer a new value; the caller copies it.
Cell answer;
}  // namespace

// ---- the owner -----------------------------------------------------------------------

// Tells the owner of an owned image of a change (the action word before,
// its past form after); false for an image nobody owns. The owner's handler
// runs code, so callers find the pixels again afterwards.
bool tell_owner(const Cell* img, words::Word action, const Cell* value, int64_t index, int64_t part) {
    if (!(img->header & HDR_OWNED)) return false;
    return ownership::notify(img, words::word(action), value ? value : &statics::none_cell, int32_t(index),
                             int32_t(part));
}

// ---- offsets ------------------------------------------------------------------------

int64_t pixel_offset(const Cell* img, const Cell* index, int32_t base, bool* outside) {
    int64_t w = width(img), h = height(img), n = w * h, at = head(img), offset;
    bool bad = false;
    if (cell::type(index) == T_PAIR) {
        int64_t x = pair::x_of(index) - base, y = pair::y_of(index) - base;
        offset = y * w + x + at;
        bad = x < 0 || x >= w || y < 0 || y >= h;
    } else if (cell::type(index) == T_INTEGER) {
        int64_t i = cell::get_int(index);
        offset = base == 1 && i > 0 ? at + i - 1 : at + i;
        bad = base == 1 && i == 0;
    } else {
        error::raise(Err::script_invalid_arg, index);
    }
    bad = bad || offset < 0 || offset >= n;
    if (outside) *outside = bad;
    return std::clamp<int64_t>(offset, 0, n);
}

// ---- navigation ----------------------------------------------------------------------

int32_t length(Cell* value) { return int32_t(count(value)); }

void at() { set_head(stack::arg(0), uint32_t(pixel_offset(stack::arg(0), stack::arg(1), 1, nullptr))); }
void skip() { set_head(stack::arg(0), uint32_t(pixel_offset(stack::arg(0), stack::arg(1), 0, nullptr))); }
void tail() { set_head(stack::arg(0), count(stack::arg(0))); }
void is_tail() { cell::make_logic(stack::arg(0), head(stack::arg(0)) >= count(stack::arg(0))); }

void next() {
    Cell* img = stack::arg(0);
    if (head(img) < count(img)) set_head(img, head(img) + 1);
}

// ---- pick and poke -------------------------------------------------------------------

const Cell* pick(Cell* img, int32_t, Cell* index_cell) {
    bool outside;
    int64_t at = pixel_offset(img, index_cell, 1, &outside);
    if (outside) return &statics::none_cell;
    write_tuple(&answer, pixels(img)[at]);
    return &answer;
}

const Cell* poke(Cell* img, int32_t, Cell* index_cell, Cell* value) {
    bool outside;
    int64_t at = pixel_offset(img, index_cell, 1, &outside);
    if (outside) error::raise(Err::script_out_of_range, index_cell);
    if (cell::type(value) != T_TUPLE) error::raise(Err::script_invalid_arg, value);
    bool owned = tell_owner(img, words::W_poke, value, at, 1);
    pixels(img)[at] = from_tuple(value);
    if (owned) tell_owner(img, words::W_poked, value, at, 1);
    return value;
}

// ---- paths ---------------------------------------------------------------------------

namespace {

enum Field { NO_FIELD = -1, FIELD_ALPHA = PLANE_ALPHA, FIELD_RGB = PLANE_RGB, FIELD_ARGB = PLANE_ARGB, FIELD_SIZE };

Field field_of(const Cell* word) {
    struct Named {
        words::Symbol name;
        Field field;
    };
    static const Named NAMES[] = {
        {words::S_size, FIELD_SIZE}, {words::S_rgb, FIELD_RGB}, {words::S_argb, FIELD_ARGB}, {words::S_alpha, FIELD_ALPHA}};
    uint32_t s = symbol::resolve(cell::word_symbol(word));
    for (const Named& n : NAMES)
        if (s == symbol::resolve(words::symbol(n.name))) return n.field;
    return NO_FIELD;
}

}  // namespace

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool, bool,
                      bool, bool) {
    uint32_t t = cell::type(element);
    if (t == T_INTEGER || t == T_PAIR) return value ? poke(parent, 0, element, value) : pick(parent, 0, element);
    Field f = t == T_WORD ? field_of(element) : NO_FIELD;
    if (f == NO_FIELD || (f == FIELD_SIZE && value)) error::raise(Err::script_invalid_path, path, element);
    if (f == FIELD_SIZE) {
        pair::init_cell(&answer, int32_t(width(parent)), int32_t(height(parent)));
        return &answer;
    }
    if (!value) return extract_channels(parent, f);
    bool owned = tell_owner(parent, words::W_change, value, 0, count(parent));
    set_channels(parent, value, f);
    if (owned) tell_owner(parent, words::W_changed, value, 0, count(parent));
    return value;
}

// ---- copy ----------------------------------------------------------------------------

void crop(Cell* out, const Cell* img, int64_t x, int64_t y, int64_t w, int64_t h) {
    int64_t iw = width(img), ih = height(img);
    x = std::clamp<int64_t>(x, 0, iw);
    y = std::clamp<int64_t>(y, 0, ih);
    w = std::clamp<int64_t>(w, 0, iw - x);
    h = std::clamp<int64_t>(h, 0, ih - y);
    if (w == 0 || h == 0) w = h = 0;
    Cell made;
    init_cell(&made, w, h);
    if (w) pixels::copy_rect(pixels(img), int32_t(iw), int32_t(ih), int32_t(x), int32_t(y), int32_t(w), int32_t(h),
                             pixels(&made));
    *out = made;
}

const Cell* copy(Cell* img, Cell* part, bool, Cell*) {
    int64_t w = width(img), h = height(img), at = head(img);
    int64_t x0 = w ? at % w : 0, y0 = w ? at / w : 0;
    if (!part) {
        crop(&answer, img, x0, y0, w - x0, h - y0);
        return &answer;
    }
    switch (cell::type(part)) {
    case T_PAIR: {
        int64_t px = pair::x_of(part), py = pair::y_of(part);
        bool inside = at < w * h;
        // A negative size reaches back from the head towards the top-left.
        if (px < 0 && py < 0 && inside) crop(&answer, img, x0 + px, y0 + py, std::min(-px, x0), std::min(-py, y0));
        else if (px >= 1 && py >= 1 && inside) crop(&answer, img, x0, y0, px, py);
        else crop(&answer, img, 0, 0, 0, 0);
        return &answer;
    }
    case T_IMAGE: {
        if (cell::series_node(part) != cell::series_node(img)) error::raise_bad_refine("part", part);
        int64_t other = std::min<int64_t>(head(part), w * h);
        int64_t x1 = w ? other % w : 0, y1 = w ? other / w : 0;
        crop(&answer, img, std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0));
        return &answer;
    }
    case T_INTEGER: error::raise(Err::internal_not_done);
    default: error::raise_bad_refine("part", part);
    }
}

// ---- change --------------------------------------------------------------------------

namespace {

// Draws the source with its top-left pixel at the target's head, clipped to
// both; the head moves to the column after the last one drawn, on the last
// row drawn. Rows go from the bottom up: an image drawn into itself shares
// the buffer, and each target row lies past the source rows still unread.
void draw(Cell* target, const Cell* source) {
    int64_t w = width(target), h = height(target), at = head(target);
    if (at >= w * h) return;
    int64_t x0 = at % w, y0 = at / w;
    int64_t cols = std::min<int64_t>(width(source), w - x0), rows = std::min<int64_t>(height(source), h - y0);
    if (cols <= 0 || rows <= 0) return;
    const uint32_t* from = pixels(source);
    uint32_t* to = pixels(target);
    int64_t sw = width(source);
    for (int64_t r = rows; r-- > 0;) std::memmove(to + (y0 + r) * w + x0, from + r * sw, size_t(cols) * 4);
    set_head(target, uint32_t((y0 + rows - 1) * w + std::min(x0 + cols, w)));
}

}  // namespace

const Cell* change(Cell* img, Cell* value, int32_t part, bool, int32_t dup) {
    if (part >= 2 || dup >= 2) error::raise(Err::internal_not_done);
    switch (cell::type(value)) {
    case T_TUPLE: {
        Cell first;
        cell::make_integer(&first, 1);
        poke(img, 1, &first, value);
        set_head(img, head(img) + 1);
        break;
    }
    case T_IMAGE: {
        uint32_t at = head(img);
        bool owned = tell_owner(img, words::W_change, value, at, 1);
        draw(img, value);
        if (owned) tell_owner(img, words::W_changed, value, at, 1);
        break;
    }
    default: number::raise_invalid_type(value);
    }
    answer = *img;
    return &answer;
}

}  // namespace image
}  // namespace zel
