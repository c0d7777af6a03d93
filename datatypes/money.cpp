// money! actions: construction, currencies, text forms, paths, arithmetic, comparison, rounding
// and random amounts over the decimal kernel of money_amount.cpp. Every handler unpacks the
// cell, works on the Amount and packs the result, so a sign bit never survives on a zero.
#include "datatypes/money.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/random.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/system_object.hpp"
#include "datatypes/word.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::money {
namespace {

using datatype::fire_with_type;

constexpr int MAX_CURRENCIES = 255;
constexpr int DEFAULT_SHOWN_DIGITS = 2;
constexpr int32_t MAX_FRACTION_FIELD = 99999;

Cell* store(Cell* cell, const Amount& amount) {
    *cell = pack(amount);
    return cell;
}

[[noreturn]] void fire_bad_make_arg(const Cell* spec) {
    Cell datatype = datatype_cell(TYPE_MONEY);
    fire(err::bad_make_arg, &datatype, spec);
}

// ---- The system's settings ----

Cell field_of(const Cell& object, uint32_t symbol) {
    if (!object.is(TYPE_OBJECT)) return none_cell();
    return object::vs_select(object, word::from_symbol(symbol));
}

Cell system_field(uint32_t symbol) {
    if (!system_object::ready()) return none_cell();
    return field_of(context::owner(system_object::system_context()), symbol);
}

// system/locale/currencies/list, or none when a script has replaced it by something else.
Cell currency_list() {
    Cell list = field_of(field_of(system_field(words::sym::locale), words::sym::currencies), words::sym::list);
    return list.is(TYPE_BLOCK) ? list : none_cell();
}

// The codes of the list in order, at most as many as a cell can index.
template <typename Visit>
int find_currency(Visit matches) {
    Cell list = currency_list();
    if (list.is(TYPE_NONE)) return -1;
    uint32_t count = std::min<uint32_t>(block::vs_length(&list), MAX_CURRENCIES);
    const Cell* codes = block::vs_head(&list);
    for (uint32_t i = 0; i < count; ++i)
        if (word_names::field_word(codes[i].type()) && matches(codes[i])) return int(i) + 1;
    return -1;
}

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

bool same_letters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lower_ascii(x) == lower_ascii(y); });
}

int currency_named(std::string_view code) {
    return find_currency([code](const Cell& word) { return same_letters(symbol::name(word.s2), code); });
}

// The code's word as the list holds it, or none for a position the list no longer has.
Cell currency_word(uint8_t index) {
    Cell list = currency_list();
    if (index != 0 && !list.is(TYPE_NONE) && index <= block::vs_length(&list)) {
        Cell code = block::vs_head(&list)[index - 1];
        if (word_names::field_word(code.type())) {
            code.set_type(TYPE_WORD);
            return code;
        }
    }
    return none_cell();
}

// A code the list has lost (a script replaced the list) forms as "???", which loads as nothing.
std::string currency_code(uint8_t index) {
    Cell word = currency_word(index);
    return word.is(TYPE_NONE) ? "???" : std::string(symbol::name(word.s2));
}

// system/options/money-digits: any value but an integer counts as 2; at most 5 are shown.
int shown_fraction_digits() {
    Cell digits = field_of(system_field(words::sym::options), words::sym::money_digits);
    int32_t n = digits.is(TYPE_INTEGER) ? digits.i32() : DEFAULT_SHOWN_DIGITS;
    return std::clamp(n, 0, FRACTION_DIGITS);
}

// ---- Text forms ----

// Form groups the integer digits by three with "'"; both cut the fraction, never round it.
std::string amount_text(const Amount& a, int fraction_shown, bool grouped) {
    std::string text = a.negative ? "-" : "";
    if (a.currency != 0) text += currency_code(a.currency);
    text += '$';
    std::string whole = std::to_string(uint64_t(a.magnitude / FRACTION_SCALE));
    for (size_t i = 0; i < whole.size(); ++i) {
        if (grouped && i > 0 && (whole.size() - i) % 3 == 0) text += '\'';
        text += whole[i];
    }
    if (fraction_shown > 0) {
        std::string fraction = std::to_string(uint32_t(a.magnitude % FRACTION_SCALE + FRACTION_SCALE));
        text += '.';
        text += fraction.substr(1, size_t(fraction_shown));
    }
    return text;
}

