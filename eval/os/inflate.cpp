// The inflater and the zlib and gzip unwrappers. Decoding never reads outside the source: bits
// past its end read as zero and are counted, so a stream that needed them is reported as cut
// short. Output is stored only below the capacity while the count goes on, so a call with
// capacity 0 measures the result. Huffman codes are decoded by binary search in a table sorted by
// canonical code; a bit pattern an incomplete code leaves unassigned is bad data.
#include <algorithm>
#include <cstring>

#include "eval/checksum.hpp"
#include "eval/os/deflate.hpp"
#include "eval/os/deflate_tables.hpp"

namespace vyn::deflate {
namespace {

using namespace tables;

// Least significant bit first, at least 32 bits buffered after a refill.
struct BitReader {
    const uint8_t* in;
    size_t length;
    size_t pos = 0;  // next byte to load; runs past `length` as zero bytes are supplied
    uint64_t bits = 0;
    int count = 0;

    void refill() {
        while (count <= 56) {
            uint64_t byte = pos < length ? in[pos] : 0;
            ++pos;
            bits |= byte << count;
            count += 8;
        }
    }
    uint32_t peek(int n) {
        if (count < n) refill();
        return uint32_t(bits & ((uint64_t(1) << n) - 1));
    }
    void drop(int n) {
        bits >>= n;
        count -= n;
    }
    uint32_t take(int n) {
        uint32_t v = peek(n);
        drop(n);
        return v;
    }
    // Whether bits beyond the source's end were consumed.
    bool overrun() const { return pos > length && pos * 8 - size_t(count) > length * 8; }
    // Drops the bits of a partial byte and hands the whole buffered bytes back to the source.
    void align_to_byte() {
        drop(count % 8);
        pos -= size_t(count / 8);
        bits = 0;
        count = 0;
    }
};

// One entry per coded symbol, sorted by canonical code: the code left-justified to 16 bits in
// bits 16-31, the symbol in bits 4-15, the code length in bits 0-3.
struct Table {
    uint32_t entries[LITERALS];
    int size = 0;

    // False for an over-subscribed set of lengths; an incomplete one is caught when decoding.
    // Canonical order is by length, then symbol: a counting sort on the length.
    bool build(const uint8_t* lengths, int n) {
        int count[MAX_BITS + 1] = {};
        for (int s = 0; s < n; ++s) ++count[lengths[s]];
        int left = 1, at[MAX_BITS + 1];
        uint32_t code[MAX_BITS + 1];
        size = 0;
        at[0] = code[0] = 0;
        for (int len = 1; len <= MAX_BITS; ++len) {
            left = left * 2 - count[len];
            if (left < 0) return false;
            at[len] = size;
            size += count[len];
            code[len] = (code[len - 1] + uint32_t(len > 1 ? count[len - 1] : 0)) << 1;
        }
        for (int s = 0; s < n; ++s) {
            int len = lengths[s];
            if (len) entries[at[len]++] = (code[len]++ << (32 - len)) | uint32_t(s) << 4 | uint32_t(len);
        }
        return true;
    }

    // The next symbol, or -1 when the bits match no code.
    int decode(BitReader& r) const {
        uint32_t key = reverse(r.peek(16), 16);
        uint32_t bound = key << 16 | 0xFFFF;
        const uint32_t* last = std::upper_bound(entries, entries + size, bound);
        if (last == entries) return -1;
        uint32_t e = last[-1];
        int len = int(e & 15);
        if (((key << 16) - (e & 0xFFFF0000u)) >> (32 - len) != 0) return -1;
        r.drop(len);
        return int((e >> 4) & 0xFFF);
    }
};

struct Output {
    uint8_t* to;
    size_t capacity;
    size_t pos = 0;

    void put(uint8_t byte) {
        if (pos < capacity) to[pos] = byte;
        ++pos;
    }
    // Overlapping copies repeat the bytes, as the format wants.
    void copy(size_t distance, size_t length) {
        if (pos + length <= capacity) {
            uint8_t* d = to + pos;
            const uint8_t* s = d - distance;
            for (size_t i = 0; i < length; ++i) d[i] = s[i];
        } else {
            for (size_t i = 0; i < length; ++i)
                if (pos + i < capacity) to[pos + i] = to[pos + i - distance];
        }
        pos += length;
    }
};

// The tables of fixed-code blocks, built once.
struct FixedTables {
    Table literals, distances;

    FixedTables() {
        uint8_t lengths[LITERALS];
        for (int s = 0; s < LITERALS; ++s) lengths[s] = fixed_literal_length(s);
        literals.build(lengths, LITERALS);
        std::fill_n(lengths, DISTANCES, FIXED_DISTANCE_LENGTH);
        distances.build(lengths, DISTANCES);
    }
};
const FixedTables fixed;

struct Inflater {
    BitReader in;
    Output out;
    Table dynamic_literals, dynamic_distances;
    const Table* literals = nullptr;
    const Table* distances = nullptr;

    Inflater(const uint8_t* from, size_t length, uint8_t* to, size_t capacity) : in{from, length}, out{to, capacity} {}

    Status stored() {
        in.align_to_byte();
        if (in.pos + 4 > in.length) return BAD_DATA;
        size_t len = size_t(in.in[in.pos]) | size_t(in.in[in.pos + 1]) << 8;
        in.pos += 4;  // the complement is not compared
        if (in.length - in.pos < len) return STORED_PAST_END;
        for (size_t i = 0; i < len; ++i) out.put(in.in[in.pos + i]);
        in.pos += len;
        return DONE;
    }

