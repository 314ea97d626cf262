// The desktop clipboard, reached through the standard clipboard programs:
// wl-copy/wl-paste in a Wayland session, else xclip in an X11 session. They
// are started without a shell, found through PATH; without a session or the
// programs there is no clipboard. Data travel as bytes under a media type.
#pragma once
#include <string>

namespace zel {
namespace platform {
namespace clipboard {

// What a read found.
enum class Read {
    NONE,     // no desktop clipboard, or nothing in a format asked for
    FAILED,   // the clipboard program failed
    FOUND,    // data holds the contents under the media type in type
};

// Reads the first of the media types offered (in order of preference, each a
// NUL-terminated entry of a list ended by an empty one) that the clipboard
// holds.
Read read(const char* const* types, std::string& type, std::string& data);

// Puts data on the clipboard under the media type; a null type empties the
// clipboard. False without a desktop clipboard or when the program fails.
bool write(const char* type, const std::string& data);

}  // namespace clipboard
}  // namespace platform
}  // namespace zel