int32_t money_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    return datatype::append_text(out, amount_text(unpack(*value), shown_fraction_digits(), true), budget);
}

int32_t money_mold(const Cell* value, Cell* out, const MoldArgs& args, const Cell*, int32_t budget) {
    int shown = args.all ? FRACTION_DIGITS : shown_fraction_digits();
    return datatype::append_text(out, amount_text(unpack(*value), shown, false), budget);
}

// ---- Construction ----

Amount strict_float(const Cell* number) {
    std::optional<Amount> a = from_float(number->f64(), true);
    if (!a) fire_bad_make_arg(number);
    return *a;
}

// [currency amount fraction], each part but the amount optional; a fraction follows an
// integer amount only. The values are copied first: looking a code up may allocate.
Amount from_block(const Cell* spec) {
    Cell block = *spec;
    uint32_t count = block::vs_length(&block);
    if (count == 0 || count > 3) fire_bad_make_arg(spec);
    Cell parts[3];
    std::copy_n(block::vs_head(&block), count, parts);
    const Cell* values = parts;
    const Cell* end = parts + count;
    uint8_t currency = 0;
    if (values->is(TYPE_WORD)) {
        int index = currency_index(*values++);
        if (index < 0) fire_bad_make_arg(spec);
        currency = uint8_t(index);
    }
    if (values == end) fire_bad_make_arg(spec);
    Amount a;
    if (values->is(TYPE_INTEGER)) a = from_integer(values->i32());
    else if (values->is(TYPE_FLOAT)) a = strict_float(values);
    else fire_bad_make_arg(spec);
    if (++values != end) {
        if (!values->is(TYPE_INTEGER) || values[-1].is(TYPE_FLOAT) || values + 1 != end) fire_bad_make_arg(spec);
        int32_t fraction = values->i32();
        if (fraction < 0 || fraction > MAX_FRACTION_FIELD) fire_bad_make_arg(spec);
        a.magnitude += Magnitude(fraction);
    }
    a.currency = currency;
    return a;
}

Amount from_text(const Cell* spec) {
    std::optional<Cell> scanned = scan(string::to_utf8(spec), Syntax::text);
    if (!scanned) datatype::fire_bad_to_arg(TYPE_MONEY, spec);
    return unpack(*scanned);
}

Amount converted(const Cell* spec, bool make) {
    TypeId type = spec->type();
    if (type == TYPE_MONEY) return unpack(*spec);
    if (type == TYPE_INTEGER || type == TYPE_FLOAT) return from_number(spec);
    if (series::is_string_type(type)) return from_text(spec);
    if (make && type == TYPE_WORD) {
        int index = currency_index(*spec);
        if (index < 0) fire_bad_make_arg(spec);
        return Amount{0, false, uint8_t(index)};
    }
    if (make && type == TYPE_BLOCK) return from_block(spec);
    datatype::fire_bad_to_arg(TYPE_MONEY, spec);
}

Cell* money_make(Cell* proto, const Cell* spec, TypeId) { return store(proto, converted(spec, true)); }
Cell* money_to(Cell* proto, const Cell* spec, TypeId) { return store(proto, converted(spec, false)); }

// ---- Random ----

// Each significant digit is drawn from 0 to the digit it replaces until one comes out below it;
// from then on digits are free. Keeping a digit equal to the bound takes a further rare event,
// so results near the amount are not favoured.
Magnitude random_magnitude(Magnitude m) {
    Magnitude result = 0;
    bool bounded = true;
    for (Magnitude unit = power_of_ten(significant_digits(m) - 1); unit != 0; unit /= 10) {
        int digit = int(m / unit % 10);
        int drawn;
        if (!bounded) {
            drawn = random::next() % 10;
        } else {
            for (;;) {
                drawn = random::next() % (digit + 1);
                if (drawn < digit) {
                    bounded = false;
                    break;
                }
                if (random::next() % 1000 == random::next() % 1000) break;
            }
        }
        result = result * 10 + Magnitude(drawn);
    }
    return result;
}

