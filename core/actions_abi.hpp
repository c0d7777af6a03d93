// The action interface: 62 slots in a fixed order, each with the handler signature every datatype
// implements for it. A handler gets its arguments as cells (the first is also the result cell),
// a plain refinement as a bool, and a refinement argument as its cell or nullptr when absent.
// Handlers that produce a value write it into the result cell, or return another cell to copy.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn {

enum ActionSlot : int {
    A_MAKE = 1, A_RANDOM, A_REFLECT, A_TO, A_FORM, A_MOLD, A_EVAL_PATH, A_SET_PATH, A_COMPARE,
    A_ABSOLUTE, A_ADD, A_DIVIDE, A_MULTIPLY, A_NEGATE, A_POWER, A_REMAINDER, A_ROUND, A_SUBTRACT,
    A_EVEN_Q, A_ODD_Q, A_AND_T, A_COMPLEMENT, A_OR_T, A_XOR_T, A_APPEND, A_AT, A_BACK, A_CHANGE,
    A_CLEAR, A_COPY, A_FIND, A_HEAD, A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT,
    A_PICK, A_POKE, A_PUT, A_REMOVE, A_REVERSE, A_SELECT, A_SORT, A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q,
    A_TAKE, A_TRIM, A_CREATE, A_CLOSE, A_DELETE, A_MODIFY, A_OPEN, A_OPEN_Q, A_QUERY, A_READ,
    A_RENAME, A_UPDATE, A_WRITE,
};
constexpr int ACTION_COUNT = 62;

// Operator codes of the compare action.
enum CompareOp : int {
    CMP_EQUAL = 0,
    CMP_NOT_EQUAL = 1,
    CMP_STRICT_EQUAL = 2,
    CMP_LESSER = 3,
    CMP_LESSER_OR_EQUAL = 4,
    CMP_GREATER = 5,
    CMP_GREATER_OR_EQUAL = 6,
    CMP_SORT = 7,       // sort order ignoring case
    CMP_SORT_CASE = 8,  // sort order respecting case
    CMP_SAME = 9,
    CMP_MATCH = 10,
    CMP_MATCH_CASE = 11,
    CMP_FIND = 12,
};

// Where form and mold write: a string! cell of the output buffer.
struct MoldArgs {
    bool only;
    bool all;
    bool flat;
    int32_t indent;
};

// The location record of one path step: the path value, its parent and the step's position.
struct PathStep {
    const Cell* path;
    const Cell* parent;
    const Cell* previous;  // the previous element, or nullptr
    int32_t position;
    bool case_sensitive;
    bool last;
    bool notify;
};

struct FindArgs {
    const Cell* part;
    bool only;
    bool case_sensitive;
    bool same;
    bool any;
    const Cell* with;
    const Cell* skip;
    bool last;
    bool reverse;
    bool tail;
    bool match;
};

struct RoundArgs {
    const Cell* to;
    bool even, down, half_down, floor, ceiling, half_ceiling;
};

struct SortArgs {
    bool case_sensitive;
    const Cell* skip;
    const Cell* compare;
    const Cell* part;
    bool all;
    bool reverse;
    bool stable;
};

