// binary! handlers and the table that registers them. The bytes a value adds (append, insert,
// change, to) are gathered outside the heap first, so a value that shares the target's buffer is
// read before the change and an error leaves the target untouched; only then is the gap opened.
// Buffer addresses are re-read through the node after anything that can allocate.
#include "datatypes/binary.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include "core/cycles.hpp"
#include "core/type_registry.hpp"
#include "core/raise.hpp"
#include "core/memory.hpp"
#include "datatypes/ownership.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "core/utf8.hpp"
#include "datatypes/binary_codecs.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/image.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/number_scan.hpp"

namespace vyn::binary {

using ownership::Change;
using Bytes = std::vector<uint8_t>;

std::span<uint8_t> bytes_of(const Cell* binary) {
    Series* b = memory::series_of(binary->s2);
    uint32_t head = std::min(binary->s1, b->used_bytes());
    return {b->head_ptr() + head, b->used_bytes() - head};
}

Cell* make_at(Cell* cell, uint32_t capacity) {
    *cell = unset_cell();
    *cell = make_cell(TYPE_BINARY, 0, memory::alloc_bytes(capacity), 0);
    return cell;
}

namespace {

uint32_t head_of(Cell* binary) { return string::clamp_head(binary); }

// Opens a gap of `size` bytes at absolute index `at`; its address is valid until the next
// allocation.
uint8_t* open_gap(NodeId node, uint32_t at, uint64_t size) {
    if (memory::series_of(node)->used_bytes() + size > SERIES_MAX_CAPACITY) fire(err::no_memory);
    Series* b = memory::ensure_room(node, size);
    uint8_t* gap = b->head_ptr() + at;
    std::memmove(gap + size, gap, b->used_bytes() - at);
    b->tail += uint32_t(size);
    return gap;
}

// Writes `bytes` `times` times at absolute index `at`; returns the bytes written.
uint32_t write_repeated(NodeId node, uint32_t at, const Bytes& bytes, int32_t times) {
    if (times < 1 || bytes.empty()) return 0;
    uint64_t total = uint64_t(bytes.size()) * uint64_t(times);
    uint8_t* gap = open_gap(node, at, total);
    for (int32_t i = 0; i < times; ++i) std::memcpy(gap + size_t(i) * bytes.size(), bytes.data(), bytes.size());
    return uint32_t(total);
}

// ---- The bytes a value stands for ----

void add_utf8(Bytes& out, uint32_t cp) {
    uint8_t encoded[4];
    int n = unicode::encode_utf8(char32_t(cp), encoded);
    out.insert(out.end(), encoded, encoded + n);
}

// At most `limit` characters (all when negative) of a text from its head, as UTF-8.
void add_text(Bytes& out, const Cell* text, int64_t limit) {
    string::View v = string::view_of(text);
    uint32_t n = limit < 0 ? v.length : uint32_t(std::min<int64_t>(limit, v.length));
    for (uint32_t i = 0; i < n; ++i) add_utf8(out, v.at(i));
}

void add_binary(Bytes& out, const Cell* binary, int64_t limit) {
    std::span<uint8_t> from = bytes_of(binary);
    size_t n = limit < 0 ? from.size() : size_t(std::min<int64_t>(limit, int64_t(from.size())));
    out.insert(out.end(), from.begin(), from.begin() + ptrdiff_t(n));
}

void add_tuple(Bytes& out, const Cell* tuple) {
    for (int i = 0; i < tokenizer::tuple_length(*tuple); ++i) out.push_back(tokenizer::tuple_byte(*tuple, i));
}

// One byte: -128 to 255, a negative value giving its two's complement (-1 is 255).
void add_byte(Bytes& out, const Cell* integer) {
    int32_t v = integer->i32();
    if (v > 255 || v < -128) fire(err::invalid_arg, integer);
    out.push_back(uint8_t(v));
}

void add_formed(Bytes& out, const Cell* value) {
    Rooted text(string::make(16));
    mold::form_value(value, text.get(), nullptr, 0);
    add_text(out, text.get(), -1);
}

bool is_block_like(TypeId type) { return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH; }

void add_value(Bytes& out, const Cell* value, int64_t limit);

// At most `limit` elements of a block (all when negative); forming an element may move the cells.
void add_elements(Bytes& out, const Cell* block, int64_t limit) {
    cycles::Entry guard(block->s2);
    for (uint32_t i = block->s1; limit < 0 || i - block->s1 < limit; ++i) {
        Series* cells = memory::series_of(block->s2);
        if (i >= cells->length()) return;
        Cell element = cells->cells()[i];
        add_value(out, &element, -1);
    }
}

// `limit` counts the characters of a text, the bytes of a binary! or the elements of a block.
void add_value(Bytes& out, const Cell* value, int64_t limit) {
    TypeId type = value->type();
    if (type == TYPE_INTEGER) add_byte(out, value);
    else if (type == TYPE_CHAR) add_utf8(out, value->s2);
    else if (type == TYPE_BINARY) add_binary(out, value, limit);
    else if (type == TYPE_TUPLE) add_tuple(out, value);
    else if (is_block_like(type)) add_elements(out, value, limit);
    else if (string::is_text(type)) add_text(out, value, limit);
    else add_formed(out, value);
}

Bytes bytes_for(const Cell* value, const Cell* part) {
    Bytes out;
    add_value(out, value, part ? std::max<int64_t>(series::part_distance(value, part), 0) : -1);
    return out;
}

int32_t dup_count(const Cell* dup) {
    if (!dup) return 1;
    if (!dup->is(TYPE_INTEGER)) fire(err::invalid_arg, dup);
    return dup->i32();
}

}  // namespace

void insert_bytes(Cell* binary, uint32_t offset, const uint8_t* bytes, size_t count) {
    if (count == 0) return;  // an empty vector's bytes may be null
    uint32_t at = uint32_t(std::min<uint64_t>(uint64_t(head_of(binary)) + offset, series::vs_abs_length(binary)));
    std::memcpy(open_gap(binary->s2, at, count), bytes, count);
}

namespace {

// ---- Adding and changing ----

Cell* append(Cell* series, const Cell* value, const Cell* part, bool, const Cell* dup) {
    Bytes bytes = bytes_for(value, part);
    int32_t times = dup_count(dup);
    int32_t at = int32_t(series::vs_abs_length(series));
    ownership::before(*series, Change::append, value, at, 1);
    at = int32_t(series::vs_abs_length(series));
    write_repeated(series->s2, uint32_t(at), bytes, times);
    ownership::after(*series, Change::append, value, at, 1);
    series->s1 = 0;
    return series;
}

Cell* insert(Cell* series, const Cell* value, const Cell* part, bool, const Cell* dup) {
    Bytes bytes = bytes_for(value, part);
    int32_t times = dup_count(dup);
    ownership::before(*series, Change::insert, value, int32_t(head_of(series)), 1);
    uint32_t head = head_of(series);
    uint32_t written = write_repeated(series->s2, head, bytes, times);
    ownership::after(*series, Change::insert, value, int32_t(head), 1);
    series->s1 = head + written;
    return series;
}

// The bytes after the head are replaced by the value's: as many as /part says, else as many as
// the value writes, never more than there are.
Cell* change(Cell* series, const Cell* value, const Cell* part, bool, const Cell* dup) {
    Bytes bytes = bytes_for(value, nullptr);
    int32_t times = std::max(dup_count(dup), 0);
    uint64_t written = uint64_t(bytes.size()) * uint64_t(times);
    if (written > SERIES_MAX_CAPACITY) fire(err::no_memory);
    int64_t wanted = part ? std::max<int64_t>(series::part_distance(series, part), 0) : int64_t(written);
    ownership::before(*series, Change::change, value, int32_t(head_of(series)),
                      int32_t(std::min<int64_t>(wanted, series::vs_length(series))));
    uint32_t head = head_of(series);
    uint32_t replaced = uint32_t(std::min<int64_t>(wanted, series::vs_length(series)));
    series::remove_units(series, head, replaced);
    write_repeated(series->s2, head, bytes, times);
    ownership::after(*series, Change::change, value, int32_t(head), int32_t(written));
    series->s1 = head + uint32_t(written);
    return series;
}

// ---- Conversion ----

void put_big_endian(Bytes& out, uint64_t value, int size) {
    for (int i = size - 1; i >= 0; --i) out.push_back(uint8_t(value >> (8 * i)));
}

Bytes issue_bytes(const Cell* issue) {
    std::string_view name = symbol::name(issue->s2);
    std::optional<Bytes> decoded = decode(16, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), 1);
    if (!decoded) datatype::fire_bad_to_arg(TYPE_BINARY, issue);
    return *decoded;
}

Bytes bitset_bytes(const Cell* bitset) {
    Series* b = memory::series_of(bitset->s2);
    return Bytes(b->head_ptr(), b->tail_ptr());
}

Bytes converted(const Cell* spec) {
    Bytes out;
    switch (spec->type()) {
    case TYPE_INTEGER: put_big_endian(out, spec->s2, 4); break;
    case TYPE_FLOAT: case TYPE_PERCENT: put_big_endian(out, spec->u64(), 8); break;
    case TYPE_CHAR: add_utf8(out, spec->s2); break;
    case TYPE_ISSUE: return issue_bytes(spec);
    case TYPE_BITSET: return bitset_bytes(spec);
    case TYPE_TUPLE: add_tuple(out, spec); break;
    case TYPE_BINARY: add_binary(out, spec, -1); break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: add_elements(out, spec, -1); break;
    default:
        if (!string::is_text(spec->type())) datatype::fire_bad_to_arg(TYPE_BINARY, spec);
        add_text(out, spec, -1);
    }
    return out;
}

Cell* to(Cell* proto, const Cell* spec, TypeId) {
    // An image gives its pixels as stored: B, G, R and A bytes.
    if (spec->is(TYPE_IMAGE)) return image::extract_data(*spec, image::Kind::argb, proto);
    Bytes bytes = converted(spec);
    make_at(proto, uint32_t(std::max<size_t>(bytes.size(), 16)));
    insert_bytes(proto, 0, bytes.data(), bytes.size());
    return proto;
}

// ---- Text form ----

constexpr uint32_t BYTES_PER_LINE = 32;
constexpr uint32_t LONGEST_ON_ONE_LINE = 30;

// Hex digits of one line of bytes; copied out first, since writing may move the binary.
int32_t emit_line(const Cell* value, uint32_t from, uint32_t count, Cell* out, int32_t budget) {
    uint8_t line[BYTES_PER_LINE];
    std::memcpy(line, memory::series_of(value->s2)->head_ptr() + from, count);
    uint8_t digits[BYTES_PER_LINE * 2];
    size_t n = encode_16(std::span<const uint8_t>(line, count), std::span<uint8_t>(digits));
    return mold::emit(out, std::string_view(reinterpret_cast<const char*>(digits), n), budget);
}

// More than 30 bytes go on lines of 32, one indent deeper than the value; under a part limit
// the digits stop once it is used up, and nothing closes the text.
int32_t mold(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    Cell at = *value;
    uint32_t head = head_of(&at);
    uint32_t n = series::vs_abs_length(&at) - head;
    bool broken = n > LONGEST_ON_ONE_LINE && !args.flat;
    if (!args.only) budget = mold::emit(out, "#{", budget);
    if (broken) budget = mold::emit_line_break(out, args.indent + 1, budget);
    for (uint32_t done = 0; done < n; done += BYTES_PER_LINE) {
        if (mold::exhausted(part, budget)) return budget;
        uint32_t count = std::min(BYTES_PER_LINE, n - done);
        budget = emit_line(&at, head + done, count, out, budget);
        if (broken && count == BYTES_PER_LINE) budget = mold::emit_line_break(out, args.indent + 1, budget);
    }
    if (broken && n % BYTES_PER_LINE != 0) budget = mold::emit_line_break(out, args.indent, budget);
    if (!args.only) budget = mold::emit(out, "}", budget);
    return budget;
}

int32_t form(const Cell* value, Cell* out, const Cell* part, int32_t budget) {
    return mold(value, out, MoldArgs{}, part, budget);
}

// Byte order, as unsigned bytes; only another binary! compares.
int compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_BINARY)) return -2;
    bool equality = op == CMP_EQUAL || op == CMP_NOT_EQUAL || op == CMP_STRICT_EQUAL || op == CMP_FIND;
    int exact = op == CMP_SAME ? string::OP_SAME : equality ? string::OP_STRICT_EQUAL : string::OP_CASE_SORT;
    return string::equal(a, b, exact, false);
}

