// string! storage: text in 1-, 2- or 4-byte units (Latin-1, UCS-2, UCS-4) that widen when a wider
// code point arrives and never narrow. A string cell holds the head index in slot 1, the series
// node in slot 2 and the node of its UTF-8 conversion cache (or 0) in slot 3; file!, url!, tag!,
// email! and ref! share the layout and every routine here. Every routine that can allocate
// re-reads buffers through their node, so callers must not keep a Series* or View across one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "core/actions_abi.hpp"
#include "core/casefold.hpp"
#include "core/float_text.hpp"
#include "core/memory.hpp"

namespace vyn {

// Registers string! (parent series!) with its action row.
void string_init();

// Registers a text type of string!'s layout (tag!, email!, ref!) with its own handlers; it takes
// string!'s other actions except those with no meaning for it: arithmetic, bitwise operations,
// random, sort, trim and the port actions.
void register_text_type(TypeId id, const char* name, std::span<const SlotHandler> own);

}  // namespace vyn

namespace vyn::string {

// string!, file!, url!, tag!, email! and ref!: the types with this file's cell layout.
bool is_text(TypeId type);

inline NodeId node_of(const Cell* s) { return s->s2; }
inline Series* buffer_of(const Cell* s) { return memory::series_of(s->s2); }

// Makes the cell an empty string! with room for `size` characters of `unit` bytes.
Cell* make_at(Cell* cell, uint32_t size, int unit = 1);
Cell make(uint32_t size, int unit = 1);

inline uint32_t get_char(const uint8_t* p, int unit) {
    if (unit == 1) return *p;
    if (unit == 2) return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    uint32_t cp;
    std::memcpy(&cp, p, 4);
    return cp;
}
inline void put_char(uint8_t* p, int unit, uint32_t cp) {
    if (unit == 1) *p = uint8_t(cp);
    else if (unit == 2) {
        p[0] = uint8_t(cp);
        p[1] = uint8_t(cp >> 8);
    } else std::memcpy(p, &cp, 4);
}

// The unit a code point needs when stored in place (write, poke, insert)...
inline int unit_for_store(uint32_t cp) { return cp < 0x100 ? 1 : cp < 0x10000 ? 2 : 4; }
// ...and when appended, which widens earlier to keep unit-1 text ASCII-clean.
inline int unit_for_append(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x10000 ? 2 : 4; }

// The upper-case form of cp when folding case (ASCII inline, the rest through the case tables).
inline uint32_t folded(uint32_t cp, bool fold_case) {
    if (!fold_case) return cp;
    if (cp < 0x80) return cp - 'a' < 26u ? cp - 32 : cp;
    return casefold::upper_char(cp);
}

// Characters from the head (clamped to the tail) to the tail, and from the first character.
uint32_t length(const Cell* s);
uint32_t abs_length(const Cell* s);
uint32_t abs_at(const Cell* s, uint32_t index);
// The head index clamped to the tail; the clamped index is written back into the cell.
uint32_t clamp_head(Cell* s);
bool at_tail(const Cell* s);

// The characters from the head: valid until the next allocation.
struct View {
    const uint8_t* data;
    int unit;
    uint32_t length;