    Status dynamic_tables() {
        int hlit = int(in.take(5)) + 257, hdist = int(in.take(5)) + 1, hclen = int(in.take(4)) + 4;
        uint8_t lengths[LITERALS + DISTANCES] = {};
        for (int i = 0; i < hclen; ++i) lengths[code_length_order[i]] = uint8_t(in.take(3));
        Table code_lengths;
        if (!code_lengths.build(lengths, CODE_LENGTHS)) return BAD_DATA;
        std::fill_n(lengths, CODE_LENGTHS, 0);
        for (int n = 0; n < hlit + hdist;) {
            int symbol = code_lengths.decode(in);
            if (symbol < 0 || in.overrun()) return BAD_DATA;
            if (symbol < 16) {
                lengths[n++] = uint8_t(symbol);
                continue;
            }
            int repeat;
            uint8_t value = 0;
            if (symbol == 16) {
                if (n == 0) return BAD_DATA;
                value = lengths[n - 1];
                repeat = 3 + int(in.take(2));
            } else {
                repeat = symbol == 17 ? 3 + int(in.take(3)) : 11 + int(in.take(7));
            }
            if (n + repeat > hlit + hdist) return BAD_DATA;
            std::fill_n(lengths + n, repeat, value);
            n += repeat;
        }
        if (!dynamic_literals.build(lengths, hlit) || !dynamic_distances.build(lengths + hlit, hdist)) return BAD_DATA;
        literals = &dynamic_literals;
        distances = &dynamic_distances;
        return DONE;
    }

    Status data() {
        for (;;) {
            int symbol = literals->decode(in);
            if (symbol < 0 || in.overrun()) return BAD_DATA;
            if (symbol < END_OF_BLOCK) {
                out.put(uint8_t(symbol));
                continue;
            }
            if (symbol == END_OF_BLOCK) return DONE;
            symbol -= 257;
            if (symbol >= 29) return BAD_DATA;
            size_t length = length_base[symbol] + in.take(length_extra[symbol]);
            int d = distances->decode(in);
            if (d < 0 || d >= 30) return BAD_DATA;
            size_t distance = distance_base[d] + in.take(distance_extra[d]);
            if (in.overrun()) return BAD_DATA;
            if (distance > out.pos) return DISTANCE_TOO_FAR;
            out.copy(distance, length);
        }
    }

    Status block(bool& final) {
        final = in.take(1);
        int type = int(in.take(2));
        if (in.overrun()) return BAD_DATA;
        switch (type) {
        case 0:
            return stored();
        case 1:
            literals = &fixed.literals;
            distances = &fixed.distances;
            return data();
        case 2:
            if (Status s = dynamic_tables()) return s;
            return data();
        default:
            return RESERVED_BLOCK;
        }
    }

    Status run() {
        bool final = false;
        while (!final)
            if (Status s = block(final)) return s;
        return out.pos > out.capacity ? TOO_SMALL : DONE;
    }
};

uint32_t big_endian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t little_endian32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// Where the deflate data of a gzip member starts after its header, or 0 when the header is bad.
size_t gzip_data_start(const uint8_t* from, size_t length) {
    enum : uint8_t { FHCRC = 2, FEXTRA = 4, FNAME = 8, FCOMMENT = 16 };
    if (length < 18 || from[0] != 31 || from[1] != 139 || from[2] != 8 || from[3] >= 32) return 0;
    const uint8_t flags = from[3];
    const size_t end = length - 8;  // the trailer
    size_t p = 10;
    if (flags & FEXTRA) {
        if (end - p < 2) return 0;
        size_t extra = size_t(from[p]) | size_t(from[p + 1]) << 8;
        p += 2;
        if (end - p < extra) return 0;
        p += extra;
    }
    for (uint8_t text : {FNAME, FCOMMENT}) {
        if (!(flags & text)) continue;
        const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(from + p, 0, end - p));
        if (!zero) return 0;
        p = size_t(zero - from) + 1;
    }
    if (flags & FHCRC) {
        if (end - p < 2) return 0;
        uint32_t crc = checksum::crc32(from, p) & 0xFFFF;
        if (crc != (uint32_t(from[p]) | uint32_t(from[p + 1]) << 8)) return 0;
        p += 2;
    }
    return p;
}

}  // namespace

Status decompress(uint8_t* to, size_t& size, const uint8_t* from, size_t length) {
    Inflater inflater(from, length, to, size);
    Status s = inflater.run();
    size = inflater.out.pos;
    return s;
}

Status zlib_unwrap(uint8_t* to, size_t& size, const uint8_t* from, size_t length) {
    if (length < 6) return BAD_DATA;
    const uint8_t cmf = from[0], flg = from[1];
    if ((cmf * 256 + flg) % 31 != 0 || (cmf & 15) != 8 || (cmf & 0x80) || (flg & 0x20)) return BAD_DATA;
    if (Status s = decompress(to, size, from + 2, length - 6)) return s;
    return checksum::adler32(to, size) == big_endian32(from + length - 4) ? DONE : BAD_DATA;
}

Status gzip_unwrap(uint8_t* to, size_t& size, const uint8_t* from, size_t length) {
    const size_t start = gzip_data_start(from, length);
    if (start == 0) return BAD_DATA;
    const size_t expected = little_endian32(from + length - 4);
    if (expected > most_output(length - 8 - start)) return BAD_DATA;
    if (size < expected) {
        size = expected;
        return TOO_SMALL;
    }
    size_t produced = expected;
    Status s = decompress(to, produced, from + start, length - 8 - start);
    if (s == TOO_SMALL || (s == DONE && produced != expected)) return BAD_DATA;
    if (s) return s;
    size = produced;
    return checksum::crc32(to, size) == little_endian32(from + length - 8) ? DONE : BAD_DATA;
}

}  // namespace vyn::deflate