// ---- Bitwise operations ----

enum class Bitwise { and_, or_, xor_ };

uint8_t combined(Bitwise op, uint8_t x, uint8_t y) {
    switch (op) {
    case Bitwise::and_: return x & y;
    case Bitwise::or_: return x | y;
    default: return x ^ y;
    }
}

// As long as the longer operand: past the shorter one, and~ gives zeros and the others copy the
// longer operand's bytes.
Cell* bitwise(Cell* left, const Cell* right, Bitwise op) {
    if (!right->is(TYPE_BINARY)) fire(err::invalid_arg, right);
    std::span<uint8_t> x = bytes_of(left);
    std::span<uint8_t> y = bytes_of(right);
    Bytes result(std::max(x.size(), y.size()));
    std::span<uint8_t> longer = x.size() >= y.size() ? x : y;
    for (size_t i = 0; i < result.size(); ++i) {
        if (i < x.size() && i < y.size()) result[i] = combined(op, x[i], y[i]);
        else result[i] = op == Bitwise::and_ ? 0 : longer[i];
    }
    make_at(left, uint32_t(result.size()));
    insert_bytes(left, 0, result.data(), result.size());
    return left;
}

Cell* and_t(Cell* left, const Cell* right) { return bitwise(left, right, Bitwise::and_); }
Cell* or_t(Cell* left, const Cell* right) { return bitwise(left, right, Bitwise::or_); }
Cell* xor_t(Cell* left, const Cell* right) { return bitwise(left, right, Bitwise::xor_); }

