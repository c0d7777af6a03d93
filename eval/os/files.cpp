// File reading and directory listing on POSIX: the bytes are read whole into C++ memory before
// any value is made, so no series buffer is written while the file is open.
#include "eval/os/files.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/rooted.hpp"
#include "datatypes/block.hpp"
#include "datatypes/file.hpp"
#include "datatypes/string.hpp"
#include "eval/stack.hpp"

namespace vyn::files {
namespace {

using Bytes = std::string;

[[noreturn]] void fire_cannot_open(const Cell* path) { fire(err::cannot_open, path); }

bool ends_with(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// "/" at the end, "." or ".." alone, or "/." or "/.." at the end name a directory.
bool is_directory_path(const std::string& path) {
    return ends_with(path, "/") || path == "." || path == ".." || ends_with(path, "/.") || ends_with(path, "/..");
}

int32_t count_of(const Cell* number) {
    if (!number) return -1;
    return number->is(TYPE_INTEGER) ? number->i32() : int32_t(number->f64());
}

Cell read_dir(const Cell* source, std::string path) {
    if (ends_with(path, ".")) path += '/';
    DIR* dir = opendir(path.c_str());
    if (!dir) fire_cannot_open(source);
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info {};
        if (stat((path + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) name += '/';
        names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    Rooted listing;
    block::make_at(listing.get(), int64_t(names.size()));
    for (const std::string& name : names) {
        Rooted file(string::from_utf8(name));
        file->set_type(TYPE_FILE);
        block::vs_append(listing.get(), file.get());
    }
    return *listing;
}

Bytes file_bytes(const Cell* source, const std::string& path, int32_t part, int32_t seek) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) fire_cannot_open(source);
    std::ifstream in(path, std::ios::binary);
    if (!in) fire_cannot_open(source);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) fire_cannot_open(source);
    if (seek > 0) bytes.erase(0, std::min(bytes.size(), size_t(seek)));
    if (part >= 0 && size_t(part) < bytes.size()) bytes.resize(size_t(part));
    return bytes;
}

// CR LF and a lone CR become LF; a leading byte-order mark goes.
Bytes folded_line_ends(const Bytes& bytes) {
    size_t from = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    Bytes out;
    out.reserve(bytes.size() - from);
    for (size_t i = from; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') out += bytes[i];
        else if (i + 1 == bytes.size() || bytes[i + 1] != '\n') out += '\n';
    }
    return out;
}

Cell string_cell(const Bytes& utf8) {
    Cell value = *string::from_utf8_binary(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size());
    stack::pop(1);
    return value;
}

// One string per line; a CR before the LF is dropped, and a final LF adds no empty line.
Cell lines_block(const Bytes& bytes) {
    Rooted lines;
    block::make_at(lines.get(), 8);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        size_t next = end == Bytes::npos ? bytes.size() : end + 1;
        if (end == Bytes::npos) end = bytes.size();
        else if (end > start && bytes[end - 1] == '\r') --end;
        Rooted line(string_cell(bytes.substr(start, end - start)));
        block::vs_append(lines.get(), line.get());
        start = next;
    }
    return *lines;
}

}  // namespace

Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool, const Cell*) {
    std::string path = file::to_local_path(source);
    if (is_directory_path(path)) {
        *source = read_dir(source, path);
        return source;
    }
    Bytes bytes = file_bytes(source, path, count_of(part), count_of(seek));
    if (binary) *source = string::binary_of(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    else if (lines) *source = lines_block(bytes);
    else *source = string_cell(folded_line_ends(bytes));
    return source;
}

}  // namespace vyn::files
