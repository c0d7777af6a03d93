// Base-2, base-16, base-58 and base-64 codecs. Every decoder reads its input through one reader
// that skips ";" comments and the blanks of its base, and accepts only characters below 128:
// no wider character can alias a digit. Base 58 works on 32-bit limbs, five base-58 digits at a
// time, so its quadratic cost stays small for the short texts it is meant for.
#include "datatypes/binary_codecs.hpp"

#include <algorithm>
#include <array>

#include "datatypes/string.hpp"

namespace vyn::binary {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char ALPHABET_58[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char ALPHABET_64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

constexpr uint8_t INVALID = 128;
constexpr uint32_t END = UINT32_MAX;

// Digit values of the characters below 128, INVALID for the others.
constexpr std::array<uint8_t, 128> digit_table(const char* alphabet, int size, bool either_case) {
    std::array<uint8_t, 128> table{};
    table.fill(INVALID);
    for (int i = 0; i < size; ++i) {
        auto c = size_t(alphabet[i]);
        table[c] = uint8_t(i);
        if (either_case && c >= 'A' && c <= 'F') table[c + 32] = uint8_t(i);
    }
    return table;
}

constexpr auto DIGITS_16 = digit_table(HEX_DIGITS, 16, true);
constexpr auto DIGITS_58 = digit_table(ALPHABET_58, 58, false);
constexpr auto DIGITS_64 = digit_table(ALPHABET_64, 64, false);

uint8_t digit_of(const std::array<uint8_t, 128>& table, uint32_t c) { return c < 128 ? table[c] : INVALID; }

// Base 2 and 16 skip everything up to space; base 58 and 64 only these.
bool is_control_or_space(uint32_t c) { return c <= ' '; }
bool is_skipped_in_text(uint32_t c) {
    return c == '\b' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ' || c == '\'';
}

// The significant characters of a text: comments and skipped characters left out.
class Reader {
public:
    Reader(const uint8_t* chars, uint32_t count, int unit, bool (*skipped)(uint32_t))
        : chars_(chars), count_(count), unit_(unit), skipped_(skipped) {}

    uint32_t next() {
        while (index_ < count_) {
            uint32_t c = at(index_++);
            if (c == ';') {
                while (index_ < count_ && at(index_) != '\n') ++index_;
            } else if (!skipped_(c)) {
                return c;
            }
        }
        return END;
    }

private:
    uint32_t at(uint32_t i) const { return string::get_char(chars_ + size_t(i) * size_t(unit_), unit_); }

    const uint8_t* chars_;
    uint32_t count_;
    int unit_;
    bool (*skipped_)(uint32_t);
    uint32_t index_ = 0;
};

// ---- Base 2 ----

std::optional<Bytes> decode_2(Reader text) {
    Bytes out;
    uint32_t byte = 0;
    int bits = 0;
    for (uint32_t c = text.next(); c != END; c = text.next()) {
        if (c != '0' && c != '1') return std::nullopt;
        byte = byte << 1 | (c - '0');
        if (++bits == 8) {
            out.push_back(uint8_t(byte));
            byte = 0;
            bits = 0;
        }
    }
    if (bits) return std::nullopt;
    return out;
}

// ---- Base 16: an odd last digit is left unused ----

std::optional<Bytes> decode_16(Reader text) {
    Bytes out;
    int high = -1;
    for (uint32_t c = text.next(); c != END; c = text.next()) {
        uint8_t digit = digit_of(DIGITS_16, c);
        if (digit == INVALID) return std::nullopt;
        if (high < 0) high = digit;
        else {
            out.push_back(uint8_t(high << 4 | digit));
            high = -1;
        }
    }
    return out;
}

// ---- Base 64 ----

// "=" ends a group of three characters (two bytes) or, as "==", one of two (one byte); the next
// group may follow. The characters of an unfinished last group are dropped.
std::optional<Bytes> decode_64(Reader text) {
    Bytes out;
    uint32_t group = 0;
    int chars = 0;
    for (uint32_t c = text.next(); c != END; c = text.next()) {
        if (c == '=') {
            if (chars == 3) {
                out.push_back(uint8_t(group >> 10));
                out.push_back(uint8_t(group >> 2));
            } else if (chars == 2 && text.next() == '=') {
                out.push_back(uint8_t(group >> 4));
            } else {
                return std::nullopt;
            }
            group = 0;
            chars = 0;
            continue;
        }
        uint8_t digit = digit_of(DIGITS_64, c);
        if (digit == INVALID) return std::nullopt;
        group = group << 6 | digit;
        if (++chars == 4) {
            out.push_back(uint8_t(group >> 16));
            out.push_back(uint8_t(group >> 8));
            out.push_back(uint8_t(group));
            group = 0;
            chars = 0;
        }
    }
    return out;
}

// ---- Base 58: a big number, its leading zero bytes written as leading "1" digits ----

constexpr int DIGITS_PER_LIMB = 5;
constexpr uint32_t POWERS_58[DIGITS_PER_LIMB + 1] = {1, 58, 3364, 195112, 11316496, 656356768};

std::optional<Bytes> decode_58(Reader text) {
    Bytes digits;
    for (uint32_t c = text.next(); c != END; c = text.next()) {
        uint8_t digit = digit_of(DIGITS_58, c);
        if (digit == INVALID) return std::nullopt;
        digits.push_back(digit);
    }
    size_t zeros = size_t(std::find_if(digits.begin(), digits.end(), [](uint8_t d) { return d != 0; }) - digits.begin());
    // The number in 32-bit limbs, least significant first: times 58^k plus k digits at a time.
    std::vector<uint32_t> limbs;
    for (size_t i = zeros; i < digits.size();) {
        size_t take = std::min<size_t>(DIGITS_PER_LIMB, digits.size() - i);
        uint64_t carry = 0;
        for (size_t k = 0; k < take; ++k) carry = carry * 58 + digits[i + k];
        i += take;
        for (uint32_t& limb : limbs) {
            uint64_t t = uint64_t(limb) * POWERS_58[take] + carry;
            limb = uint32_t(t);
            carry = t >> 32;
        }
        if (carry) limbs.push_back(uint32_t(carry));
    }
    Bytes out(zeros, 0);
    bool leading = true;
    for (size_t i = limbs.size(); i-- > 0;) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            auto byte = uint8_t(limbs[i] >> shift);
            if (leading && byte == 0) continue;
            leading = false;
            out.push_back(byte);
        }
    }
    return out;
}

