// The deflate compressor and the zlib and gzip wrappers. LZ77 over hash chains with lazy
// matching, then each block written as the cheapest of stored, fixed and dynamic Huffman coding.
// The bit writer stores a byte only below the capacity and counts on past it, so an undersized
// destination is never overrun and still learns the full length.
#include <algorithm>
#include <memory>

#include "eval/checksum.hpp"
#include "eval/os/deflate.hpp"
#include "eval/os/deflate_tables.hpp"

namespace vyn::deflate {
namespace {

using namespace tables;

constexpr int HASH_SIZE = 32768;
constexpr int SYMBOL_BUFFER = 16384;
constexpr size_t MAX_DISTANCE = 32767;
constexpr int MAX_MATCH = 258;
constexpr int GOOD_LENGTH = 8, LAZY_LENGTH = 16, NICE_LENGTH = 128, MAX_CHAIN = 128;
constexpr size_t TOO_FAR = 4096;
constexpr int LITERAL_LENGTHS = 286, DISTANCE_CODES = 30;
// Where each alphabet's counters, codes and lengths start in the shared arrays.
constexpr int DISTANCE_AT = LITERALS, CODE_LENGTH_AT = LITERALS + DISTANCES;
constexpr int ALL_SYMBOLS = CODE_LENGTH_AT + CODE_LENGTHS;
constexpr int REPEAT = 16, ZEROS = 17, LONG_ZEROS = 18;

constexpr std::array<uint8_t, MAX_MATCH + 1> make_length_codes() {
    std::array<uint8_t, MAX_MATCH + 1> codes{};
    for (int c = 0; c < 29; ++c)
        for (int l = length_base[c]; l < length_base[c] + (1 << length_extra[c]) && l <= MAX_MATCH; ++l)
            codes[size_t(l)] = uint8_t(c);
    codes[MAX_MATCH] = 28;
    return codes;
}
constexpr std::array<uint8_t, MAX_MATCH + 1> length_code = make_length_codes();

int distance_code(size_t distance) {
    return int(std::upper_bound(distance_base, distance_base + DISTANCE_CODES, distance) - distance_base) - 1;
}

struct BitWriter {
    uint8_t* to;
    size_t capacity;
    size_t pos = 0;
    uint64_t bits = 0;
    int count = 0;  // pending bits, below 8 between calls

