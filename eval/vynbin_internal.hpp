// What the VYNBIN writer and reader share between the layouts: the record type ids, the
// bounded byte input that every field read goes through (a fault raises `vb-invalid-record` at
// the byte position counted from the magic), the stream's symbol table, and the two coders.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/cell.hpp"
#include "eval/vynbin.hpp"

namespace vyn::vynbin {

// Deeper nesting is refused by the writer (stack overflow) and the reader (invalid record), so
// neither walk can exhaust the native stack. The reader counts records within records, a few
// more levels than the writer's containers for the specs of natives and ops.
constexpr int MAX_DEPTH = 1000;
constexpr int MAX_READ_DEPTH = MAX_DEPTH + 8;
// A reference path longer than this is invalid.
constexpr uint32_t MAX_PATH = 65536;

// Compact layout: prefix and one-byte header values.
constexpr uint8_t PREFIX_NEW_LINE = 0xC0;
constexpr uint8_t PREFIX_REFERENCE = 0xC1;
constexpr uint8_t LOGIC_TRUE = 0xC2;
constexpr uint8_t LOGIC_FALSE = 0xC3;
constexpr uint8_t PREFIX_DEFINITION = 0xC4;
constexpr uint8_t REFERENCE_RECORD = 0xFF;
constexpr uint8_t SMALL_INTEGER = 0x80;  // 0x80 + v for 0 <= v <= 63
constexpr uint8_t TYPE_FLAG = 0x40;      // F, bit 6 of a typed header
constexpr uint8_t TYPE_ESCAPE = 63;      // the type id follows as a varint

// Standard layout: header word bits.
constexpr uint32_t H_NEW_LINE = 0x80000000;
constexpr uint32_t H_REFERENCE = 0x80000;
constexpr uint32_t H_MONEY_NEGATIVE = 0x400000;
constexpr uint32_t H_COMPLEMENT = 0x800000;
constexpr uint32_t H_ON_SET = 0x1000000;
constexpr uint32_t H_GLOBAL_WORD = 0x2000000;
constexpr uint32_t H_REFERENCE_TYPE = 0xFF;
constexpr uint32_t PATH_MARK = 255;

// Context record flags (the compact byte; the standard header holds them from bit 26 on).
constexpr uint8_t CONTEXT_KIND_MASK = 0x03;
constexpr uint8_t CONTEXT_ON_STACK = 0x04;
constexpr uint8_t CONTEXT_SELF = 0x08;
constexpr uint8_t CONTEXT_VALUES = 0x10;

// Types no stream can hold.
bool has_no_codec(TypeId type);
[[noreturn]] void fire_no_codec(TypeId type);

// The writer's symbol table: each symbol id met gets the next index, its name goes to `names`
// NUL-terminated (padded to 8 bytes in the standard layout).
struct SymbolsOut {
    bool pad_names = false;
    std::vector<uint32_t> offsets;
    std::string names;
    std::unordered_map<uint32_t, uint32_t> index_of;

    uint32_t index(uint32_t symbol);
    uint32_t count() const { return uint32_t(offsets.size()); }
};

// Appends the records of values to `out`; the layout is chosen at construction. Positions,
// reference paths and the symbol table live as long as the writer.
class RecordWriter {
public:
    // An image writer writes every word as a word of the global context.
    RecordWriter(bool compact, SymbolsOut& symbols, std::vector<uint8_t>& out, bool image = false);
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void value(const Cell& v);
    // Compact layout only: the definition prefix, the word, then its value.
    void definition(const Cell& word, const Cell& v);

private:
    struct Impl;
    Impl* impl_;
};

// Reading fields: every read checks the end first.
struct Input {
    const uint8_t* start;  // the magic: positions count from here
    const uint8_t* p;
    const uint8_t* end;

    [[noreturn]] void fail() const { fail_at(p); }
    [[noreturn]] void fail_at(const uint8_t* at) const;
    size_t left() const { return size_t(end - p); }
    void need(uint64_t n) const {
        if (n > left()) fail();
    }
    uint8_t byte();
    uint32_t u32();
    uint32_t varint();
    int32_t zigzag() {
        uint32_t u = varint();
        return int32_t((u >> 1) ^ (0u - (u & 1)));
    }
    const uint8_t* bytes(uint64_t n) {
        need(n);
        const uint8_t* at = p;
        p += n;
        return at;
    }
};

// The stream's symbol table; names are turned into symbols when a record first uses them.
struct SymbolsIn {
    bool present = false;
    uint32_t count = 0;
    uint32_t size = 0;
    const uint8_t* offsets = nullptr;
    const uint8_t* names = nullptr;
    std::vector<uint32_t> resolved;  // 0 until looked up

    uint32_t symbol(uint32_t index, const Input& in);
};

struct DecodeState {
    Mode mode;
    Input in;
    SymbolsIn symbols;
    Cell* root;             // the target block, the start of every reference path
    uint32_t start_offset;  // values the root held before this decode
};

// Reads the records of a body whose counts come next (either layout) into the root block.
void read_compact_body(DecodeState& s);
void read_standard_body(DecodeState& s);

}  // namespace vyn::vynbin
