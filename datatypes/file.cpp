// file! actions: its own mold, the rest from url! and string!. A path is kept in script form and
// converted only at the OS boundary. Mold writes "%" and the text, quoted when a character below
// 127 is not URL-safe. Inside the quotes, carets escape what the loader would otherwise misread
// (a double quote, a caret, control characters), so the molded text loads back as it was.
#include "datatypes/file.hpp"

#include <algorithm>

#include "core/os/os.hpp"
#include "core/raise.hpp"
#include "core/type_registry.hpp"
#include "datatypes/os/files.hpp"
#include "datatypes/string.hpp"
#include "datatypes/url_coding.hpp"

namespace vyn::file {
namespace {

bool needs_quotes(const Cell* path, uint32_t start, uint32_t end) {
    for (uint32_t i = start; i < end; ++i) {
        uint32_t c = string::abs_at(path, i);
        if (c < 127 && !url::is_safe(uint8_t(c), false)) return true;
    }
    return false;
}

// A quoted file ends at the first double quote, even after a caret, so that one is written by
// its code; the other escapes are those of strings.
void append_quoted_char(Cell* out, uint32_t cp) {
    if (cp == '"') string::concatenate_literal(out, "^(22)");
    else string::append_escaped_char(out, cp, false);
}

// "%" and the text; an empty one is written with its quotes so that it stays a file.
void write_path(const Cell* path, Cell* out, uint32_t start, uint32_t end) {
    if (start == end) return string::concatenate_literal(out, "%\"\"");
    string::append_char(string::node_of(out), '%');
    if (!needs_quotes(path, start, end)) {
        string::append_string(out, path, int32_t(end - start));
        return;
    }
    string::append_char(string::node_of(out), '"');
    for (uint32_t i = start; i < end; ++i) append_quoted_char(out, string::abs_at(path, i));
    string::append_char(string::node_of(out), '"');
}

int32_t file_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    uint32_t start = std::min(value->s1, string::abs_length(value));
    uint32_t n = string::length(value);
    if (part) n = budget < 0 ? 0 : std::min(n, uint32_t(budget));
    uint32_t before = string::abs_length(out);
    write_path(value, out, start, start + n);
    return budget - int32_t(string::abs_length(out) - before);
}

const SlotHandler file_actions[] = {
    act<A_MOLD>(file_mold),
    act<A_DELETE>(files::remove),
    unsupported_at<A_OPEN>(),
    act<A_QUERY>(files::query),
    act<A_READ>(files::read),
    act<A_RENAME>(files::rename),
    act<A_WRITE>(files::write),
};

}  // namespace

std::string current_dir() {
    std::string dir = os::get_current_dir();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

void path_to_local(const Cell* path, Cell* out, bool full) {
    if (full && !string::starts_with_text(path, "/")) string::append_utf8(out, current_dir());
    string::append_string(out, path);
}

std::string to_local_path(const Cell* path) {
    if (string::find_char(path, 0) >= 0) fire(err::cannot_open, path);
    return string::to_utf8(path);
}

}  // namespace vyn::file

namespace vyn {

void file_init() { datatype::register_type(TYPE_FILE, TYPE_URL, "file!", INHERIT, file::file_actions); }

}  // namespace vyn