Cell* money_random(Cell* value, bool seed, bool, bool) {
    if (seed) {
        random::seed(int32_t(value->s1 ^ value->s2 ^ value->s3 ^ (value->header & FLAG_NEGATIVE)));
        *value = unset_cell();
        return value;
    }
    Amount a = unpack(*value);
    a.magnitude = random_magnitude(a.magnitude);
    return store(value, a);
}

// ---- Paths ----

enum class Part { none, code, amount };

Part part_named(const Cell* element) {
    if (element->is(TYPE_INTEGER)) return element->i32() == 1 ? Part::code : element->i32() == 2 ? Part::amount : Part::none;
    if (!word_names::field_word(element->type())) return Part::none;
    if (word_names::is(*element, words::sym::code)) return Part::code;
    if (word_names::is(*element, words::sym::amount)) return Part::amount;
    return Part::none;
}

Cell* part_of(Cell* money, Part part) {
    Amount a = unpack(*money);
    if (part == Part::code) {
        *money = a.currency == 0 ? none_cell() : currency_word(a.currency);
        return money;
    }
    a.currency = 0;
    return store(money, a);
}

Cell* money_eval_path(Cell* money, const Cell* element, const Cell* value, const PathStep& step) {
    Cell path = step.path ? *step.path : none_cell();
    if (value) fire(err::bad_path_set, &path, element);
    Part part = part_named(element);
    if (part == Part::none) fire(err::invalid_path, &path, element);
    return part_of(money, part);
}

Cell* money_pick(Cell* money, int32_t, const Cell* index) {
    Part part = part_named(index);
    if (part == Part::none) fire(err::out_of_range, index);
    return part_of(money, part);
}

// ---- Arithmetic ----

enum class MathOp { add = 0, subtract, multiply, divide, remainder };

// A number on either side becomes an amount without currency; floats lose the digits past the
// fifth fraction digit.
Amount operand(const Cell* value) {
    switch (value->type()) {
    case TYPE_MONEY: return unpack(*value);
    case TYPE_INTEGER: return from_integer(value->i32());
    case TYPE_FLOAT: case TYPE_PERCENT: {
        std::optional<Amount> a = from_float(value->f64(), false);
        if (!a) fire_bad_make_arg(value);
        return *a;
    }
    default: fire_with_type(err::invalid_type, value->type());
    }
}

Amount computed(const Amount& a, const Amount& b, MathOp op) {
    switch (op) {
    case MathOp::add: return add(a, b);
    case MathOp::subtract: return subtract(a, b);
    case MathOp::multiply: return multiply(a, b);
    case MathOp::divide: return divide(a, b);
    case MathOp::remainder: return remainder(a, b);
    }
    return a;
}

// The result takes the right operand's currency when it has one; an amount divided by an
// amount is a plain ratio, a float!.
template <MathOp op>
Cell* money_math(Cell* left, const Cell* right) {
    Amount a = operand(left);
    Amount b = operand(right);
    if (a.currency != 0 && b.currency != 0 && a.currency != b.currency) fire(err::wrong_denom, left, right);
    Amount result = computed(a, b, op);
    if (op == MathOp::divide && left->is(TYPE_MONEY) && right->is(TYPE_MONEY)) {
        *left = float_cell(to_float(result));
        return left;
    }
    result.currency = b.currency != 0 ? b.currency : a.currency;
    return store(left, result);
}

Cell* money_absolute(Cell* value) {
    Amount a = unpack(*value);
    a.negative = false;
    return store(value, a);
}

Cell* money_negate(Cell* value) {
    Amount a = unpack(*value);
    a.negative = !a.negative;
    return store(value, a);
}

// ---- Comparison ----

bool is_ordering(int op) { return op >= CMP_LESSER && op <= CMP_GREATER_OR_EQUAL; }
bool is_sorting(int op) { return op == CMP_SORT || op == CMP_SORT_CASE; }

// Sorting puts amounts without currency first, then orders by the codes' names.
int currency_order(uint8_t a, uint8_t b) {
    if (a == b) return 0;
    if (a == 0 || b == 0) return a == 0 ? -1 : 1;
    int order = currency_code(a).compare(currency_code(b));
    return (order > 0) - (order < 0);
}

