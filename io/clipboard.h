// The clipboard routines' values: text as a string!, a list of files as a
// block of file! values (carried as a text/uri-list of file URIs). Images
// join once image! exists.
#pragma once

namespace zel {
namespace io {
namespace clipboard {

// read-clipboard: a string!, a block of files, none when the clipboard holds
// neither (or there is no desktop clipboard), false when it cannot be read.
void read();
// write-clipboard data: none empties the clipboard; a string! or a block of
// file! values is stored; true on success.
void write();

}  // namespace clipboard
}  // namespace io
}  // namespace zel
