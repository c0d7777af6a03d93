// Files and directories on POSIX. Bytes cross between files and values through C++ memory: a
// file is read whole (or its part) before any value is made, and a value is turned into bytes
// before the file is opened, so no series buffer is touched while a descriptor is open and every
// descriptor is closed on every path. Reads and writes loop until done: a short count is never
// taken for the whole.
#include "datatypes/os/files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <vector>

#include "core/memory.hpp"
#include "core/os/descriptor.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/date.hpp"
#include "datatypes/file.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/string.hpp"

namespace vyn::files {
namespace {

using Bytes = std::string;

[[noreturn]] void fire_cannot_open(const Cell* path) { fire(err::cannot_open, path); }

bool ends_with(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

using os::Descriptor;

// A /part or /seek count: -1 when absent. A float counts by its integer part, clamped to the
// integer range (NaN counts as 0).
int64_t count_of(const Cell* number) {
    if (!number) return -1;
    if (number->is(TYPE_INTEGER)) return number->i32();
    double d = number->f64();
    if (!(d > 0)) return d < 0 ? -1 : 0;
    return d >= double(INT32_MAX) ? INT32_MAX : int64_t(d);
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
    return file_block(names);
}

// Reads from the seek offset up to `part` bytes (to the end when part < 0). Sizes the system
// reports as 0 (/proc, pipes) are found by reading; an offset past the end gives nothing.
Bytes file_bytes(const Cell* source, const std::string& path, int64_t part, int64_t seek) {
    Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.ok() || fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode)) fire_cannot_open(source);
    if (seek > 0 && lseek(fd.get(), off_t(seek), SEEK_SET) < 0) fire_cannot_open(source);
    Bytes bytes;
    char chunk[65536];
    while (part < 0 || bytes.size() < uint64_t(part)) {
        size_t want = part < 0 ? sizeof chunk : std::min(sizeof chunk, size_t(uint64_t(part) - bytes.size()));
        ssize_t got = ::read(fd.get(), chunk, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fire_cannot_open(source);
        if (got == 0) break;
        if (bytes.size() + size_t(got) > SERIES_MAX_CAPACITY) fire(err::no_memory);
        bytes.append(chunk, size_t(got));
    }
    return bytes;
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

// ---- writing ----

// The bytes of a binary! from its index, at most `part` of them when part >= 0.
Bytes binary_bytes(const Cell* binary, int64_t part) {
    std::span<uint8_t> bytes = binary::bytes_of(binary);
    size_t n = part < 0 ? bytes.size() : std::min(bytes.size(), size_t(part));
    return Bytes(reinterpret_cast<const char*>(bytes.data()), n);
}

// A string from its head as UTF-8, at most `part` characters when part >= 0.
Bytes text_bytes(const Cell* text, int64_t part) {
    if (part < 0 || uint64_t(part) >= string::length(text)) return string::to_utf8(text);
    Rooted copy(string::make(uint32_t(part)));
    string::append_string(copy.get(), text, int32_t(part));
    return string::to_utf8(copy.get());
}

Bytes value_bytes(const Cell* value, int64_t part) {
    if (value->is(TYPE_BINARY)) return binary_bytes(value, part);
    if (string::is_text(value->type())) return text_bytes(value, part);
    Rooted held(*value);
    Rooted molded(string::make(64));
    mold::mold_value(held.get(), molded.get(), MoldArgs{false, false, false, 0}, nullptr, INT32_MAX);
    return text_bytes(molded.get(), part);
}

Bytes data_bytes(const Cell* data, bool lines, int64_t part) {
    if (!lines) return value_bytes(data, part);
    if (!data->is(TYPE_BLOCK)) return value_bytes(data, part) + '\n';
    Rooted block(*data);
    Bytes bytes;
    for (uint32_t i = 0, n = block::vs_length(block.get()); i < n; ++i) {
        Rooted item(*block::vs_abs_at(block.get(), block->s1 + i));
        bytes += value_bytes(item.get(), part);
        bytes += '\n';
    }
    return bytes;
}

bool write_all(int fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// An integer! count; any other number names itself in the error.
int64_t write_count_of(const Cell* number) {
    if (!number) return -1;
    if (!number->is(TYPE_INTEGER)) fire(err::invalid_arg, number);
    return number->i32();
}

// Renames unless the target exists; filesystems without the no-replace flag get the existence
// test alone.
bool rename_no_replace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    return !exists(to) && ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

Bytes bytes_of(const Cell* value) { return value_bytes(value, -1); }

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool make_dir(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool write_stdout(const Cell* data) { return write_all(STDOUT_FILENO, bytes_of(data)); }

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

Cell file_block(const std::vector<std::string>& names) {
    Rooted files;
    block::make_at(files.get(), int64_t(names.size()));
    for (const std::string& name : names) {
        Rooted file(string::from_utf8(name));
        file->set_type(TYPE_FILE);
        block::vs_append(files.get(), file.get());
    }
    return *files;
}

Cell value_of_bytes(const Bytes& bytes, bool binary, bool lines) {
    if (binary) return string::binary_of(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (lines) return lines_block(bytes);
    return string_cell(folded_line_ends(bytes));
}

bool is_directory_path(const std::string& path) {
    return ends_with(path, "/") || path == "." || path == ".." || ends_with(path, "/.") || ends_with(path, "/..");
}

Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool, const Cell* as) {
    if (as) fire(err::not_done);
    std::string path = file::to_local_path(source);
    if (is_directory_path(path)) {
        *source = read_dir(source, path);
        return source;
    }
    *source = value_of_bytes(file_bytes(source, path, count_of(part), count_of(seek)), binary, lines);
    return source;
}

std::string read_bytes(const Cell* file) { return file_bytes(file, file::to_local_path(file), -1, -1); }

Cell* write(Cell* destination, const Cell* data, bool, bool lines, bool, bool append, const Cell* part,
            const Cell* seek, const Cell* allow, const Cell* as) {
    if (allow || as) fire(err::not_done);
    std::string path = file::to_local_path(destination);
    int64_t count = write_count_of(part);
    int64_t offset = count_of(seek);
    if (part && count < 0) {
        *destination = unset_cell();
        return destination;
    }
    Bytes bytes = data_bytes(data, lines, count);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append || offset >= 0 ? 0 : O_TRUNC);
    Descriptor fd(open(path.c_str(), flags, 0666));
    if (!fd.ok()) fire_cannot_open(destination);
    off_t position = append ? lseek(fd.get(), 0, SEEK_END) : offset > 0 ? lseek(fd.get(), off_t(offset), SEEK_SET) : 0;
    if (position < 0 || !write_all(fd.get(), bytes)) fire_cannot_open(destination);
    *destination = unset_cell();
    return destination;
}

Cell* remove(Cell* file) {
    std::string path = file::to_local_path(file);
    bool done = is_directory_path(path) ? rmdir(path.c_str()) == 0 : unlink(path.c_str()) == 0;
    *file = logic_cell(done);
    return file;
}

Cell* rename(Cell* from, const Cell* to) {
    if (!to->is(TYPE_FILE)) fire(err::invalid_arg, to);
    bool done = rename_no_replace(file::to_local_path(from), file::to_local_path(to));
    *from = logic_cell(done);
    return from;
}

Cell* query(Cell* file) {
    std::string path = file::to_local_path(file);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || (ends_with(path, "/") && !S_ISDIR(info.st_mode))) {
        *file = none_cell();
        return file;
    }
    tm utc{};
    gmtime_r(&info.st_mtim.tv_sec, &utc);
    int32_t milliseconds = int32_t(info.st_mtim.tv_nsec / 1000000);
    date::make_from_parts(file, utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                          utc.tm_sec, milliseconds * 1000000);
    return file;
}

std::optional<uint64_t> size_of(const Cell* file) {
    Descriptor fd(open(file::to_local_path(file).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.ok() || fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    return uint64_t(info.st_size);
}

}  // namespace vyn::files