// Whether the currencies let the two amounts be equal under the code.
bool currencies_match(uint8_t a, uint8_t b, int op) {
    if (op == CMP_STRICT_EQUAL || op == CMP_SAME) return a == b;
    if (op == CMP_FIND) return b == 0 || a == b;
    return a == 0 || b == 0 || a == b;
}

int compare_money(const Cell* left, const Cell* right, int op) {
    Amount a = unpack(*left);
    Amount b = unpack(*right);
    if (is_ordering(op) && a.currency != 0 && b.currency != 0 && a.currency != b.currency)
        fire(err::wrong_denom, left, right);
    if (is_sorting(op)) {
        int order = currency_order(a.currency, b.currency);
        if (order != 0) return order;
    } else if (!is_ordering(op) && !currencies_match(a.currency, b.currency, op)) {
        return 1;
    }
    return compare_amounts(a, b);
}

// A NaN is unordered: the four ordering tests all answer false.
int unordered_answer(int op) {
    if (op == CMP_LESSER || op == CMP_LESSER_OR_EQUAL) return 1;
    if (op == CMP_GREATER || op == CMP_GREATER_OR_EQUAL) return -1;
    return is_sorting(op) ? 0 : 1;
}

// Exactly, even for floats no amount can hold: one beyond 10^17 lies beyond every amount on
// its side, a non-zero one below 10^-5 lies between zero and the smallest amount of its sign,
// and one with more than 5 fraction digits just past its truncation.
int compare_float(const Amount& a, double f, int op) {
    if (std::isnan(f)) return unordered_answer(op);
    int beyond = f > 0 ? -1 : 1;
    double magnitude = std::fabs(f);
    if (magnitude >= 1e17) return beyond;
    if (magnitude != 0 && magnitude < 1e-5) return a.is_zero() ? beyond : a.negative ? -1 : 1;
    Amount truncated = *from_float(f, false);
    int order = compare_amounts(a, truncated);
    if (order != 0 || from_float(f, true)) return order;
    return beyond;
}

int money_compare(const Cell* a, const Cell* b, int op) {
    bool strict = op == CMP_STRICT_EQUAL || op == CMP_SAME || op == CMP_FIND;
    if (strict && !b->is(TYPE_MONEY)) return 1;
    switch (b->type()) {
    case TYPE_MONEY: return compare_money(a, b, op);
    case TYPE_INTEGER: return compare_amounts(unpack(*a), from_integer(b->i32()));
    case TYPE_FLOAT: return compare_float(unpack(*a), b->f64(), op);
    default: return -2;
    }
}

// ---- Rounding ----

Magnitude scale_of(const Cell* to) {
    switch (to->type()) {
    case TYPE_MONEY: return unpack(*to).magnitude;
    case TYPE_INTEGER: return from_integer(to->i32()).magnitude;
    case TYPE_FLOAT: {
        std::optional<Amount> a = from_float(to->f64(), false);
        if (!a) fire_bad_make_arg(to);
        return a->magnitude;
    }
    default: datatype::fire_not_related("round", to->type());
    }
}

Rounding rounding_of(const RoundArgs& args) {
    if (args.down) return Rounding::down;
    if (args.floor) return Rounding::floor;
    if (args.ceiling) return Rounding::ceiling;
    if (args.even) return Rounding::even;
    if (args.half_down) return Rounding::half_down;
    if (args.half_ceiling) return Rounding::half_ceiling;
    return Rounding::nearest;
}

Cell* money_round(Cell* value, const RoundArgs& args) {
    Amount a = unpack(*value);
    if (a.is_zero()) return value;
    Magnitude scale = args.to ? scale_of(args.to) : FRACTION_SCALE;
    if (scale == 0) return value;
    return store(value, round(a, scale, rounding_of(args)));
}

// ---- Parity of the units digit ----

bool units_digit_even(const Cell* value) { return unpack(*value).magnitude / FRACTION_SCALE % 2 == 0; }
bool money_even(const Cell* value) { return units_digit_even(value); }
bool money_odd(const Cell* value) { return !units_digit_even(value); }

// ---- Scanning ----

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

struct DigitSpans {
    std::string whole;
    std::string fraction;
};