Cell* complement(Cell* value) {
    for (uint8_t& byte : bytes_of(value)) byte = uint8_t(~byte);
    return value;
}

// ---- trim ----

// Zero bytes go from the ends that are asked for (both when neither is), from the head on.
void trim_zeros(Cell* series, bool head_given, bool tail_given) {
    uint32_t head = head_of(series);
    std::span<uint8_t> bytes = bytes_of(series);
    size_t first = 0;
    size_t last = bytes.size();
    if (head_given || !tail_given)
        while (first < last && bytes[first] == 0) ++first;
    if (tail_given || !head_given)
        while (last > first && bytes[last - 1] == 0) --last;
    series::remove_units(series, head + uint32_t(last), uint32_t(bytes.size() - last));
    series::remove_units(series, head, uint32_t(first));
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with) {
    if (auto_ || lines) fire(err::not_done);
    if (all || with) {
        Cell zero = integer_cell(0);
        return string::trim(series, false, false, false, false, true, with ? with : &zero);
    }
    ownership::before(*series, Change::trim, nullptr, int32_t(head_of(series)), int32_t(series::vs_length(series)));
    trim_zeros(series, head, tail);
    ownership::after(*series, Change::trim, nullptr, int32_t(head_of(series)), int32_t(series::vs_length(series)));
    return series;
}