    uint32_t at(uint32_t i) const { return get_char(data + size_t(i) * size_t(unit), unit); }
};
View view_of(const Cell* s);

// The absolute index from `from` where the value (char!, bitset! or text) next starts in `s`,
// as find without refinements matches it, or the tail.
uint32_t next_match(const Cell* s, uint32_t from, const Cell* value);
// The byte that alone matches `value`, a char! or a text of one character, in the one-byte text
// of `s` as next_match compares them; -1 for wider text, any other value, or a letter that
// matches in either case.
int lone_byte_match(const Cell* s, const Cell* value);
// Offset from the head of the first character equal to cp, or -1.
int32_t find_char(const Cell* s, uint32_t cp);
// Whether cp equals the character at the head or at any step-th character after it; both sides
// are upper-cased unless case_sensitive.
bool find_char_step(const Cell* s, uint32_t cp, uint32_t step, bool case_sensitive);
// Exact comparison of the text from the head with bytes taken as code points 0-255.
bool starts_with_text(const Cell* s, std::string_view text);
// Membership of the head character in a bitset! (past the stored bits: the complement flag).
bool head_in_bitset(const Cell* s, const Cell* bitset);
// A bitset!'s bits read once, for a scan of many characters during which nothing allocates.
struct Bits {
    const uint8_t* bytes;
    uint64_t count;   // bits stored
    bool complement;  // the answer past them
    bool has(uint32_t cp) const { return cp >= count ? complement : (bytes[cp >> 3] & (0x80u >> (cp & 7))) != 0; }
};
inline Bits bits_of(const Cell* bitset) {
    Series* b = memory::series_of(bitset->s2);
    return {b->head_ptr(), uint64_t(b->used_bytes()) * 8, (b->flags & SERIES_COMPLEMENT) != 0};
}
// Inline, as parse and find test it at every character they pass.
inline bool in_bitset(const Cell* bitset, uint32_t cp) { return bits_of(bitset).has(cp); }
// "<" at the head and ">" right after as many characters as `other` holds.
bool angle_enclosed(const Cell* s, const Cell* other);
// Whether `value` (char!, tag! or a text) matches the text at the head; op 2 is case-sensitive.
bool match_head(const Cell* s, const Cell* value, int op);

// Empties the buffer back to unit 1 and the head to 0.
void reset(Cell* s);
// Cuts the text back to n characters from the first when it is longer.
void truncate(NodeId node, uint32_t n);

// Character writing; each returns the buffer valid afterwards.
Series* widen_buffer(NodeId node, int new_unit);
Series* append_char(NodeId node, uint32_t cp);
// Stores at an absolute index, widening and growing as needed; an index at or past the tail
// moves the tail to just after it.
Series* poke_char(NodeId node, uint32_t index, uint32_t cp);
Series* insert_char(NodeId node, uint32_t index, uint32_t cp);
// Removals at an absolute index; nothing happens at or past the tail.
void remove_char(NodeId node, uint32_t index);
void remove_part(NodeId node, uint32_t index, uint32_t n);
// Moves n characters from the head of `s` to the head position of `target`, in order.
void move_chars(Cell* s, const Cell* target, uint32_t n);
// Exchanges two adjacent byte runs in place: [first, first + first_size) [.. + second_size) becomes
// the second run followed by the first.
void swap_adjacent_runs(uint8_t* first, uint32_t first_size, uint32_t second_size);
// Copies n characters between units, widening or narrowing each one (overlap allowed when the
// units are equal).
void copy_units(uint8_t* to, int to_unit, const uint8_t* from, int from_unit, uint32_t n);

// Where concatenate writes: at the tail, inserted at an offset from the head, or over the
// characters at that offset.
enum class Mode { append = 0, insert = 1, overwrite = 2 };

// Writes at most `part` characters (all when part < 0) of `source` from its head into `target`,
// widening the target when the source is wider. The source is never modified, even when it shares
// the target's buffer: its characters are taken as they were before the write.
Series* concatenate(Cell* target, const Cell* source, int32_t part, uint32_t offset, Mode mode);
inline Series* append_string(Cell* target, const Cell* source, int32_t part = -1) {
    return concatenate(target, source, part, 0, Mode::append);
}
// Appends bytes taken as code points 0-255. Here and below, text and bytes given by address must
// not lie in a series buffer: the growth of the target may move it.
void concatenate_literal(Cell* s, std::string_view text);
// Appends UTF-8 text; invalid sequences become U+FFFD.
void append_utf8(Cell* s, std::string_view utf8);
// A new string! of UTF-8 text from outside series buffers; invalid sequences become U+FFFD.
Cell from_utf8(std::string_view utf8);

// Comparison operator codes.
enum Op : int {
    OP_EQUAL = 0, OP_NOT_EQUAL = 1, OP_STRICT_EQUAL = 2, OP_LESSER = 3, OP_LESSER_OR_EQUAL = 4,
    OP_GREATER = 5, OP_GREATER_OR_EQUAL = 6, OP_SORT = 7, OP_CASE_SORT = 8, OP_SAME = 9,
    OP_FIND = 12,
};
// -1, 0 or 1: a against b (case-insensitive unless op is 2 or 8). In match mode the question is
// whether b occurs at a's head: 0 when it does.
int equal(const Cell* a, const Cell* b, int op, bool match);

// Outside text: UTF-8 (encoding 0) or UTF-16LE (encoding -1, `length` in code units) into `cell`,
// or into a new argument-stack cell when it is null. Any other encoding raises invalid-arg, or,
// before errors can be raised, is an integrity failure of start-up that ends the process.
constexpr int ENCODING_UTF8 = 0;
constexpr int ENCODING_UTF16LE = -1;
Cell* load(const void* text, size_t length, Cell* cell, int encoding);
// The same into a new cell appended to a block (node of its cells), or pushed on the stack.
Cell* load_in(const void* text, size_t length, NodeId block, int encoding);
Cell* load_push(const void* text, size_t length, int encoding);
// A new stack cell holding the decoded bytes, which lie outside series buffers (a binary!'s bytes
// are copied out first); undecodable bytes raise `invalid-utf8` with them.
Cell* from_utf8_binary(const uint8_t* bytes, size_t length);

// The text from the head as UTF-8.
std::string to_utf8(const Cell* s);
// A binary! holding a copy of the bytes (also the argument of `invalid-utf8`).
Cell binary_of(const uint8_t* bytes, size_t n);

// Two upper-case hex digits of a byte.
std::string_view byte_to_hex(uint8_t byte);
// Upper-case hex digits of a 32-bit value: 8 digits padded with "0" (or "F" when negative), or
// in short form only the significant digits ("00" for 0).
std::string to_hex(uint32_t value, bool short_form);
inline float_text::TextRead to_float(std::string_view text, int exponent_adjust = 0) {
    return float_text::from_text(text, exponent_adjust);
}


// Runs a function! with two arguments and gives its result; installed by the evaluator, which
// runs it under a call frame named <compare-callback>.
using FunctionCaller = Cell (*)(const Cell* function, const Cell* a, const Cell* b);
void set_function_caller(FunctionCaller caller);

// Appends the escaped form of a code point as mold writes it (char! mold uses it too).
void append_escaped_char(Cell* out, uint32_t cp, bool all);
// The code points that trim/lines and trim fold.
bool is_whitespace(uint32_t cp);

// Action handlers of string!.
Cell* make(Cell* proto, const Cell* spec, TypeId type);
Cell* to(Cell* proto, const Cell* spec, TypeId type);
int32_t form(const Cell* value, Cell* out, const Cell* part, int32_t budget);
int32_t mold(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget);
Cell* eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step);
int compare(const Cell* a, const Cell* b, int op);
Cell* append(Cell* series, const Cell* value, const Cell* part, bool only, const Cell* dup);
Cell* insert(Cell* series, const Cell* value, const Cell* part, bool only, const Cell* dup);
Cell* change(Cell* series, const Cell* value, const Cell* part, bool only, const Cell* dup);
Cell* find(Cell* series, const Cell* value, const FindArgs& args);
Cell* select(Cell* series, const Cell* value, const FindArgs& args);
Cell* sort(Cell* series, const SortArgs& args);
Cell* swap(Cell* series, const Cell* other);
Cell* take(Cell* series, const Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with);

// union, intersect, unique, exclude and difference of two texts by records of `skip` characters
// (null: 1); the result replaces `first` at head 0. `second` is ignored for unique.
enum SetOp : int { SET_UNIQUE = 8, SET_UNION = 9, SET_INTERSECT = 10, SET_EXCLUDE = 11, SET_DIFFERENCE = 12 };
Cell* do_set_op(Cell* first, const Cell* second, bool case_sensitive, const Cell* skip, SetOp op);

}  // namespace vyn::string
