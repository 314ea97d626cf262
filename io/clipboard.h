// The clipboard routines' values: text as a string!, a list of files as a
// block of file! values (carried as a text/uri-list of file URIs), an image!
// (carried as image/png).
#pragma once

namespace zel {
namespace io {
namespace clipboard {

// read-clipboard: a string!, a block of files, an image!, none when the
// clipboard holds none of them (or there is no desktop clipboard), false when
// it cannot be read; an image that does not decode raises bad-media.
void read();
// write-clipboard data: none empties the clipboard; a string!, a block of
// file! values or an image! is stored (an image without pixels raises
// invalid-arg); true on success.
void write();

}  // namespace clipboard
}  // namespace io
}  // namespace zel