    void byte(uint8_t b) {
        if (pos < capacity) to[pos] = b;
        ++pos;
    }
    void put(uint32_t value, int n) {
        bits |= uint64_t(value) << count;
        count += n;
        while (count >= 8) {
            byte(uint8_t(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    void align() {
        if (count > 0) put(0, 8 - count);
    }
    void bytes(const uint8_t* from, size_t n) {
        for (size_t i = 0; i < n; ++i) byte(from[i]);
    }
};

// The working memory of one call: match finder, pending symbols and the codes of the block.
struct Work {
    uint32_t head[HASH_SIZE];
    uint32_t chain[HASH_SIZE];  // by position mod the window; positions are 1-based, 0 is none
    uint32_t symbols[SYMBOL_BUFFER];  // a literal byte, or distance * 256 + length - 3
    uint32_t freq[ALL_SYMBOLS];
    uint16_t code[ALL_SYMBOLS];  // bit-reversed, ready to be written
    uint8_t length[ALL_SYMBOLS];
    uint16_t fixed_code[CODE_LENGTH_AT];
    uint8_t fixed_length[CODE_LENGTH_AT];
};

// Code lengths of a minimum-redundancy code, in place: `a` holds the weights in ascending order
// and receives the lengths, longest first.
void minimum_redundancy(uint32_t* a, int n) {
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = uint32_t(next);
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = uint32_t(next);
        } else {
            a[next] += a[leaf++];
        }
    }
    a[n - 2] = 0;
    for (int next = n - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
    int available = 1, used = 0, depth = 0, root2 = n - 2, next = n - 1;
    while (available > 0) {
        while (root2 >= 0 && a[root2] == uint32_t(depth)) {
            ++used;
            --root2;
        }
        while (available > used) {
            a[next--] = uint32_t(depth);
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }
}

// Canonical codes, bit-reversed, from code lengths.
void assign_codes(const uint8_t* lengths, uint16_t* codes, int n) {
    int count[MAX_BITS + 1] = {};
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    uint32_t next[MAX_BITS + 1] = {};
    for (int len = 1, code = 0; len <= MAX_BITS; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = uint32_t(code);
    }
    for (int s = 0; s < n; ++s)
        if (lengths[s]) codes[s] = uint16_t(reverse(next[lengths[s]]++, lengths[s]));
}

// Code lengths no longer than `limit` for symbols with the given frequencies, then their codes.
// The most frequent symbols get the shortest codes; among equal frequencies, the later symbol.
void build_code(const uint32_t* freq, uint8_t* lengths, uint16_t* codes, int n, int limit) {
    int order[LITERALS];
    int used = 0;
    for (int s = 0; s < n; ++s) {
        lengths[s] = 0;
        if (freq[s] == 0) continue;
        int j = used++;
        for (; j > 0 && freq[order[j - 1]] > freq[s]; --j) order[j] = order[j - 1];
        order[j] = s;
    }
    if (used < 2) {
        lengths[0] = 1;
        lengths[used == 1 && order[0] > 1 ? order[0] : 1] = 1;
        assign_codes(lengths, codes, n);
        return;
    }
    uint32_t depth[LITERALS];
    for (int i = 0; i < used; ++i) depth[i] = freq[order[i]];
    minimum_redundancy(depth, used);
    int count[MAX_BITS + 1] = {};
    for (int i = 0; i < used; ++i) ++count[std::min<uint32_t>(depth[i], uint32_t(limit))];
    uint32_t kraft = 0;
    for (int len = 1; len <= limit; ++len) kraft += uint32_t(count[len]) << (limit - len);
    for (; kraft > (1u << limit); --kraft) {
        --count[limit];
        int bits = limit - 1;
        while (count[bits] == 0) --bits;
        --count[bits];
        count[bits + 1] += 2;
    }
    for (int i = used - 1, len = 1; i >= 0; --i) {
        while (count[len] == 0) ++len;
        lengths[order[i]] = uint8_t(len);
        --count[len];
    }
    assign_codes(lengths, codes, n);
}

// Run-length coding of code lengths: each plain length or repeat code goes to `emit` with the
// value and width of its extra bits.
template <typename Emit>
void scan_lengths(const uint8_t* lengths, int n, Emit emit) {
    int previous = -1, next = lengths[0], count = 0;
    int max_count = next == 0 ? 138 : 7, min_count = next == 0 ? 3 : 4;
    for (int i = 0; i < n; ++i) {
        int current = next;
        next = i + 1 < n ? lengths[i + 1] : -1;
        if (++count < max_count && current == next) continue;
        if (count < min_count) {
            while (count--) emit(current, 0, 0);
        } else if (current != 0) {
            if (current != previous) {
                emit(current, 0, 0);
                --count;
            }
            emit(REPEAT, count - 3, 2);
        } else if (count <= 10) {
            emit(ZEROS, count - 3, 3);
        } else {
            emit(LONG_ZEROS, count - 11, 7);
        }
        count = 0;
        previous = current;
        if (next == 0) {
            max_count = 138, min_count = 3;
        } else if (current == next) {
            max_count = 6, min_count = 3;
        } else {
            max_count = 7, min_count = 4;
        }
    }
}

int trailing_zeros_trimmed(const uint8_t* lengths, int n) {
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
}

struct Compressor {
    Work& w;
    BitWriter& out;
    const uint8_t* in;
    size_t n;
    int symbol_count = 0;
    size_t block_start = 0, covered = 0;  // input bytes of the current block so far

    void literal(uint8_t byte) {
        w.symbols[symbol_count++] = byte;
        ++w.freq[byte];
        ++covered;
    }
    void match(size_t distance, int length) {
        w.symbols[symbol_count++] = uint32_t(distance) << 8 | uint32_t(length - 3);
        ++w.freq[257 + length_code[size_t(length)]];
        ++w.freq[DISTANCE_AT + distance_code(distance)];
        covered += size_t(length);
    }

    // ---- block writing ----

    uint64_t data_bits(const uint8_t* lit_length, const uint8_t* dist_length) const {
        uint64_t bits = 0;
        for (int s = 0; s < LITERAL_LENGTHS; ++s) {
            bits += uint64_t(w.freq[s]) * lit_length[s];
            if (s > END_OF_BLOCK) bits += uint64_t(w.freq[s]) * length_extra[s - 257];
        }
        for (int d = 0; d < DISTANCE_CODES; ++d)
            bits += uint64_t(w.freq[DISTANCE_AT + d]) * (dist_length[d] + distance_extra[d]);
        return bits;
    }

    void write_symbols(const uint16_t* code, const uint8_t* length) {
        for (int i = 0; i < symbol_count; ++i) {
            uint32_t e = w.symbols[i];
            if (e < 256) {
                out.put(code[e], length[e]);
                continue;
            }
            int len = int(e & 255) + 3, lc = length_code[size_t(len)];
            size_t distance = e >> 8;
            int dc = distance_code(distance);
            out.put(code[257 + lc], length[257 + lc]);
            out.put(uint32_t(len - length_base[lc]), length_extra[lc]);
            out.put(code[DISTANCE_AT + dc], length[DISTANCE_AT + dc]);
            out.put(uint32_t(distance - distance_base[dc]), distance_extra[dc]);
        }
        out.put(code[END_OF_BLOCK], length[END_OF_BLOCK]);
    }

    void write_stored(bool final) {
        size_t bytes = covered, at = block_start;
        do {
            size_t piece = std::min<size_t>(bytes, 65535);
            bytes -= piece;
            out.put(final && bytes == 0, 1);
            out.put(0, 2);
            out.align();
            out.put(uint32_t(piece), 16);
            out.put(uint32_t(~piece & 0xFFFF), 16);
            out.bytes(in + at, piece);
            at += piece;
        } while (bytes > 0);
    }

    void write_block(bool final) {
        w.freq[END_OF_BLOCK] = 1;
        uint8_t* length = w.length;
        build_code(w.freq, length, w.code, LITERAL_LENGTHS, MAX_BITS);
        build_code(w.freq + DISTANCE_AT, length + DISTANCE_AT, w.code + DISTANCE_AT, DISTANCE_CODES, MAX_BITS);
        const int hlit = trailing_zeros_trimmed(length, LITERAL_LENGTHS);
        const int hdist = trailing_zeros_trimmed(length + DISTANCE_AT, DISTANCE_CODES);
        uint32_t* cl_freq = w.freq + CODE_LENGTH_AT;
        auto count = [&](int symbol, int, int) { ++cl_freq[symbol]; };
        scan_lengths(length, hlit, count);
        scan_lengths(length + DISTANCE_AT, hdist, count);
        uint8_t* cl_length = length + CODE_LENGTH_AT;
        uint16_t* cl_code = w.code + CODE_LENGTH_AT;
        build_code(cl_freq, cl_length, cl_code, CODE_LENGTHS, 7);
        int hclen = CODE_LENGTHS;
        while (hclen > 4 && cl_length[code_length_order[hclen - 1]] == 0) --hclen;

        uint64_t dynamic = 3 * uint64_t(hclen) + 17 + data_bits(length, length + DISTANCE_AT);
        for (int c = 0; c < CODE_LENGTHS; ++c) dynamic += uint64_t(cl_freq[c]) * cl_length[c];
        dynamic += 2 * uint64_t(cl_freq[REPEAT]) + 3 * uint64_t(cl_freq[ZEROS]) + 7 * uint64_t(cl_freq[LONG_ZEROS]);
        const uint64_t fixed = 3 + data_bits(w.fixed_length, w.fixed_length + DISTANCE_AT);
        const uint64_t pieces = std::max<uint64_t>(1, (covered + 65534) / 65535);
        const uint64_t stored =
            40 * pieces + (uint64_t((out.count + 10) & ~7) - uint64_t(out.count) + 32) + 8 * uint64_t(covered) - 40;

        if (fixed >= stored && dynamic >= stored) {
            write_stored(final);
        } else if (dynamic < fixed) {
            out.put(final, 1);
            out.put(2, 2);
            out.put(uint32_t(hlit - 257), 5);
            out.put(uint32_t(hdist - 1), 5);
            out.put(uint32_t(hclen - 4), 4);
            for (int i = 0; i < hclen; ++i) out.put(cl_length[code_length_order[i]], 3);
            auto send = [&](int symbol, int extra, int bits) {
                out.put(cl_code[symbol], cl_length[symbol]);
                out.put(uint32_t(extra), bits);
            };
            scan_lengths(length, hlit, send);
            scan_lengths(length + DISTANCE_AT, hdist, send);
            write_symbols(w.code, length);
        } else {
            out.put(final, 1);
            out.put(1, 2);
            write_symbols(w.fixed_code, w.fixed_length);
        }
        std::fill_n(w.freq, ALL_SYMBOLS, 0);
        symbol_count = 0;
        block_start += covered;
        covered = 0;
    }

    // ---- matching ----

    // The longest match at 1-based position i longer than `best`, at most `max` bytes, along the
    // chain from `candidate`; 0-length distance when none is longer.
    int longest_match(size_t i, uint32_t candidate, int best, int max, size_t& distance) const {
        int chain = best < GOOD_LENGTH ? MAX_CHAIN : MAX_CHAIN / 4;
        const int nice = std::min(max, NICE_LENGTH);
        const size_t limit = i > size_t(WINDOW) ? i - size_t(WINDOW) : 0;
        const uint8_t* current = in + i - 1;
        for (; candidate > limit && chain-- > 0; candidate = w.chain[candidate & (HASH_SIZE - 1)]) {
            const uint8_t* m = in + candidate - 1;
            if (m[best] != current[best] || m[best - 1] != current[best - 1] || m[0] != current[0] ||
                m[1] != current[1])
                continue;
            int len = 2;
            while (len < max && m[len] == current[len]) ++len;
            if (len <= best) continue;
            best = len;
            distance = i - candidate;
            if (len >= nice) break;
        }
        return best;
    }

    void run() {
        int hash_bits = 8;
        while (hash_bits < 15 && (size_t(1) << hash_bits) < n) ++hash_bits;
        const uint32_t mask = (1u << hash_bits) - 1;
        std::fill_n(w.head, mask + 1, 0);  // the rest of the table is never read
        uint32_t hash = n > 2 ? uint32_t(in[0]) * 32 ^ in[1] : 0;
        int pending = 2, skip = 0;
        size_t pending_distance = 0;
        bool literal_pending = false;
        for (size_t i = 1; i <= n; ++i) {
            uint32_t candidate = 0;
            if (n >= 2 && i <= n - 2) {
                hash = ((hash << 5) ^ in[i + 1]) & mask;
                candidate = w.head[hash];
                w.chain[i & (HASH_SIZE - 1)] = candidate;
                w.head[hash] = uint32_t(i);
            }
            if (skip > 0) {
                --skip;
                continue;
            }
            int current = 2;
            size_t distance = 0;
            const int max = int(std::min<size_t>(MAX_MATCH, n - i + 1));
            if (candidate && i - candidate <= MAX_DISTANCE && pending < LAZY_LENGTH && pending < max) {
                current = longest_match(i, candidate, pending, max, distance);
                if (current == pending) current = 2;
                if (current == 3 && distance > TOO_FAR) current = 2;
            }
            if (pending >= 3 && pending >= current) {
                match(pending_distance, pending);
                skip = pending - 2;
                pending = 2;
                literal_pending = false;
            } else {
                if (literal_pending) literal(in[i - 2]);
                literal_pending = true;
                pending = current;
                pending_distance = distance;
            }
            if (symbol_count == SYMBOL_BUFFER) write_block(false);
        }
        if (literal_pending) literal(in[n - 1]);
        write_block(true);
        out.align();
    }
};

void compress_into(BitWriter& out, const uint8_t* from, size_t length) {
    std::unique_ptr<Work> work(new Work);  // not cleared: what is read is set first
    std::fill_n(work->freq, ALL_SYMBOLS, 0);
    for (int s = 0; s < LITERALS; ++s) work->fixed_length[s] = fixed_literal_length(s);
    std::fill_n(work->fixed_length + DISTANCE_AT, DISTANCES, FIXED_DISTANCE_LENGTH);
    assign_codes(work->fixed_length, work->fixed_code, LITERALS);
    assign_codes(work->fixed_length + DISTANCE_AT, work->fixed_code + DISTANCE_AT, DISTANCES);
    Compressor{*work, out, from, length}.run();
}

void put_big_endian32(BitWriter& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.byte(uint8_t(v >> shift));
}
void put_little_endian32(BitWriter& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.byte(uint8_t(v >> shift));
}

Status finish(const BitWriter& out, size_t& size) {
    size = out.pos;
    return out.pos > out.capacity ? TOO_SMALL : DONE;
}

}  // namespace

Status compress(uint8_t* to, size_t& size, const uint8_t* from, size_t length) {
    BitWriter out{to, size};
    compress_into(out, from, length);
    return finish(out, size);
}

Status zlib_wrap(uint8_t* to, size_t& size, const uint8_t* from, size_t length) {
    BitWriter out{to, size};
    out.byte(0x78);
    out.byte(0x01);
    compress_into(out, from, length);
    put_big_endian32(out, checksum::adler32(from, length));
    return finish(out, size);
}

Status gzip_wrap(uint8_t* to, size_t& size, const uint8_t* from, size_t length) {
    // No name and no time stamp: the same data always gives the same bytes.
    static constexpr uint8_t header[10] = {31, 139, 8, 0, 0, 0, 0, 0, 4, 4};
    BitWriter out{to, size};
    out.bytes(header, sizeof header);
    compress_into(out, from, length);
    put_little_endian32(out, checksum::crc32(from, length));
    put_little_endian32(out, uint32_t(length));
    return finish(out, size);
}

}  // namespace vyn::deflate
