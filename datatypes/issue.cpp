// issue! handlers: made from any text without checking its characters, molded with "#", and
// compared only with other issues (then as words are, so letter case counts only under
// strict-equal?). Form comes from word!; everything else is unsupported.
#include "datatypes/issue.hpp"

#include "core/context.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/utf8.hpp"
#include "datatypes/word.hpp"

namespace vyn::issue {
namespace {

Cell of_symbol(uint32_t symbol) { return make_cell(TYPE_ISSUE, context::global(), symbol, word::NO_INDEX); }

uint32_t symbol_of_char(uint32_t code_point) {
    uint8_t bytes[4];
    int length = unicode::encode_utf8(code_point, bytes);
    return symbol::make({reinterpret_cast<const char*>(bytes), size_t(length)});
}

}  // namespace

Cell load(std::string_view name) { return of_symbol(symbol::make(name)); }

namespace {

Cell* issue_make(Cell* proto, const Cell* spec, TypeId type) {
    Cell from = *spec;
    if (from.is(TYPE_STRING)) {
        *proto = of_symbol(symbol::make_from_string(from));
    } else if (from.is(TYPE_CHAR)) {
        *proto = of_symbol(symbol_of_char(from.s2));
    } else if (word::any_word(from.type())) {
        *proto = from;
    } else {
        word::make(proto, &from, type);
    }
    proto->header = TYPE_ISSUE;
    return proto;
}

int32_t issue_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell*, int32_t budget) {
    return word::mold_affixed(value, out, "#", "", budget);
}

int issue_compare(const Cell* a, const Cell* b, int op) {
    return b->is(TYPE_ISSUE) ? word::compare(a, b, op) : -2;
}

const SlotHandler issue_actions[] = {
    act<A_MAKE>(issue_make),
    act<A_TO>(issue_make),
    inherited_at<A_FORM>(),
    act<A_MOLD>(issue_mold),
    act<A_COMPARE>(issue_compare),
};

}  // namespace
}  // namespace vyn::issue

namespace vyn {

void issue_init() {
    datatype::register_type(TYPE_ISSUE, TYPE_WORD, "issue!", UNSUPPORTED, issue::issue_actions);
}

}  // namespace vyn
