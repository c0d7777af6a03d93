// The runtime compressor and its decompressor. Tokens: a literal is a 0 bit and the byte; a match
// is a 1 bit, a length code (3 to 566 bytes) and a distance code (1 to 262144 bytes back in the
// same block). Bits are packed least significant first, and a block's stream starts on a fresh
// byte: the reader fetches a byte only when it needs its bits, so the next block begins at the
// first byte not fetched. Matches never cross a block, which lets each block decode on its own.
#include "core/compressor.hpp"

#include <algorithm>
#include <cstring>

namespace vyn::compress {

namespace {

constexpr size_t hash3_heads = 0x80000;
constexpr size_t hash4_heads = 0x100000;
constexpr size_t chain_walk = 256;
constexpr uint32_t farthest_short_match = 0x10000;
constexpr unsigned shortest_match = 3;

uint32_t read_u32(const uint8_t* at) { return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24; }
void write_u32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

// Length codes: a run of zero bits selects the range (a 1 ends the run, except after the fifth),
// then the extra bits give the offset within it.
struct LengthRange {
    uint32_t first;
    unsigned extra_bits;
};
constexpr LengthRange length_ranges[] = {{0, 2}, {4, 2}, {8, 2}, {12, 3}, {20, 5}, {52, 9}};
constexpr unsigned last_range = std::size(length_ranges) - 1;

// The output side: whole bytes are stored as soon as they fill; a reservation that does not fit
// sets the overflow flag, after which nothing more is written.
class BitWriter {
public:
    BitWriter(uint8_t* out, size_t capacity) : out_(out), capacity_(capacity) {}

    uint8_t* reserve(size_t n) {
        if (overflow_ || n > capacity_ - used_) {
            overflow_ = true;
            return nullptr;
        }
        uint8_t* at = out_ + used_;
        used_ += n;
        return at;
    }
    void put_bits(unsigned n, uint32_t value) {
        if (overflow_) return;
        buffer_ |= value << held_;
        held_ += n;
        for (; held_ >= 8; held_ -= 8, buffer_ >>= 8) {
            uint8_t* at = reserve(1);
            if (!at) return;
            *at = uint8_t(buffer_);
        }
    }
    // Drops the bits of a partly filled byte; a block's padding ends up there.
    void clear_bits() { buffer_ = held_ = 0; }
    bool overflow() const { return overflow_; }
    size_t used() const { return used_; }

private:
    uint8_t* out_;
    size_t capacity_;
    size_t used_ = 0;
    uint32_t buffer_ = 0;
    unsigned held_ = 0;
    bool overflow_ = false;
};

// The input side, bounded by the container's end: a fetch past it marks the stream cut short
// and yields zero bits, which the block loop turns into a failure.
class BitReader {
public:
    BitReader(const uint8_t* at, const uint8_t* end) : at_(at), end_(end) {}

    uint32_t get_bits(unsigned n) {
        for (; held_ < n; held_ += 8) {
            if (at_ == end_) {
                cut_ = true;
                return 0;
            }
            buffer_ |= uint32_t(*at_++) << held_;
        }
        uint32_t value = buffer_ & ((uint32_t(1) << n) - 1);
        buffer_ >>= n;
        held_ -= n;
        return value;
    }
    bool read_u32(uint32_t& value) {
        if (end_ - at_ < 4) return false;
        value = compress::read_u32(at_);
        at_ += 4;
        return true;
    }
    void clear_bits() { buffer_ = held_ = 0; }
    bool more() const { return at_ < end_; }
    bool cut() const { return cut_; }

private:
    const uint8_t* at_;
    const uint8_t* end_;
    uint32_t buffer_ = 0;
    unsigned held_ = 0;
    bool cut_ = false;
};

void put_length(BitWriter& out, uint32_t n) {
    unsigned range = 0;
    while (range < last_range && n >= length_ranges[range + 1].first) ++range;
    out.put_bits(range, 0);
    if (range < last_range) out.put_bits(1, 1);
    out.put_bits(length_ranges[range].extra_bits, n - length_ranges[range].first);
}

uint32_t get_length(BitReader& in) {
    unsigned range = 0;
    while (range < last_range && in.get_bits(1) == 0) ++range;
    return length_ranges[range].first + in.get_bits(length_ranges[range].extra_bits);
}

// A 4-bit j - 2, then d in 3 bits when j = 2, else d - 2^j in j bits.
void put_distance(BitWriter& out, uint32_t d) {
    unsigned j = 2;
    while (d >= (uint32_t(2) << j)) ++j;
    out.put_bits(4, j - 2);
    if (j == 2)
        out.put_bits(3, d);
    else
        out.put_bits(j, d - (uint32_t(1) << j));
}

uint32_t get_distance(BitReader& in) {
    unsigned j = in.get_bits(4) + 2;
    return j == 2 ? in.get_bits(3) : (uint32_t(1) << j) + in.get_bits(j);
}

// Decodes one block's tokens into `out` (exactly `length` bytes); false on a cut stream or a
// match that reaches before the block or past its end.
bool decode_block(BitReader& in, uint8_t* out, size_t length) {
    in.clear_bits();
    size_t at = 0;
    while (at < length) {
        if (in.get_bits(1) == 0) {
            out[at++] = uint8_t(in.get_bits(8));
        } else {
            size_t count = get_length(in) + shortest_match;
            size_t back = size_t(get_distance(in)) + 1;
            if (in.cut() || back > at || count > length - at) return false;
            for (const uint8_t* from = out + at - back; count > 0; --count) out[at++] = *from++;
        }
        if (in.cut()) return false;
    }
    return true;
}

// The match search over one block: hash heads for 3- and 4-byte prefixes (reset per block, so no
// match crosses one) and a chain of earlier positions with the same 4-byte hash.
class MatchFinder {
public:
    MatchFinder() : heads_(hash3_heads + hash4_heads), chain_(farthest_match), block_(block_size + longest_match) {}