namespace action {
using Make = Cell* (*)(Cell* proto, const Cell* spec, TypeId type);
using Random = Cell* (*)(Cell* value, bool seed, bool secure, bool only);
using Reflect = Cell* (*)(Cell* value, const Cell* field);
using To = Cell* (*)(Cell* proto, const Cell* spec, TypeId type);
// Form and mold append to the output string and return the budget minus what they wrote.
using Form = int32_t (*)(const Cell* value, Cell* out, const Cell* part, int32_t budget);
using Mold = int32_t (*)(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part,
                         int32_t budget);
// Path access: the value of `element` in `parent`, or stores `value` when it is not null.
using EvalPath = Cell* (*)(Cell* parent, const Cell* element, const Cell* value, const PathStep& step);
using SetPath = EvalPath;
// -1, 0 or 1; -2 when the values cannot be compared.
using Compare = int (*)(const Cell* a, const Cell* b, int op);
using Unary = Cell* (*)(Cell* value);
using Binary = Cell* (*)(Cell* left, const Cell* right);
using Round = Cell* (*)(Cell* value, const RoundArgs& args);
using Predicate = bool (*)(const Cell* value);
using Insert = Cell* (*)(Cell* series, const Cell* value, const Cell* part, bool only, const Cell* dup);
using At = Cell* (*)(Cell* series, const Cell* index);
using Copy = Cell* (*)(Cell* value, const Cell* part, bool deep, const Cell* types);
using Find = Cell* (*)(Cell* series, const Cell* value, const FindArgs& args);
using Length = int32_t (*)(const Cell* series);  // -1: no length (none)
using Move = Cell* (*)(Cell* origin, const Cell* target, const Cell* part);
using Pick = Cell* (*)(Cell* series, int32_t index, const Cell* index_value);
using Poke = Cell* (*)(Cell* series, int32_t index, const Cell* index_value, const Cell* value);
using Put = Cell* (*)(Cell* series, const Cell* key, const Cell* value, bool case_sensitive);
using Remove = Cell* (*)(Cell* series, const Cell* part, const Cell* key);
using Reverse = Cell* (*)(Cell* series, const Cell* part, const Cell* skip);
using Sort = Cell* (*)(Cell* series, const SortArgs& args);
using Swap = Cell* (*)(Cell* series1, const Cell* series2);
using Take = Cell* (*)(Cell* series, const Cell* part, bool deep, bool last);
using Trim = Cell* (*)(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                       const Cell* with);
using Modify = Cell* (*)(Cell* target, const Cell* field, const Cell* value, bool case_sensitive);
using Open = Cell* (*)(Cell* port, bool new_, bool read, bool write, bool seek, const Cell* allow);
using Read = Cell* (*)(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines,
                       bool info, const Cell* as);
using Write = Cell* (*)(Cell* destination, const Cell* data, bool binary, bool lines, bool info,
                        bool append, const Cell* part, const Cell* seek, const Cell* allow,
                        const Cell* as);
using Rename = Cell* (*)(Cell* from, const Cell* to);
}  // namespace action

// The signature of each slot.
template <int Slot> struct ActionSignature;
#define VYN_ACTION_SIGNATURE(slot, type) \
    template <> struct ActionSignature<slot> { using Fn = type; }
