// Files and directories for the I/O actions of file! and the natives that take a file: read,
// write, delete, rename, the last-write date and the size. Each operation opens, works and
// closes: no handle outlives a call. Text is written with LF line ends and read with CR LF and
// lone CR folded to LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/cell.hpp"

namespace vyn::files {

// The read action on a file!: a directory path lists the directory (a block of file! values,
// directories ending in "/", sorted by name); any other path gives the file's bytes (binary),
// its lines (a block of strings) or its text (UTF-8, line ends folded to LF). /part and /seek
// count bytes. A file or directory that cannot be read raises `cannot-open` with the path.
Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool info, const Cell* as);

// The write action on a file!: the data's bytes (a string as UTF-8, a binary from its index,
// any other value molded) replace the file, or go at its end (/append) or at a byte offset
// (/seek, the rest kept). /lines writes each value of a block followed by LF. The result is
// unset; a file that cannot be opened or written raises `cannot-open`.
Cell* write(Cell* destination, const Cell* data, bool binary, bool lines, bool info, bool append,
            const Cell* part, const Cell* seek, const Cell* allow, const Cell* as);

// delete: a directory path removes an empty directory, any other a file; logic! result.
Cell* remove(Cell* file);
// rename: logic! result; an existing target is never replaced.
Cell* rename(Cell* from, const Cell* to);

// query: the last-write date (UTC, milliseconds kept), or none when the entry is missing or a
// path ending in "/" names something that is not a directory.
Cell* query(Cell* file);

// The size in bytes of a file that is not a directory, or nothing when it cannot be opened.
std::optional<uint64_t> size_of(const Cell* file);

// "/" at the end, "." or ".." alone, or "/." or "/.." at the end name a directory.
bool is_directory_path(const std::string& path);

// A value's bytes as write stores them: a string as UTF-8, a binary from its index, any other
// value molded.
std::string bytes_of(const Cell* value);

// Text as files give it: CR LF and a lone CR become LF, a leading byte-order mark goes.
std::string folded_line_ends(const std::string& bytes);

// A block of file! values of these names (UTF-8; what is not becomes U+FFFD).
Cell file_block(const std::vector<std::string>& names);

// Bytes as read gives them: a binary! (binary), a block of line strings (lines), or UTF-8 text
// with its line ends folded. Undecodable text raises `invalid-utf8`.
Cell value_of_bytes(const std::string& bytes, bool binary, bool lines);

// Whether a file or directory of that local name exists (a dangling link counts).
bool exists(const std::string& path);
// Creates one directory; false when the system refuses.
bool make_dir(const std::string& path);
// Writes a value's bytes, as write stores them, to the process's standard output.
bool write_stdout(const Cell* data);

// The whole content of a file as bytes; raises `cannot-open` with the file when it cannot be read.
std::string read_bytes(const Cell* file);

}  // namespace vyn::files
