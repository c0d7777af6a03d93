// Dispatch of form and mold through the registry, and the small writers the containers share.
// A type that has not registered its handler yet raises not-done rather than crashing.
#include "datatypes/mold.hpp"

#include "core/raise.hpp"
#include "core/type_registry.hpp"
#include "datatypes/string.hpp"

namespace vyn::mold {

int32_t mold_value(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    auto handler = datatype::handler<A_MOLD>(value->type());
    if (!handler) fire(err::not_done);
    return handler(value, out, args, part, budget);
}

int32_t form_value(const Cell* value, Cell* out, const Cell* part, int32_t budget) {
    auto handler = datatype::handler<A_FORM>(value->type());
    if (!handler) fire(err::not_done);
    return handler(value, out, part, budget);
}

int32_t emit(Cell* out, std::string_view text, int32_t budget) {
    string::concatenate_literal(out, text);
    return budget - int32_t(text.size());
}

int32_t emit_indent(Cell* out, int32_t level, int32_t budget) {
    constexpr std::string_view indent = "    ";
    for (int32_t i = 0; i < level; ++i) budget = emit(out, indent, budget);
    return budget;
}

int32_t emit_line_break(Cell* out, int32_t level, int32_t budget) {
    return emit_indent(out, level, emit(out, "\n", budget));
}

uint32_t last_char(const Cell* out) {
    uint32_t n = string::abs_length(out);
    return n ? string::abs_at(out, n - 1) : 0;
}

}  // namespace vyn::mold
