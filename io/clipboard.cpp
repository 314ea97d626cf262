// Converting between the clipboard's media types and values. File lists are
// file URIs, one a line, their paths percent-encoded as UTF-8; images go out
// as PNG and come in as any format the image codecs read.
#include "io/clipboard.h"

#include <cstdint>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/file.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/url.h"
#include "datatypes/binary.h"
#include "datatypes/image.h"
#include "kernel/cell.h"
#include "kernel/unicode.h"
#include "platform/clipboard.h"
#include "platform/image_codecs.h"

namespace zel {
namespace io {
namespace clipboard {

namespace {

const char TEXT[] = "text/plain;charset=utf-8";
const char URI_LIST[] = "text/uri-list";
const char PNG[] = "image/png";
// In order of preference: text first, then files, then images.
const char* const READ_TYPES[] = {TEXT,      "UTF8_STRING", "text/plain", URI_LIST,
                                  PNG,       "image/jpeg",  "image/gif",  ""};

// The local path of a file URI ("file://" then an optional host), decoded;
// empty for any other line.
std::string uri_path(const std::string& line) {
    const std::string prefix = "file://";
    if (line.compare(0, prefix.size(), prefix) != 0) return {};
    size_t slash = line.find('/', prefix.size());
    if (slash == std::string::npos) return {};
    const uint8_t* p = reinterpret_cast<const uint8_t*>(line.data()) + slash;
    const uint8_t* end = reinterpret_cast<const uint8_t*>(line.data()) + line.size();
    std::string path;
    for (; p < end; p++) {
        uint8_t byte = *p;
        if (url::decode_escape(p, end, &byte)) p += 2;
        path += char(byte);
    }
    return path;
}

// The result slot becomes a block of the files the URI list names.
void files_from(const std::string& list, Cell* out) {
    block::write_cell(out, 4);
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        if (end == std::string::npos) end = list.size();
        std::string line = list.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        std::string path = line.empty() || line[0] == '#' ? std::string() : uri_path(line);
        if (path.empty()) continue;
        Cell* f = string::load_in(out, reinterpret_cast<const uint8_t*>(path.data()),
                                  uint32_t(path.size()), string::ENC_UTF8);
        cell::set_type(f, T_FILE);
    }
}

// The URI list of a block of files; false when the block holds anything else.
bool uri_list_of(Cell* files, std::string& list) {
    int32_t n = block::get_length(files);
    for (int32_t i = 0; i < n; i++) {
        const Cell* f = block::cell_at(files, cell::series_index(files) + uint32_t(i));
        if (cell::type(f) != T_FILE) return false;
        file::LocalPath path(f, true);
        list += "file://";
        for (uint32_t k = 0; k < path.size(); k++) {
            uint8_t c = static_cast<uint8_t>(path.c_str()[k]);
            char escaped[3];
            if (c == '/') list += '/';  // the separators stay, the rest is a component
            else list.append(escaped, url::encode_byte(url::ENCODE_COMPONENT, c, escaped));
        }
        list += "\r\n";
    }
    return true;
}

// The whole image, whatever its head, as PNG; an image without pixels has
// nothing to put on the clipboard.
bool write_png(const Cell* img) {
    if (!image::count(img)) error::raise(Err::script_invalid_arg, img);
    std::vector<uint8_t> bytes;
    if (!os_image::encode(os_image::FORMAT_PNG, image::pixels(img), image::width(img), image::height(img), bytes))
        return false;
    return platform::clipboard::write(PNG, std::string(bytes.begin(), bytes.end()));
}

}  // namespace

void read() {
    Cell* out = stack::arg(0);
    std::string type, data;
    switch (platform::clipboard::read(READ_TYPES, type, data)) {
    case platform::clipboard::Read::NONE:
        cell::make_none(out);
        return;
    case platform::clipboard::Read::FAILED:
        cell::make_logic(out, false);
        return;
    case platform::clipboard::Read::FOUND:
        break;
    }
    if (type == URI_LIST) {
        files_from(data, out);
        return;
    }
    if (type.compare(0, 6, "image/") == 0) {
        Cell* bytes = binary::from_memory(reinterpret_cast<const uint8_t*>(data.data()), uint32_t(data.size()));
        image::decode(stack::arg(0), bytes);
        return;
    }
    string::load_at(reinterpret_cast<const uint8_t*>(data.data()), uint32_t(data.size()), out,
                    string::ENC_UTF8);
}

void write() {
    Cell* value = stack::arg(0);
    bool done = false;
    switch (cell::type(value)) {
    case T_NONE:
        done = platform::clipboard::write(nullptr, std::string());
        break;
    case T_STRING:
        done = platform::clipboard::write(TEXT, utf8::text(value));
        break;
    case T_BLOCK: {
        std::string list;
        done = uri_list_of(value, list) && platform::clipboard::write(URI_LIST, list);
        break;
    }
    case T_IMAGE:
        done = write_png(value);
        break;
    default:
        break;
    }
    cell::make_logic(stack::arg(0), done);
}

}  // namespace clipboard
}  // namespace io
}  // namespace zel