    void encode_block(const uint8_t* source, size_t length, BitWriter& out) {
        std::memcpy(block_.data(), source, length);
        std::fill(block_.begin() + length, block_.end(), 0);
        std::fill(heads_.begin(), heads_.end(), -1);
        length_ = length;
        h3_ = h4_ = 0;
        for (size_t i = 0; i < 3; ++i) h3_ = hash3(h3_, block_[i]);
        for (size_t i = 0; i < 4; ++i) h4_ = hash4(h4_, block_[i]);
        for (size_t at = 0; at < length && !out.overflow();) {
            auto [count, distance] = best_match(at);
            if (count < shortest_match || (count == shortest_match && distance > farthest_short_match)) {
                out.put_bits(9, uint32_t(block_[at]) << 1);
                count = 1;
            } else {
                out.put_bits(1, 1);
                put_length(out, count - shortest_match);
                put_distance(out, distance - 1);
            }
            for (size_t end = at + count; at < end; ++at) insert(at);
        }
        out.put_bits(7, 0);
    }

private:
    struct Match {
        uint32_t count;
        uint32_t distance;
    };

    int32_t& head3() { return heads_[h3_]; }
    int32_t& head4() { return heads_[hash3_heads + h4_]; }

    uint32_t measure(size_t candidate, size_t at, size_t most) const {
        uint32_t n = 0;
        while (n < most && block_[candidate + n] == block_[at + n]) ++n;
        return n;
    }

    Match best_match(size_t at) {
        Match best{2, uint32_t(farthest_match)};
        const size_t most = std::min(length_ - at, longest_match);
        const int64_t lowest = at > farthest_match ? int64_t(at - farthest_match) : 0;
        auto in_range = [&](int32_t candidate) { return candidate >= 0 && candidate >= lowest; };
        if (int32_t candidate = head3(); in_range(candidate) && block_[candidate] == block_[at]) {
            uint32_t n = measure(candidate, at, most);
            if (n > best.count) best = {n, uint32_t(at - candidate)};
        }
        if (best.count >= longest_match) return best;
        int32_t candidate = head4();
        for (size_t tries = 0; tries < chain_walk && in_range(candidate); ++tries) {
            if (block_[candidate + best.count] == block_[at + best.count] && block_[candidate] == block_[at]) {
                uint32_t n = measure(candidate, at, most);
                if (n > best.count + distance_cost(uint32_t(at - candidate) / 16, best.distance)) {
                    best = {n, uint32_t(at - candidate)};
                    if (n == most) break;
                }
            }
            candidate = chain_[size_t(candidate) % farthest_match];
        }
        return best;
    }

    void insert(size_t at) {
        head3() = int32_t(at);
        chain_[at % farthest_match] = head4();
        head4() = int32_t(at);
        h3_ = hash3(h3_, block_[at + 3]);
        h4_ = hash4(h4_, block_[at + 4]);
    }

    std::vector<int32_t> heads_;
    std::vector<int32_t> chain_;
    std::vector<uint8_t> block_;
    size_t length_ = 0;
    uint32_t h3_ = 0, h4_ = 0;
};

}  // namespace

int64_t compress(const uint8_t* source, size_t length, uint8_t* destination) {
    if (length < smallest_input || length > UINT32_MAX) return -1;
    write_u32(destination + 4, uint32_t(length));
    BitWriter out(destination + header_size, length - header_size);
    MatchFinder finder;
    for (size_t done = 0; done < length && !out.overflow();) {
        size_t part = std::min(length - done, block_size);
        if (uint8_t* at = out.reserve(4)) write_u32(at, uint32_t(part));
        out.clear_bits();
        finder.encode_block(source + done, part, out);
        done += part;
    }
    if (out.overflow()) return -1;
    write_u32(destination, uint32_t(out.used()));
    return int64_t(out.used() + header_size);
}

std::optional<std::vector<uint8_t>> decompress(const uint8_t* container, size_t length) {
    if (length < header_size) return std::nullopt;
    const size_t stored = read_u32(container);
    const size_t capacity = size_t(read_u32(container + 4)) + header_size;
    if (stored > length - header_size) return std::nullopt;
    BitReader in(container + header_size, container + header_size + stored);
    std::vector<uint8_t> out;
    while (in.more()) {
        uint32_t part = 0;
        if (!in.read_u32(part) || part < 1 || part > block_size || part > capacity - out.size()) return std::nullopt;
        size_t start = out.size();
        out.resize(start + part);
        if (!decode_block(in, out.data() + start, part)) return std::nullopt;
    }
    return out;
}

}  // namespace vyn::compress
