// The VYNBIN stream around the records: the header, the counts and the symbol table of both
// layouts, the top-level writers and reader, and the start-up load of the boot image. Writers
// put version 2 and one root value; the reader ignores the version and the root count and reads
// records until the records section is used up.
#include "eval/vynbin.hpp"

#include <cstring>
#include <optional>

#include "core/collector.hpp"
#include "core/compressor.hpp"
#include "core/raise.hpp"
#include "core/fatal.hpp"
#include "core/os/console_out.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "datatypes/binary.hpp"
#include "eval/vynbin_internal.hpp"

namespace vyn::vynbin {
namespace {

constexpr char MAGIC[] = "VYNBIN";
constexpr size_t MAGIC_SIZE = 6;

uint32_t literal_base = 0;

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void put_varint(std::vector<uint8_t>& out, uint32_t v) {
    while (v >= 0x80) {
        out.push_back(uint8_t(v | 0x80));
        v >>= 7;
    }
    out.push_back(uint8_t(v));
}

// The 8 header bytes at the start of an empty stream.
void put_header(std::vector<uint8_t>& out, uint8_t version, uint8_t flags) {
    out.resize(HEADER_SIZE);
    std::memcpy(out.data(), MAGIC, MAGIC_SIZE);
    out[6] = version;
    out[7] = flags;
}

// The stream of the records written, in either layout.
std::vector<uint8_t> assemble(bool compact, uint8_t version, uint32_t roots, const SymbolsOut& symbols,
                              const std::vector<uint8_t>& records) {
    uint32_t n = symbols.count();
    uint8_t flags = uint8_t((compact ? FLAG_COMPACT : 0) | (n > 0 ? FLAG_SYMBOLS : 0));
    std::vector<uint8_t> out;
    out.reserve(HEADER_SIZE + 24 + 4 * size_t(n) + symbols.names.size() + records.size());
    put_header(out, version, flags);
    auto field = [&](uint32_t v) { compact ? put_varint(out, v) : put_u32(out, v); };
    field(roots);
    field(uint32_t(records.size()));
    if (n > 0) {
        field(n);
        field(uint32_t(symbols.names.size()));
        for (uint32_t offset : symbols.offsets) put_u32(out, offset);
        out.insert(out.end(), symbols.names.begin(), symbols.names.end());
    }
    out.insert(out.end(), records.begin(), records.end());
    return out;
}

[[noreturn]] void header_fault(Mode mode, const char* message, const Cell& source) {
    if (mode == Mode::script) fire(err::invalid_data, &source);
    console::print_cstring(message);
    sys::integrity_failure();
}

}  // namespace

std::vector<uint8_t> encode_bytes(const Cell& value, bool compact) {
    SymbolsOut symbols;
    symbols.pad_names = !compact;
    std::vector<uint8_t> records;
    {
        RecordWriter writer(compact, symbols, records);
        writer.value(value);
    }
    return assemble(compact, VERSION, 1, symbols, records);
}

void encode(const Cell& value, bool compact, Cell* out) {
    std::vector<uint8_t> bytes = encode_bytes(value, compact);
    binary::make_at(out, uint32_t(bytes.size()));
    binary::append_bytes(out, bytes.data(), bytes.size());
}

struct ImageWriter::State {
    SymbolsOut symbols;
    std::vector<uint8_t> records;
    RecordWriter writer{true, symbols, records, true};
    uint32_t roots = 0;
};

ImageWriter::ImageWriter() : state_(new State) {}
ImageWriter::~ImageWriter() { delete state_; }

void ImageWriter::add_value(const Cell& value) {
    state_->writer.value(value);
    ++state_->roots;
}

void ImageWriter::add_definition(const Cell& word, const Cell& value) { state_->writer.definition(word, value); }

std::vector<uint8_t> ImageWriter::finish() {
    std::vector<uint8_t> out = assemble(true, 1, state_->roots, state_->symbols, state_->records);
    out[7] = FLAG_COMPACT | FLAG_SYMBOLS;
    return out;
}

uint32_t decode(std::span<const uint8_t> data, Cell* target, Mode mode, const Cell& source) {
    Rooted kept_source(source);
    // A script's bytes may live in a series that moves while values are made: read a copy.
    std::vector<uint8_t> copy;
    if (mode == Mode::script) {
        copy.assign(data.begin(), data.end());
        data = copy;
    }
    if (data.size() < HEADER_SIZE || std::memcmp(data.data(), MAGIC, MAGIC_SIZE) != 0)
        header_fault(mode, "Error: Not a Vynbin file!\n", *kept_source);
    uint8_t flags = data[7];
    std::span<const uint8_t> body = data.subspan(HEADER_SIZE);
    std::optional<std::vector<uint8_t>> inflated;
    if (flags & FLAG_COMPRESSED) {
        inflated = compress::decompress(body.data(), body.size());
        if (!inflated) header_fault(mode, "Error: Vynbin compressed data corrupted!\n", *kept_source);
        body = *inflated;
    }
    DecodeState state{mode, Input{body.data(), body.data(), body.data() + body.size()}, SymbolsIn{}, target,
                      memory::series_of(target->s2)->length()};
    state.symbols.present = (flags & FLAG_SYMBOLS) != 0;
    if (flags & FLAG_COMPACT) {
        read_compact_body(state);
    } else {
        if (body.size() < 8) fire(err::invalid_data, kept_source.get());
        read_standard_body(state);
    }
    return state.start_offset;
}

uint32_t boot_load(std::span<const uint8_t> image, Cell* root) {
    struct CollectorOff {
        bool was = collector::enabled();
        CollectorOff() { collector::set_enabled(false); }
        ~CollectorOff() { collector::set_enabled(was); }
    } off;
    literal_base = decode(image, root, Mode::boot, none_cell());
    return literal_base;
}

uint32_t boot_literal_base() { return literal_base; }

}  // namespace vyn::vynbin
