// Reading files and listing directories for the read action of file!. Each read opens, reads
// and closes: no handle outlives a call.
#pragma once

#include "core/cell.hpp"

namespace vyn::files {

// The read action on a file!: a directory path lists the directory (a block of file! values,
// directories ending in "/", sorted by name); any other path gives the file's bytes (binary),
// its lines (a block of strings) or its text (UTF-8, line ends folded to LF). /part and /seek
// count bytes. A file or directory that cannot be read raises `cannot-open` with the path.
Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool info, const Cell* as);

}  // namespace vyn::files
