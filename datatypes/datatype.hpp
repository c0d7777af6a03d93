// datatype!: values that denote a type (slot 1 holds the type id), formed by the type's name.
// Also what the handlers of every datatype share: the operator codes of the compare action,
// appending a text within the form/mold budget, and how an error names a word.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/actions_abi.hpp"
#include "core/catalog.hpp"

namespace vyn::datatype {

// Compare for types whose values have no order (unset!, none!): two values of the same type are
// equal under the equality and sorting codes; nothing else compares.
int compare_without_order(const Cell* a, const Cell* b, int op);
// Whether the code is one of those equality and sorting codes.
bool equality_or_sort_op(int op);

// Appends text to the output string of form or mold; returns the budget reduced by its length.
int32_t append_text(Cell* out, std::string_view text, int32_t budget);

// The argument of an error that names a word (an action or one of its arguments): the word!
// bound in the global context.
Cell word_arg(const char* name);

// Script error `expect-arg`: the action does not allow the value's datatype for that argument.
[[noreturn]] void fire_expect_arg(const char* action, const Cell* value, const char* argument);
// An error whose one argument is a datatype (`invalid-type`, `type-limit`...).
[[noreturn]] void fire_with_type(err::Code code, TypeId type);
// Script error `bad-to-arg`: no value of the target type can be made from the spec.
[[noreturn]] void fire_bad_to_arg(TypeId target, const Cell* spec);
// Script error `not-related`: the action has no meaning for the datatype.
[[noreturn]] void fire_not_related(const char* action, TypeId type);

}  // namespace vyn::datatype

namespace vyn {

// Registers datatype! itself (type 1) with its form, mold and compare handlers.
void datatype_init();

}  // namespace vyn
