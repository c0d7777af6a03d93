// The word family's handlers and tables, and symbol!'s. The five word types differ only in how
// they mold, so this one file holds the shared handlers, word!'s action list, and the lists of
// set-word!, lit-word!, get-word! and refinement!, which inherit all but mold from word!. Handlers
// copy what they need from their argument cells before anything allocates: a cell in a block can
// move when the block's buffer does.
#include "datatypes/word.hpp"

#include <string>

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/unicode.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/string.hpp"

namespace vyn::word {
namespace {

TextLoader text_loader = nullptr;

// The first value of the text, unset when it holds none; with `only`, also unset when it holds
// more than one.
Cell loaded_value(const Cell& text, bool only) {
    if (!text_loader) return unset_cell();
    Cell values = text_loader(text);
    uint32_t count = block::vs_length(&values);
    return count == 0 || (only && count > 1) ? unset_cell() : *block::vs_head(&values);
}

}  // namespace

Cell from_symbol(uint32_t symbol, TypeId type) {
    Cell word = context::add_global_word(symbol, true, true);
    word.header = type;
    return word;
}

Cell load(std::string_view name, TypeId type) { return from_symbol(symbol::make(name), type); }

Cell load_refinement(std::string_view name) {
    return make_cell(TYPE_REFINEMENT, 0, symbol::make(name), NO_INDEX);
}

Cell get(const Cell& word) {
    const Cell w = word;
    Cell value = get_any(w);
    if (value.is(TYPE_UNSET)) fire(err::no_value, &w);
    return value;
}

Cell get_any(const Cell& word) { return *context::get(word); }

void set(const Cell& word, const Cell& value, bool allow_unset) {
    const Cell w = word;
    if (value.is(TYPE_UNSET) && !allow_unset) fire(err::need_value, &w);
    if (w.s1 == 0) fire(err::not_defined, &w);
    context::set(w, value);
}

Cell written_text(uint32_t symbol) { return unicode::string_cell(symbol::get(symbol).s2); }

TypeId scan_type(const Cell& word) { return loaded_value(written_text(word.s2), true).type(); }

void set_text_loader(TextLoader loader) { text_loader = loader; }

Cell load_values(const Cell& text) {
    if (!text_loader) fire(err::not_done);
    return text_loader(text);
}

namespace {

// The first value of the text, which must be of the word types.
Cell word_of_text(const Cell& text) {
    Cell value = loaded_value(text, false);
    if (!any_word(value.type())) fire(err::invalid_chars);
    return value;
}

Cell word_of_char(uint32_t code_point) {
    Rooted text(string::make(1, string::unit_for_append(code_point)));
    string::append_char(text->s2, code_point);
    return word_of_text(*text);
}

bool names_word(const Cell& value) {
    TypeId type = scan_type(value);
    return type >= TYPE_WORD && type <= TYPE_GET_WORD;
}

Cell word_of(const Cell& spec, TypeId target) {
    switch (spec.type()) {
    case TYPE_DATATYPE:
        return load(datatype::name_of(TypeId(spec.s1)));
    case TYPE_LOGIC:
        return load(spec.s1 ? "true" : "false");
    case TYPE_STRING:
        return word_of_text(spec);
    case TYPE_CHAR:
        return word_of_char(spec.s2);
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        return spec;
    case TYPE_REFINEMENT: case TYPE_ISSUE:
        // The spelling must read back as one word ("#a b" does not convert). The word is bound
        // even when the global context does not know it yet: without a context it could be
        // neither read nor set.
        if (names_word(spec)) return from_symbol(spec.s2);
        break;
    default:
        break;
    }
    datatype::fire_bad_to_arg(target, &spec);
}

int32_t form_symbol(uint32_t symbol, Cell* out, int32_t budget) {
    const Cell text = written_text(symbol);
    string::append_string(out, &text);
    return budget - int32_t(string::length(&text));
}

}  // namespace

Cell* make(Cell* proto, const Cell* spec, TypeId type) {
    const Cell from = *spec;
    Cell word = word_of(from, type);
    word.header = type;
    *proto = word;
    return proto;
}

int32_t form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    return form_symbol(value->s2, out, budget);
}

int32_t mold_affixed(const Cell* value, Cell* out, std::string_view prefix, std::string_view suffix,
                     int32_t budget) {
    const uint32_t symbol = value->s2;
    budget = datatype::append_text(out, prefix, budget);
    budget = form_symbol(symbol, out, budget);
    return datatype::append_text(out, suffix, budget);
}