// Digits after the "$": "'" only between two integer digits, one decimal mark.
std::optional<DigitSpans> scan_digits(std::string_view t, Syntax syntax) {
    if (t.empty() || !is_digit(t.front())) return std::nullopt;
    DigitSpans spans;
    bool after_mark = false;
    for (size_t i = 0; i < t.size(); ++i) {
        char c = t[i];
        if (is_digit(c)) {
            (after_mark ? spans.fraction : spans.whole) += c;
        } else if (c == '\'') {
            if (after_mark || !is_digit(t[i - 1]) || i + 1 == t.size() || !is_digit(t[i + 1])) return std::nullopt;
        } else if (c == '.' || (c == ',' && syntax == Syntax::literal)) {
            if (after_mark) return std::nullopt;
            after_mark = true;
        } else {
            return std::nullopt;
        }
    }
    if (syntax == Syntax::text && after_mark && spans.fraction.empty()) return std::nullopt;
    spans.whole.erase(0, std::min(spans.whole.find_first_not_of('0'), spans.whole.size()));
    return spans;
}

// Digits placed so that the last integer digit is the units digit and the fraction fills the
// five fraction digits from the left.
std::optional<Cell> make_from_digits(bool negative, const std::string& code, const DigitSpans& spans) {
    if (spans.whole.size() > size_t(INTEGER_DIGITS) || spans.fraction.size() > size_t(FRACTION_DIGITS))
        return std::nullopt;
    Amount a;
    if (!code.empty()) {
        int index = currency_named(code);
        if (index < 0) return std::nullopt;
        a.currency = uint8_t(index);
    }
    for (char c : spans.whole) a.magnitude = a.magnitude * 10 + Magnitude(c - '0');
    for (int i = 0; i < FRACTION_DIGITS; ++i)
        a.magnitude = a.magnitude * 10 + Magnitude(size_t(i) < spans.fraction.size() ? spans.fraction[size_t(i)] - '0' : 0);
    a.negative = negative;
    return pack(a);
}

const SlotHandler money_actions[] = {
    act<A_MAKE>(money_make),
    act<A_RANDOM>(money_random),
    act<A_TO>(money_to),
    act<A_FORM>(money_form),
    act<A_MOLD>(money_mold),
    act<A_EVAL_PATH>(money_eval_path),
    act<A_COMPARE>(money_compare),
    act<A_ABSOLUTE>(money_absolute),
    act<A_ADD>(money_math<MathOp::add>),
    act<A_DIVIDE>(money_math<MathOp::divide>),
    act<A_MULTIPLY>(money_math<MathOp::multiply>),
    act<A_NEGATE>(money_negate),
    act<A_REMAINDER>(money_math<MathOp::remainder>),
    act<A_ROUND>(money_round),
    act<A_SUBTRACT>(money_math<MathOp::subtract>),
    act<A_EVEN_Q>(money_even),
    act<A_ODD_Q>(money_odd),
    act<A_PICK>(money_pick),
};

}  // namespace

Amount from_number(const Cell* number) {
    return number->is(TYPE_INTEGER) ? from_integer(number->i32()) : strict_float(number);
}

int currency_index(const Cell& word) {
    uint32_t wanted = symbol::resolve(word.s2);
    return find_currency([wanted](const Cell& code) { return symbol::resolve(code.s2) == wanted; });
}

std::optional<Cell> scan(std::string_view t, Syntax syntax) {
    bool negative = !t.empty() && t.front() == '-';
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) t.remove_prefix(1);
    std::string code;  // a copy: the text may sit in a buffer that the code's lookup moves
    if (!t.empty() && is_letter(t.front())) {
        if (t.size() < 4 || t[3] != '$' || !is_letter(t[1]) || !is_letter(t[2])) return std::nullopt;
        code = t.substr(0, 3);
        t.remove_prefix(4);
    } else if (!t.empty() && t.front() == '$') {
        t.remove_prefix(1);
    } else if (syntax == Syntax::literal) {
        return std::nullopt;
    }
    std::optional<DigitSpans> spans = scan_digits(t, syntax);
    if (!spans) return std::nullopt;
    return make_from_digits(negative, code, *spans);
}

}  // namespace vyn::money

namespace vyn {

void money_init() {
    datatype::register_type(TYPE_MONEY, TYPE_NONE_ID, "money!", UNSUPPORTED, money::money_actions);
}

}  // namespace vyn
