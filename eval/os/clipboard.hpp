// The system clipboard through GTK: text (UTF-8), file lists (text/uri-list) and images
// (image/png). GTK is opened on the first clipboard call, never at start-up; without a display
// the clipboard cannot be opened and both directions report failure.
#pragma once

#include "core/cell.hpp"

namespace vyn::clipboard {

// The clipboard's content: a string! (CR characters removed), a block of file! values for a
// list of local files, an image!, or none when it holds none of these; false when the clipboard
// cannot be opened.
Cell read();

// Puts a string!, a block of files, an image! or none (which only empties the clipboard) on the
// clipboard; false when it cannot be opened. Any other value, a block holding anything but files
// (or strings naming them), or an image with one side of 0, raises `invalid-arg` before the
// clipboard is touched.
bool write(const Cell* value);

// Waits until the descriptor has input, meanwhile giving other programs what this one put on
// the clipboard (an X11 clipboard is served by its owner). Returns at once when no clipboard
// routine has started GTK.
void serve_until_readable(int fd);

}  // namespace vyn::clipboard