// The digits of the bytes after the leading zeros, least significant first, without zeros at
// the most significant end.
Bytes digits_58(std::span<const uint8_t> bytes) {
    std::vector<uint32_t> limbs((bytes.size() + 3) / 4, 0);  // most significant first
    size_t pad = limbs.size() * 4 - bytes.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        size_t at = pad + i;
        limbs[at / 4] |= uint32_t(bytes[i]) << (8 * (3 - at % 4));
    }
    Bytes digits;
    size_t start = 0;
    while (start < limbs.size() && limbs[start] == 0) ++start;
    while (start < limbs.size()) {
        uint64_t rest = 0;
        for (size_t i = start; i < limbs.size(); ++i) {
            uint64_t current = rest << 32 | limbs[i];
            limbs[i] = uint32_t(current / POWERS_58[DIGITS_PER_LIMB]);
            rest = current % POWERS_58[DIGITS_PER_LIMB];
        }
        for (int k = 0; k < DIGITS_PER_LIMB; ++k, rest /= 58) digits.push_back(uint8_t(rest % 58));
        while (start < limbs.size() && limbs[start] == 0) ++start;
    }
    while (!digits.empty() && digits.back() == 0) digits.pop_back();
    return digits;
}

}  // namespace

bool is_codec_base(int64_t base) { return base == 2 || base == 16 || base == 58 || base == 64; }

uint64_t encoded_capacity(int base, uint64_t n) {
    switch (base) {
    case 2: return 8 * n + 2 * (n / 8) + 4;
    case 16: return 2 * n + n / 32 + 32;
    case 58: return 2 * n + 1;
    default: return 4 * (n / 3) + 4 * (n % 3) / 3 + 2 * (n / 32) + 5;
    }
}

size_t encode_2(std::span<const uint8_t> bytes, std::span<uint8_t> out) {
    if (out.size() / 8 < bytes.size()) return 0;
    size_t n = 0;
    for (uint8_t byte : bytes)
        for (int bit = 7; bit >= 0; --bit) out[n++] = uint8_t('0' + (byte >> bit & 1));
    return n;
}

size_t encode_16(std::span<const uint8_t> bytes, std::span<uint8_t> out) {
    if (out.size() / 2 < bytes.size()) return 0;
    size_t n = 0;
    for (uint8_t byte : bytes) {
        out[n++] = uint8_t(HEX_DIGITS[byte >> 4]);
        out[n++] = uint8_t(HEX_DIGITS[byte & 15]);
    }
    return n;
}

size_t encode_58(std::span<const uint8_t> bytes, std::span<uint8_t> out) {
    size_t zeros = size_t(std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; }) - bytes.begin());
    Bytes digits = digits_58(bytes.subspan(zeros));
    if (out.size() < zeros + digits.size()) return 0;
    size_t n = 0;
    for (; n < zeros; ++n) out[n] = '1';
    for (size_t i = digits.size(); i-- > 0;) out[n++] = uint8_t(ALPHABET_58[digits[i]]);
    return n;
}

size_t encode_64(std::span<const uint8_t> bytes, std::span<uint8_t> out) {
    if (out.size() / 4 < (bytes.size() + 2) / 3) return 0;
    size_t n = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        size_t left = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = uint32_t(bytes[i]) << 16;
        if (left > 1) group |= uint32_t(bytes[i + 1]) << 8;
        if (left > 2) group |= bytes[i + 2];
        for (size_t k = 0; k < 4; ++k)
            out[n++] = k <= left ? uint8_t(ALPHABET_64[group >> (18 - 6 * k) & 63]) : uint8_t('=');
    }
    return n;
}

size_t encode(int base, std::span<const uint8_t> bytes, std::span<uint8_t> out) {
    if (!is_codec_base(base) || out.size() < encoded_capacity(base, bytes.size())) return 0;
    switch (base) {
    case 2: return encode_2(bytes, out);
    case 16: return encode_16(bytes, out);
    case 58: return encode_58(bytes, out);
    default: return encode_64(bytes, out);
    }
}

std::optional<Bytes> decode(int base, const uint8_t* chars, uint32_t count, int unit) {
    switch (base) {
    case 2: return decode_2(Reader(chars, count, unit, is_control_or_space));
    case 16: return decode_16(Reader(chars, count, unit, is_control_or_space));
    case 58: return decode_58(Reader(chars, count, unit, is_skipped_in_text));
    case 64: return decode_64(Reader(chars, count, unit, is_skipped_in_text));
    default: return std::nullopt;
    }
}

}  // namespace vyn::binary
