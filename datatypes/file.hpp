// file!: a url! whose text names a file or directory in script form (forward slashes, "/" at
// the root). Here the local form is the POSIX path itself, so the conversion at the OS boundary
// only adds the current directory on request and refuses what the OS cannot name.
#pragma once

#include <string>

#include "core/cell.hpp"

namespace vyn::file {

// The current directory, ending in "/".
std::string current_dir();

// Appends the local form of the path from its head to `out` (a string!); with `full`, a relative
// path (an empty one too) gets the current directory in front.
void path_to_local(const Cell* path, Cell* out, bool full);

// The UTF-8 text handed to the OS for the path; a NUL in it would let the OS act on another
// file, so such a path raises `cannot-open` with the path.
std::string to_local_path(const Cell* path);

}  // namespace vyn::file

namespace vyn {

// Registers file! (parent url!); url! must be registered first.
void file_init();

}  // namespace vyn