const SlotHandler binary_actions[] = {
    act<A_TO>(to),
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    unsupported_at<A_SET_PATH>(),
    act<A_COMPARE>(compare),
    unsupported_at<A_ABSOLUTE>(),
    unsupported_at<A_ADD>(),
    unsupported_at<A_DIVIDE>(),
    unsupported_at<A_MULTIPLY>(),
    unsupported_at<A_NEGATE>(),
    unsupported_at<A_POWER>(),
    unsupported_at<A_REMAINDER>(),
    unsupported_at<A_ROUND>(),
    unsupported_at<A_SUBTRACT>(),
    unsupported_at<A_EVEN_Q>(),
    unsupported_at<A_ODD_Q>(),
    act<A_AND_T>(and_t),
    act<A_COMPLEMENT>(complement),
    act<A_OR_T>(or_t),
    act<A_XOR_T>(xor_t),
    act<A_APPEND>(append),
    act<A_CHANGE>(change),
    act<A_INSERT>(insert),
    unsupported_at<A_PUT>(),
    act<A_TRIM>(trim),
    unsupported_at<A_CREATE>(),
    unsupported_at<A_CLOSE>(),
    unsupported_at<A_DELETE>(),
    unsupported_at<A_OPEN>(),
    unsupported_at<A_OPEN_Q>(),
    unsupported_at<A_QUERY>(),
    unsupported_at<A_READ>(),
    unsupported_at<A_RENAME>(),
    unsupported_at<A_UPDATE>(),
    unsupported_at<A_WRITE>(),
};

}  // namespace
}  // namespace vyn::binary

namespace vyn {

void binary_init() {
    datatype::register_type(TYPE_BINARY, TYPE_STRING, "binary!", INHERIT, binary::binary_actions);
}

}  // namespace vyn
