// error!: an object of class 1 with the fields of the prototype `system/standard/error` (code,
// type, id, arg1-arg3, near, where, stack, files). Its category and id words are bound to the
// catalogue objects of `system/catalog/errors`, which exist before anything can raise: the
// raiser installed here builds every error! through `create` and throws it.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"
#include "core/catalog.hpp"

namespace vyn {

// Registers error! (type 34, parent object!), installs the raiser and the uncaught-error report.
void error_init();

}  // namespace vyn

namespace vyn::error {

constexpr uint32_t CLASS_ID = 1;

// Field indexes, in the prototype's order.
enum Field : uint32_t {
    FIELD_CODE = 0, FIELD_TYPE, FIELD_ID, FIELD_ARG1, FIELD_ARG2, FIELD_ARG3, FIELD_NEAR,
    FIELD_WHERE, FIELD_STACK, FIELD_FILES, FIELD_COUNT,
};
inline uint32_t stack_index() { return FIELD_STACK; }

// The field's value cell; valid until the next allocation.
Cell* field(const Cell& error, Field f);

// A new error from its category and id words (each bound or not) and up to three arguments.
Cell create(const Cell& category, const Cell& id, const Cell* arg1, const Cell* arg2, const Cell* arg3);
// The same from a catalogue code.
Cell create(err::Code code, const Cell* arg1, const Cell* arg2, const Cell* arg3);
// Raises the error of the code: the raiser every `fire` goes through.
[[noreturn]] void raise(err::Code code, const Cell* arg1, const Cell* arg2, const Cell* arg3);

// Writes the error's report to standard error and ends the process with the status.
[[noreturn]] void report_and_exit(const Cell& error, int status);
// Stores `value` in `where` unless it already holds something other than none.
void set_where(const Cell& error, const Cell& value);
uint32_t category_symbol(const Cell& error);
uint32_t id_symbol(const Cell& error);
// Turns an integer `stack` field into a block of the call words between frame `from` (counted
// from the bottom frame) and the recorded position.
void capture_stack(const Cell& error, uint32_t from);
// The n-th (from 0) argument word of the function being called, or the word <anon>.
Cell call_argument(int32_t n);
// The word of the nearest call frame, or <not-found>.
Cell call_word();
// Writes a message template reduced with the error's fields; returns the remaining budget.
int32_t reduce_message(const Cell& message, Cell* out, const Cell& error, int32_t budget);

// Handlers.
Cell* make(Cell* proto, const Cell* spec, TypeId type);
int32_t form(const Cell* error, Cell* out, const Cell* part, int32_t budget);
int32_t mold(const Cell* error, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget);
Cell* eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step);
int compare(const Cell* a, const Cell* b, int op);

}  // namespace vyn::error