namespace {

bool word_and_lit_word(const Cell& a, const Cell& b) {
    TypeId x = a.type(), y = b.type();
    return (x == TYPE_WORD && y == TYPE_LIT_WORD) || (x == TYPE_LIT_WORD && y == TYPE_WORD);
}

int differ(bool different) { return different ? 1 : 0; }

int same_spelling(const Cell& a, const Cell& b) { return differ(a.type() != b.type() || a.s2 != b.s2); }

int same_name(const Cell& a, const Cell& b) { return differ(symbol::resolve(a.s2) != symbol::resolve(b.s2)); }

// Orders two texts the way string! does under the operator code.
int compare_texts(const Cell& a, const Cell& b, int op) { return string::equal(&a, &b, op, false); }

}  // namespace

int compare(const Cell* a, const Cell* b, int op) {
    const Cell x = *a;
    const Cell y = *b;
    if (!any_word(y.type()) || (y.is(TYPE_ISSUE) && !x.is(TYPE_ISSUE))) return -2;
    switch (op) {
    case CMP_SAME:
        return differ(x.type() != y.type() || x.s2 != y.s2 || x.s1 != y.s1);
    case CMP_MATCH:
        return word_and_lit_word(x, y) ? differ(x.s2 != y.s2) : same_spelling(x, y);
    case CMP_STRICT_EQUAL:
        return same_spelling(x, y);
    case CMP_MATCH_CASE:
        return word_and_lit_word(x, y) ? same_name(x, y) : differ(x.type() != y.type()) | same_name(x, y);
    case CMP_EQUAL: case CMP_NOT_EQUAL: case CMP_FIND:
        return same_name(x, y);
    default:
        return compare_texts(written_text(x.s2), written_text(y.s2), op);
    }
}

namespace {

int32_t index_of(const Cell* word) { return int32_t(word->s3) < 0 ? -1 : int32_t(word->s3) + 1; }

struct Affixes {
    std::string_view prefix;
    std::string_view suffix;
};

constexpr Affixes affixes_of(TypeId type) {
    switch (type) {
    case TYPE_SET_WORD: return {"", ":"};
    case TYPE_LIT_WORD: return {"'", ""};
    case TYPE_GET_WORD: return {":", ""};
    case TYPE_REFINEMENT: return {"/", ""};
    default: return {"", ""};
    }
}

template <TypeId Type>
int32_t family_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell*, int32_t budget) {
    constexpr Affixes affixes = affixes_of(Type);
    return mold_affixed(value, out, affixes.prefix, affixes.suffix, budget);
}

// A symbol! cell's written form: its cached string, or a new string of its name.
Cell symbol_text(const Cell& symbol) {
    if (symbol.s2) return unicode::string_cell(symbol.s2);
    const std::string name(symbol::name_of(symbol));
    return string::from_utf8(name);
}

int symbol_compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_SYMBOL)) return -2;
    const Cell y = *b;
    Rooted x(symbol_text(*a));
    return compare_texts(*x, symbol_text(y), op);
}

const SlotHandler symbol_actions[] = {
    act<A_COMPARE>(symbol_compare),
};

const SlotHandler word_actions[] = {
    act<A_MAKE>(make),
    act<A_TO>(make),
    act<A_FORM>(form),
    act<A_MOLD>(family_mold<TYPE_WORD>),
    act<A_COMPARE>(compare),
    act<A_INDEX_Q>(index_of),
};

// The other members inherit make, to, form and compare from word!, and index? except refinement!.
template <TypeId Type>
void register_member(const char* name) {
    const SlotHandler actions[] = {
        inherited_at<A_MAKE>(),
        inherited_at<A_TO>(),
        inherited_at<A_FORM>(),
        act<A_MOLD>(family_mold<Type>),
        inherited_at<A_COMPARE>(),
        Type == TYPE_REFINEMENT ? unsupported_at<A_INDEX_Q>() : inherited_at<A_INDEX_Q>(),
    };
    datatype::register_type(Type, TYPE_WORD, name, UNSUPPORTED, actions);
}

}  // namespace
}  // namespace vyn::word

namespace vyn {

void word_init() {
    datatype::register_type(TYPE_SYMBOL, TYPE_NONE_ID, "symbol!", UNSUPPORTED, word::symbol_actions);
    datatype::register_type(TYPE_WORD, TYPE_SYMBOL, "word!", UNSUPPORTED, word::word_actions);
    word::register_member<TYPE_LIT_WORD>("lit-word!");
    word::register_member<TYPE_SET_WORD>("set-word!");
    word::register_member<TYPE_GET_WORD>("get-word!");
    word::register_member<TYPE_REFINEMENT>("refinement!");
}

}  // namespace vyn
