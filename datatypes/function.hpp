// function! and routine!: a spec, a body and a context of arguments and locals. A function cell
// holds the context node in slot 1, the spec node in slot 2 (the spec always starts at index 0)
// and the node of a five-cell extra block in slot 3: the body, the interpreter's argument-list
// cache, the routine code index, a copy of the function once an op! is made from it, and the
// maker's second value. A function context keeps its values on the argument stack while a call
// runs and has none (values slot 0) otherwise.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"
#include "core/memory.hpp"

namespace vyn {

void function_init();  // type 24, parent context!
void routine_init();   // type 29, parent function!

}  // namespace vyn

namespace vyn::function {

enum Extra : uint32_t {
    EXTRA_BODY = 0,
    EXTRA_ARGUMENTS = 1,  // the interpreter's cache; unset until it makes one
    EXTRA_CODE = 2,
    EXTRA_OP = 3,
    EXTRA_SECOND = 4,
    EXTRA_CELLS = 5,
};

// Header attribute flags of the spec.
constexpr uint32_t FLAG_TRACE = 0x400;
constexpr uint32_t FLAG_NO_TRACE = 0x200;

// Valid until the next allocation.
inline Cell* extra_of(const Cell& function) { return memory::series_of(function.s3)->cells(); }
inline Cell spec_block(const Cell& function) { return make_cell(TYPE_BLOCK, 0, function.s2, 0); }

// How a maker hands over the body: a deep copy (make), or the block itself (the func native).
enum class Body { copy, as_is };

// Pushes a new function! and returns its context node. Without a context one is made from the
// spec and the body is bound to it.
NodeId push(const Cell& spec, const Cell* body, NodeId context, uint32_t flags, Body use = Body::copy);
// Trace flags every function made from now on gets, unless its spec asks to be traced: the
// environment's functions are never traced inside.
void set_flags_for_all(uint32_t flags);
// Validates a spec for a function; returns its attribute flags.
uint32_t check_spec(const Cell& spec);
// The `function` native's rule: appends the body's locals to the spec; returns the collected words.
Cell collect_locals(const Cell& spec, const Cell& body);
// Stack cells the locals take from `start`: /local itself and each word after it; -1 when
// `required` and the spec has no /local.
int32_t count_locals(NodeId spec, uint32_t start, bool required);
// Pushes the locals' start values: false for /local, then n - 1 none.
void init_locals(int32_t n);

// Handlers of function!, shared by routine! where its row inherits.
Cell* make(Cell* proto, const Cell* spec, TypeId type);
Cell* reflect(Cell* function, const Cell* field);
int compare(const Cell* a, const Cell* b, int op);

}  // namespace vyn::function

namespace vyn::routine {

constexpr uint32_t FLAG_MAKER = 0x8000;
constexpr uint32_t ARITY_SHIFT = 25;
constexpr uint32_t ARITY_MASK = 0x1Fu << ARITY_SHIFT;

// Pushes a new routine! whose code is an index in the routine table; `second` is the maker's
// value (-1 when it has none).
Cell* push(const Cell& spec, const Cell* body, int32_t code, int32_t second, bool maker_flag);
inline uint32_t arity(const Cell& routine) { return (routine.header & ARITY_MASK) >> ARITY_SHIFT; }
// make routine! [spec name word]: a routine! running the routine table's entry of that name,
// its body the name and word; an unknown name raises `routines`, as no routine can be compiled
// at run time.
Cell* make(Cell* proto, const Cell* spec, TypeId type);
// Counts the word! items of the spec (at most 31) into the header.
void set_arity(Cell& routine);

}  // namespace vyn::routine
