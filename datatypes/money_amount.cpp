// The decimal kernel of money!: amounts as a sign and a magnitude in units of 10^-5, packed to
// and from the cell's 22 BCD digits, with exact arithmetic, rounding and conversions. Every
// result stays below 10^22 units: anything that would not raises `type-limit` (money!), so a
// magnitude here always fits its 22 digits.
#include <charconv>

#include "core/float_text.hpp"
#include "core/raise.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/money.hpp"

namespace vyn::money {
namespace {

// A product's digits may not together exceed the field, its fraction and one more digit.
constexpr int PRODUCT_DIGITS = DIGITS + FRACTION_DIGITS + 1;

[[noreturn]] void fire_overflow() { datatype::fire_with_type(err::type_limit, TYPE_MONEY); }

Magnitude checked(Magnitude m) {
    if (m >= MAGNITUDE_LIMIT) fire_overflow();
    return m;
}

Amount with_magnitude(const Amount& like, Magnitude m, bool negative) {
    return Amount{m, negative && m != 0, like.currency};
}

uint8_t* amount_bytes(Cell& cell) { return reinterpret_cast<uint8_t*>(&cell) + 5; }
const uint8_t* amount_bytes(const Cell& cell) { return reinterpret_cast<const uint8_t*>(&cell) + 5; }

}  // namespace

int significant_digits(Magnitude m) {
    int count = 0;
    for (; m != 0; m /= 10) ++count;
    return count;
}

Amount add(const Amount& a, const Amount& b) {
    if (a.is_zero()) return b;
    if (b.is_zero()) return a;
    if (a.negative == b.negative) return with_magnitude(a, checked(a.magnitude + b.magnitude), a.negative);
    if (a.magnitude >= b.magnitude) return with_magnitude(a, a.magnitude - b.magnitude, a.negative);
    return with_magnitude(a, b.magnitude - a.magnitude, b.negative);
}

Amount subtract(const Amount& a, const Amount& b) {
    Amount negated = b;
    negated.negative = !b.negative && !b.is_zero();
    return add(a, negated);
}

Amount multiply(const Amount& a, const Amount& b) {
    if (significant_digits(a.magnitude) + significant_digits(b.magnitude) > PRODUCT_DIGITS) fire_overflow();
    Magnitude product = a.magnitude * b.magnitude / FRACTION_SCALE;
    return with_magnitude(a, checked(product), a.negative != b.negative);
}

Amount divide(const Amount& a, const Amount& b) {
    if (b.is_zero()) fire(err::zero_divide);
    if (significant_digits(a.magnitude) - significant_digits(b.magnitude) + FRACTION_DIGITS + 1 > DIGITS)
        fire_overflow();
    return with_magnitude(a, a.magnitude * FRACTION_SCALE / b.magnitude, a.negative != b.negative);
}

Amount remainder(const Amount& a, const Amount& b) {
    if (b.is_zero()) fire(err::zero_divide);
    return with_magnitude(a, a.magnitude % b.magnitude, a.negative);
}

// A tie is a value exactly halfway between the two multiples around it; /even keeps the
// multiple whose count of scales is even.
Amount round(const Amount& value, Magnitude scale, Rounding mode) {
    Magnitude m = value.magnitude;
    Magnitude r = m % scale;
    if (m == 0 || r == 0) return value;
    Magnitude down = m - r;
    auto up = [&] { return checked(m + (scale - r)); };
    bool positive = !value.negative;
    auto ceiling = [&] { return positive ? up() : down; };
    Magnitude result;
    if (mode == Rounding::down) result = down;
    else if (mode == Rounding::floor) result = positive ? down : up();
    else if (mode == Rounding::ceiling) result = ceiling();
    else if (r < scale - r) result = down;
    else if (r > scale - r || mode == Rounding::nearest) result = up();
    else if (mode == Rounding::even) result = (down / scale) % 2 == 0 ? down : up();
    else if (mode == Rounding::half_down) result = down;
    else result = ceiling();
    return with_magnitude(value, result, value.negative);
}

int compare_amounts(const Amount& a, const Amount& b) {
    int sa = a.is_zero() ? 0 : a.negative ? -1 : 1;
    int sb = b.is_zero() ? 0 : b.negative ? -1 : 1;
    if (sa != sb) return sa < sb ? -1 : 1;
    if (a.magnitude == b.magnitude) return 0;
    bool greater = (a.magnitude > b.magnitude) != (sa < 0);
    return greater ? 1 : -1;
}

Amount unpack(const Cell& money) {
    const uint8_t* bytes = amount_bytes(money);
    Amount a;
    for (int i = 0; i < AMOUNT_BYTES; ++i) a.magnitude = a.magnitude * 100 + (bytes[i] >> 4) * 10 + (bytes[i] & 0xF);
    a.negative = money.has_flag(FLAG_NEGATIVE) && a.magnitude != 0;
    a.currency = uint8_t(money.s1);
    return a;
}

Cell pack(const Amount& amount) {
    Cell cell = make_cell(TYPE_MONEY, amount.currency);
    if (amount.negative && amount.magnitude != 0) cell.set_flag(FLAG_NEGATIVE);
    uint8_t* bytes = amount_bytes(cell);
    Magnitude m = amount.magnitude;
    for (int i = AMOUNT_BYTES - 1; i >= 0; --i, m /= 100) bytes[i] = uint8_t((m % 100 / 10) << 4 | (m % 10));
    return cell;
}

// A nibble above 9 reads as the digit 0, so a decoded cell always holds a valid amount.
Cell make_at(bool negative, uint8_t currency, const uint8_t* packed) {
    Cell cell = make_cell(TYPE_MONEY, currency);
    auto digit = [](int nibble) { return nibble > 9 ? 0 : nibble; };
    for (int i = 0; i < AMOUNT_BYTES; ++i) amount_bytes(cell)[i] = uint8_t(digit(packed[i] >> 4) << 4 | digit(packed[i] & 0xF));
    Amount a = unpack(cell);
    a.negative = negative;
    return pack(a);
}

Amount from_integer(int32_t value) {
    Magnitude m = value < 0 ? Magnitude(-int64_t(value)) : Magnitude(value);
    return Amount{m * FRACTION_SCALE, value < 0, 0};
}

int32_t to_integer(const Amount& amount) {
    Magnitude whole = amount.magnitude / FRACTION_SCALE;
    Magnitude limit = amount.negative ? Magnitude(2147483648u) : Magnitude(2147483647u);
    if (whole > limit) datatype::fire_with_type(err::type_limit, TYPE_INTEGER);
    return amount.negative ? int32_t(-int64_t(whole)) : int32_t(whole);
}

std::optional<Amount> from_float(double value, bool strict) {
    float_text::Digits d = float_text::dtoa(value, 0, true);
    if (d.decpt == float_text::decpt_zero) return Amount{};
    if (d.decpt == float_text::decpt_special || d.decpt > INTEGER_DIGITS) return std::nullopt;
    int fraction_digits = d.count - d.decpt;
    if (d.decpt < -(FRACTION_DIGITS - 1)) return std::nullopt;
    if (strict && fraction_digits > FRACTION_DIGITS) return std::nullopt;
    Magnitude m = 0;
    for (int i = 0; i < d.count; ++i) m = m * 10 + Magnitude(d.chars[i] - '0');
    for (int i = fraction_digits; i < FRACTION_DIGITS; ++i) m *= 10;
    for (int i = FRACTION_DIGITS; i < fraction_digits; ++i) m /= 10;
    return Amount{m, d.negative && m != 0, 0};
}

double to_float(const Amount& amount) {
    char text[48];
    char* end = text;
    if (amount.negative) *end++ = '-';
    auto whole = uint64_t(amount.magnitude / FRACTION_SCALE);
    auto fraction = uint32_t(amount.magnitude % FRACTION_SCALE);
    end = std::to_chars(end, text + sizeof text, whole).ptr;
    *end++ = '.';
    for (Magnitude unit = FRACTION_SCALE / 10; unit != 0; unit /= 10) *end++ = char('0' + fraction / unit % 10);
    return float_text::from_text({text, size_t(end - text)}, 0).value;
}

int sign(const Cell& money) {
    Amount a = unpack(money);
    return a.is_zero() ? 0 : a.negative ? -1 : 1;
}

}  // namespace vyn::money