VYN_ACTION_SIGNATURE(A_MAKE, action::Make);
VYN_ACTION_SIGNATURE(A_RANDOM, action::Random);
VYN_ACTION_SIGNATURE(A_REFLECT, action::Reflect);
VYN_ACTION_SIGNATURE(A_TO, action::To);
VYN_ACTION_SIGNATURE(A_FORM, action::Form);
VYN_ACTION_SIGNATURE(A_MOLD, action::Mold);
VYN_ACTION_SIGNATURE(A_EVAL_PATH, action::EvalPath);
VYN_ACTION_SIGNATURE(A_SET_PATH, action::SetPath);
VYN_ACTION_SIGNATURE(A_COMPARE, action::Compare);
VYN_ACTION_SIGNATURE(A_ABSOLUTE, action::Unary);
VYN_ACTION_SIGNATURE(A_ADD, action::Binary);
VYN_ACTION_SIGNATURE(A_DIVIDE, action::Binary);
VYN_ACTION_SIGNATURE(A_MULTIPLY, action::Binary);
VYN_ACTION_SIGNATURE(A_NEGATE, action::Unary);
VYN_ACTION_SIGNATURE(A_POWER, action::Binary);
VYN_ACTION_SIGNATURE(A_REMAINDER, action::Binary);
VYN_ACTION_SIGNATURE(A_ROUND, action::Round);
VYN_ACTION_SIGNATURE(A_SUBTRACT, action::Binary);
VYN_ACTION_SIGNATURE(A_EVEN_Q, action::Predicate);
VYN_ACTION_SIGNATURE(A_ODD_Q, action::Predicate);
VYN_ACTION_SIGNATURE(A_AND_T, action::Binary);
VYN_ACTION_SIGNATURE(A_COMPLEMENT, action::Unary);
VYN_ACTION_SIGNATURE(A_OR_T, action::Binary);
VYN_ACTION_SIGNATURE(A_XOR_T, action::Binary);
VYN_ACTION_SIGNATURE(A_APPEND, action::Insert);
VYN_ACTION_SIGNATURE(A_AT, action::At);
VYN_ACTION_SIGNATURE(A_BACK, action::Unary);
VYN_ACTION_SIGNATURE(A_CHANGE, action::Insert);
VYN_ACTION_SIGNATURE(A_CLEAR, action::Unary);
VYN_ACTION_SIGNATURE(A_COPY, action::Copy);
VYN_ACTION_SIGNATURE(A_FIND, action::Find);
VYN_ACTION_SIGNATURE(A_HEAD, action::Unary);
VYN_ACTION_SIGNATURE(A_HEAD_Q, action::Predicate);
VYN_ACTION_SIGNATURE(A_INDEX_Q, action::Length);
VYN_ACTION_SIGNATURE(A_INSERT, action::Insert);
VYN_ACTION_SIGNATURE(A_LENGTH_Q, action::Length);
VYN_ACTION_SIGNATURE(A_MOVE, action::Move);
VYN_ACTION_SIGNATURE(A_NEXT, action::Unary);
VYN_ACTION_SIGNATURE(A_PICK, action::Pick);
VYN_ACTION_SIGNATURE(A_POKE, action::Poke);
VYN_ACTION_SIGNATURE(A_PUT, action::Put);
VYN_ACTION_SIGNATURE(A_REMOVE, action::Remove);
VYN_ACTION_SIGNATURE(A_REVERSE, action::Reverse);
VYN_ACTION_SIGNATURE(A_SELECT, action::Find);
VYN_ACTION_SIGNATURE(A_SORT, action::Sort);
VYN_ACTION_SIGNATURE(A_SKIP, action::At);
VYN_ACTION_SIGNATURE(A_SWAP, action::Swap);
VYN_ACTION_SIGNATURE(A_TAIL, action::Unary);
VYN_ACTION_SIGNATURE(A_TAIL_Q, action::Predicate);
VYN_ACTION_SIGNATURE(A_TAKE, action::Take);
VYN_ACTION_SIGNATURE(A_TRIM, action::Trim);
VYN_ACTION_SIGNATURE(A_CREATE, action::Unary);
VYN_ACTION_SIGNATURE(A_CLOSE, action::Unary);
VYN_ACTION_SIGNATURE(A_DELETE, action::Unary);
VYN_ACTION_SIGNATURE(A_MODIFY, action::Modify);
VYN_ACTION_SIGNATURE(A_OPEN, action::Open);
VYN_ACTION_SIGNATURE(A_OPEN_Q, action::Predicate);
VYN_ACTION_SIGNATURE(A_QUERY, action::Unary);
VYN_ACTION_SIGNATURE(A_READ, action::Read);
VYN_ACTION_SIGNATURE(A_RENAME, action::Rename);
VYN_ACTION_SIGNATURE(A_UPDATE, action::Unary);
VYN_ACTION_SIGNATURE(A_WRITE, action::Write);
#undef VYN_ACTION_SIGNATURE

// What fills one action slot: a handler, or one of the two markers.
struct Handler {
    using Generic = void (*)();
    Generic fn;
    intptr_t marker;  // 0 for a handler, else UNSUPPORTED or INHERIT
};
constexpr intptr_t HANDLER_UNSUPPORTED = 1;
constexpr intptr_t HANDLER_INHERIT = 2;
constexpr Handler UNSUPPORTED{nullptr, HANDLER_UNSUPPORTED};
constexpr Handler INHERIT{nullptr, HANDLER_INHERIT};

// One entry of a registration list: the slot it fills and what fills it.
struct SlotHandler {
    int slot;
    Handler handler;
};

// A handler for a slot, checked against the slot's signature at compile time.
template <int Slot>
SlotHandler act(typename ActionSignature<Slot>::Fn fn) {
    return SlotHandler{Slot, Handler{reinterpret_cast<Handler::Generic>(fn), 0}};
}

// A marker at the slot it names, where a list's `rest` does not hold: a slot left unsupported in
// a list whose other slots inherit, or inherited in one whose others are unsupported.
template <int Slot>
constexpr SlotHandler unsupported_at() {
    static_assert(Slot >= A_MAKE && Slot <= ACTION_COUNT);
    return SlotHandler{Slot, UNSUPPORTED};
}
template <int Slot>
constexpr SlotHandler inherited_at() {
    static_assert(Slot >= A_MAKE && Slot <= ACTION_COUNT);
    return SlotHandler{Slot, INHERIT};
}

}  // namespace vyn
