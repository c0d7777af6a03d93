// Analysed blocks. An analysis is made of nodes, one per expression met: the code cell it starts
// with, what that cell was found to be, and for a call the callee's value and argument checks.
// Before a node is used its cell is compared with the block's, and a callee or operator word's
// value with the one analysed; a node that no longer fits hands its expression to the
// interpreter, so frames, errors and results are exactly the general path's. Each node is
// allocated on its own and kept until the analysis goes: a running expression holds its nodes
// while code it calls may analyse more of the same block.
#include "eval/plan.hpp"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/typeset.hpp"
#include "eval/interp.hpp"
#include "eval/interp_internal.hpp"
#include "eval/native_support.hpp"
#include "eval/number_ops.hpp"

namespace vyn::plan {

namespace {

using interp::cells_of;

constexpr uint32_t UNKNOWN = ~0u;  // where an expression the analysis leaves alone ends
// Misses tolerated before a statement is analysed afresh, and nodes per code cell after which
// a block stops being analysed again (code that keeps changing under its analysis).
constexpr uint32_t MISS_LIMIT = 8;
constexpr uint32_t NODES_PER_CELL = 32;

enum class Kind : uint8_t {
    general,   // left to the interpreter
    constant,  // a value that is its own result
    word,      // a word whose value is not called
    set_word,
    call,      // a word whose value is a function, native or action of evaluated arguments
    path_call, // the same through a path of refinements, each of evaluated arguments
    field,     // a path of an object word and a field word, the field's value not called
    method,    // the same, the field holding a function, native or action of evaluated arguments
    paren,
};

// Where a directly read operand's value lies.
enum class Place : uint8_t { none, constant, global, frame };

struct Node;

// Pushes a call's argument without a step of its own, with `pos` after it; false, having done
// nothing, when the code or values are not as analysed.
using PushArgument = bool (*)(const Node& node, const Cell& code, uint32_t end, uint32_t& pos);
bool push_plain_value(const Node& node, const Cell& code, uint32_t end, uint32_t& pos);
bool push_binary_value(const Node& node, const Cell& code, uint32_t end, uint32_t& pos);
bool push_lone_word(const Node& node, const Cell& code, uint32_t end, uint32_t& pos);

// An infix operator after a value and the operand on its right.
struct Step {
    Cell word{};
    Cell op{};  // the word's op! value
    interp::NumberOp number{};
    bool framed = false;  // a native or action of two evaluated arguments: called here
    Cell left_entry{};
    Cell right_entry{};
    uint64_t left_accepts = 0;  // the types each entry accepts, a bit per type id
    uint64_t right_accepts = 0;
    const Node* right = nullptr;
};

// A refinement used by a path call: its frame slot (a function's) or number (a native's), and
// its arguments, which follow the call's own in `Node::entries`.
struct Refinement {
    uint32_t at = 0;
    uint32_t first = 0;
    uint32_t count = 0;
};

// An `a op b` expression's cells, operator and operand places side by side, for its direct read.
struct Binary {
    Cell cells[3]{};  // the left operand, the operator word, the right operand
    Cell op{};        // the operator word's op! value
    interp::NumberOp number{};
    Place left = Place::none;
    Place right = Place::none;
};

struct Node {
    Kind kind = Kind::general;
    bool native = false;   // call: a native or action, else a function or routine
    bool routine = false;  // call: a routine, its frame a native's, its slots a function's
    natives::Conditional conditional = natives::Conditional::none;  // call: run without the natives table
    uint32_t pos = 0;     // the first cell
    uint32_t next = 0;    // after the value and its arguments
    uint32_t end = 0;     // after the operators too, or UNKNOWN
    uint32_t statement = 0;  // the position from the block's start of the statement analysed with it
    Cell cell{};          // the code cell at pos
    Cell callee{};        // call: the value called
    Cell name{};          // call: the word that names it (the path's head, or a method's field)
    std::vector<Cell> entries;       // call: the arguments' list entries
    std::vector<uint64_t> accepts;   // call: the types each entry accepts, a bit per type id
    std::vector<const Node*> args;   // call: the arguments analysed (the rest end unknown); set-word: the value
    std::vector<Cell> locals;        // function call: the values its other slots start with
    std::vector<Step> steps;
    PushArgument push_argument = nullptr;  // call argument: its shortcut, if any
    bool frameless = false;     // a constant or word with no operator after it, or a set-word of a
                                // value running no code
    bool binary = false;        // a number operator between two lone constants or words
    bool direct = false;        // binary: its operator bound to the global context, each operand a constant or a
                                // word bound there or to a function's context
    Place place = Place::none;  // a constant's, or a word's (a value's, a callee's, a path's head) read directly
    Binary operands;            // binary
    uint32_t fixed = 0;                  // call: the arguments before any refinement's
    std::vector<Refinement> refinements; // path call
    std::vector<Cell> path;              // path call, field, method: the path's values from its index
    NodeId object = 0;                   // field, method: the object's context
    uint32_t field_index = 0;            // field, method: the field's value index in it
};

struct Plan {
    NodeId block = 0;
    uint32_t start = 0;
    uint32_t uses = 0;
    uint32_t active = 0;  // runs and analyses in progress
    uint32_t misses = 0;
    bool retired = false;  // dropped by the collector while running: freed when the last run ends
    std::vector<const Node*> statement_at;  // by position from start; nullptr when not analysed yet
    std::vector<std::unique_ptr<Node>> nodes;
};

// Markers in statement_at: a statement known to need the general path, and a call analysed
// before its callee had an argument list.
const Node general_statement;
const Node retry_statement;

std::vector<Plan*> by_node;  // the analysis of each block node, or nullptr
std::vector<Plan*> plans;    // every analysis reachable from by_node
std::vector<Plan*> retired;  // dropped while running

// Keeps an analysis while it runs: one a collection drops meanwhile is freed when its last run ends.
struct Running {
    explicit Running(Plan& p) : plan(p) { ++plan.active; }
    ~Running() {
        if (--plan.active == 0 && plan.retired) {
            std::erase(retired, &plan);
            delete &plan;
        }
    }
    Plan& plan;
};

// Refinement slots of a native called without a path: none is used.
constexpr auto no_refinements = [] {
    std::array<int32_t, interp::MAX_REFINEMENTS> r{};
    r.fill(-1);
    return r;
}();

// Whether two cells hold the same bits: one 16-byte compare.
inline bool same(const Cell& a, const Cell& b) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&a));
    __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&b));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(x, y)) == 0xFFFF;
}

// False for a value that cannot name an operator: anything but a word, or a bound word whose
// value is not an op!. The common case of a statement followed by another's word ends here.
[[gnu::always_inline]] inline bool may_be_operator(const Cell& v) {
    if (!v.is(TYPE_WORD)) return false;
    const Cell* value = context::bound_value(v);
    return !value || value->is(TYPE_OP);
}

// Whether a code cell is a word whose value is an op!.
inline bool names_operator(const Cell& v) { return v.is(TYPE_WORD) && interp::operator_value(v); }

// The types a word's value is not given as: called (a callable) or raising (unset!, op!).
constexpr uint64_t NOT_GIVEN = 1ull << TYPE_NATIVE | 1ull << TYPE_ACTION | 1ull << TYPE_FUNCTION |
                               1ull << TYPE_ROUTINE | 1ull << TYPE_UNSET | 1ull << TYPE_OP;
static_assert(TYPE_COUNT <= 64);

// The value cell a word gives as it is: nullptr when it has none, or one that is called or raises.
inline const Cell* given(const Cell* value) {
    return value && !((1ull << value->type()) & NOT_GIVEN) ? value : nullptr;
}

// The value cell of an object's field by its value index, or nullptr.
inline const Cell* field_value(NodeId object, uint32_t index) {
    const Cell& c = context::context_cell(object);
    if (c.has_flag(FLAG_CONTEXT_ON_STACK)) return nullptr;
    Series* values = memory::series_of(c.s2);
    return index < interp::cell_count(values) ? values->cells() + index : nullptr;
}

// The op! value of an operator word as analysed: read through its binding, as the value of a
// word the analysis found bound; nullptr when it is not that value any more.
inline const Cell* same_operator(const Step& step) {
    const Cell* op = context::bound_value(step.word);
    return op && same(*op, step.op) ? op : nullptr;
}

// ---- Analysis ----

// The argument list of a callable. A native's or action's is made when missing, as its spec
// is known to be sound; a function's is used only once the interpreter has made it, since making
// it may raise where the general path would not.
NodeId analysed_list(const Cell& fn) {
    if (fn.is(TYPE_NATIVE) || fn.is(TYPE_ACTION)) return interp::arg_list_of(fn);
    Cell cached = interp::extra_of(fn)[interp::EXTRA_ARGS];
    return cached.is(TYPE_BLOCK) ? cached.s2 : 0;
}

// The entries of the arguments a call fetches from list index `from` on (its own from 0, a
// refinement's after it), as the interpreter's argument fetch walks them, and the list index
// after them; false when one is not an evaluated argument.
bool evaluated_arguments(NodeId list, uint32_t from, std::vector<Cell>& entries, uint32_t& after) {
    uint32_t n = interp::list_length(list);
    uint32_t i = from;
    for (; i < n; ++i) {
        Cell e = interp::list_entry(list, i);
        if (!e.is(TYPE_TYPESET)) break;
        typeset::ArgClass cls = typeset::arg_class(e);
        if (cls == typeset::ARG_RETURN) continue;
        if (cls != typeset::ARG_EVALUATED) return false;
        entries.push_back(e);
    }
    after = i;
    return true;
}

// Reads the code and the words' values as they are, running nothing. Making a native's
// argument list may collect: the plan is marked running meanwhile, and cells are read afresh.
class Analyser {
public:
    Analyser(Plan& plan, const Cell& code, uint32_t end, uint32_t statement, uint32_t depth = 0)
        : plan_(plan), code_(code), end_(end), statement_(statement), depth_(depth) {}

    // The node of the expression at pos; its `end` tells where the next one starts. Beyond
    // MAX_DEPTH nested expressions (deep or self-containing code) the rest is left to the
    // interpreter, which checks its own depth as it runs.
    const Node* expression(uint32_t pos, bool no_infix) {
        plan_.nodes.push_back(std::make_unique<Node>());
        Node& node = *plan_.nodes.back();
        node.pos = pos;
        node.statement = statement_;
        node.cell = cells_of(code_)[pos];
        node.next = pos + 1;
        if (depth_ >= MAX_DEPTH) {
            node.end = UNKNOWN;
            return &node;
        }
        ++depth_;
        value(node);
        --depth_;
        node.place = place_of(node);
        node.end = node.kind == Kind::general ? UNKNOWN : node.next;
        if (!no_infix && node.end != UNKNOWN) operators(node);
        node.frameless = node.kind == Kind::set_word ? settled(*node.args[0]) : lone(node);
        node.binary = plain_operands(node) && node.steps.size() == 1;
        node.direct = node.binary && node.place != Place::none && node.steps[0].right->place != Place::none &&
                      global_word(node.steps[0].word);
        if (node.binary) node.operands = binary_of(node);
        if (node.binary) node.push_argument = push_binary_value;
        else if (number_steps(node)) node.push_argument = push_plain_value;
        else if (node.kind == Kind::word && node.frameless) node.push_argument = push_lone_word;
        return &node;
    }

private:
    static bool global_word(const Cell& word) {
        return word.is(TYPE_WORD) && word.s1 == context::global() && int32_t(word.s3) >= 0;
    }
    static Place place_of(const Node& node) {
        bool through_path = node.kind == Kind::path_call || node.kind == Kind::field || node.kind == Kind::method;
        const Cell& word = through_path ? node.path[0] : node.cell;
        if (node.kind == Kind::constant) return Place::constant;
        if (node.kind != Kind::word && node.kind != Kind::call && !through_path) return Place::none;
        if (global_word(word)) return Place::global;
        bool frame = word.s1 && int32_t(word.s3) >= 0 && context::context_cell(word.s1).has_flag(FLAG_CONTEXT_ON_STACK);
        return frame ? Place::frame : Place::none;
    }

    static Binary binary_of(const Node& node) {
        const Step& step = node.steps[0];
        return Binary{{node.cell, step.word, step.right->cell}, step.op, step.number, node.place, step.right->place};
    }

    static bool lone(const Node& node) {
        return (node.kind == Kind::constant || node.kind == Kind::word) && node.steps.empty();
    }

    // Whether a set-word's value ran no code as analysed: a plain number expression, a lone value
    // or word, or a lone field.
    static bool settled(const Node& node) {
        return plain_operands(node) || lone(node) || (node.kind == Kind::field && node.steps.empty());
    }

    static bool number_steps(const Node& node) {
        return (node.kind == Kind::constant || node.kind == Kind::word) && !node.steps.empty() &&
               std::all_of(node.steps.begin(), node.steps.end(),
                           [](const Step& s) { return s.number.kind != interp::NumberOp::none; });
    }

    // Whether an expression was a plain number expression when analysed: a value, then number
    // operators each with a value on its right.
    static bool plain_operands(const Node& node) {
        if (node.kind != Kind::constant && node.kind != Kind::word) return false;
        return std::all_of(node.steps.begin(), node.steps.end(), [](const Step& s) {
            return s.number.kind != interp::NumberOp::none && lone(*s.right);
        });
    }

    void value(Node& node) {
        switch (node.cell.type()) {
        case TYPE_WORD: word(node); return;
        case TYPE_SET_WORD:
            if (node.next < end_) {
                node.args.push_back(expression(node.next, false));
                node.kind = Kind::set_word;
                node.next = node.args[0]->end;
            }
            return;
        case TYPE_PAREN: paren(node); return;
        case TYPE_PATH: path(node); return;
        default:
            if (!interp::needs_step(node.cell.type())) node.kind = Kind::constant;
            return;
        }
    }

    // A paren of one expression is analysed with the expression it is in.
    void paren(Node& node) {
        node.kind = Kind::paren;
        uint32_t length = interp::length_of(node.cell);
        if (node.cell.s1 >= length) return;
        const Node* inner = Analyser(plan_, node.cell, length, statement_, depth_).expression(node.cell.s1, false);
        if (inner->kind != Kind::general && inner->end == length) node.args.push_back(inner);
    }

    void word(Node& node) {
        const Cell* value = context::bound_value(node.cell);
        if (!value || value->is(TYPE_UNSET) || value->is(TYPE_OP)) return;
        if (!interp::callable(value->type())) {
            node.kind = Kind::word;
            return;
        }
        call(node, *value);
    }

    // A path whose head word holds a callable and whose other values are words naming distinct
    // refinements of evaluated arguments.
    void path(Node& node) {
        uint32_t length = interp::length_of(node.cell);
        if (node.cell.s1 + 1 >= length) return;
        const Cell* cells = cells_of(node.cell);
        node.path.assign(cells + node.cell.s1, cells + length);
        const Cell& head = node.path[0];
        const Cell* value = head.is(TYPE_WORD) ? context::bound_value(head) : nullptr;
        if (value && value->is(TYPE_OBJECT) && node.path.size() == 2 && node.path[1].is(TYPE_WORD))
            return object_path(node, value->s1);
        if (!value || !interp::callable(value->type())) return;
        call(node, *value);
        if (node.kind == Kind::call) node.kind = Kind::path_call;
    }

    // A path of an object and one of its fields: the field's value, or its call (a method).
    void object_path(Node& node, NodeId object) {
        int32_t index = context::find_word(object, node.path[1].s2, true);
        if (index < 0) return;
        const Cell* field = field_value(object, uint32_t(index));
        if (!field) return;
        node.object = object;
        node.field_index = uint32_t(index);
        if (!interp::callable(field->type())) {
            if (given(field)) node.kind = Kind::field;
            return;
        }
        call(node, *field);
        if (node.kind == Kind::call) node.kind = Kind::method;
    }

    // The refinements of a path call, their arguments' entries after the call's own.
    bool refinements(Node& node, NodeId list) {
        for (size_t k = 1; k < node.path.size(); ++k) {
            const Cell& word = node.path[k];
            uint32_t index = 0, slot = 0;
            if (!word.is(TYPE_WORD) || !interp::find_refinement(list, word.s2, index, slot)) return false;
            Refinement r;
            r.at = node.native ? interp::list_entry(list, index).s3 - 1 : slot;
            for (const Refinement& used : node.refinements)
                if (used.at == r.at) return false;
            r.first = uint32_t(node.entries.size());
            uint32_t after = 0;
            if (!evaluated_arguments(list, index + 1, node.entries, after)) return false;
            r.count = uint32_t(node.entries.size()) - r.first;
            node.refinements.push_back(r);
        }
        return true;
    }

    static uint64_t accepted_types(const Cell& entry) {
        uint64_t mask = 0;
        for (uint32_t t = 0; t < TYPE_COUNT; ++t) mask |= uint64_t(typeset::has(entry, t)) << t;
        return mask;
    }

    void call(Node& node, const Cell& callee) {
        const Cell fn = callee;  // making a list may move the cell `callee` lies in
        NodeId list = analysed_list(fn);
        uint32_t after = 0;
        if (!list || !evaluated_arguments(list, 0, node.entries, after)) return;
        node.native = !fn.is(TYPE_FUNCTION) && !fn.is(TYPE_ROUTINE);
        node.routine = fn.is(TYPE_ROUTINE);
        node.fixed = uint32_t(node.entries.size());
        if (!node.path.empty() && !node.object && !refinements(node, list)) return;
        node.kind = Kind::call;
        node.callee = fn;
        node.name = node.path.empty() ? node.cell : node.path[node.object ? 1 : 0];
        for (const Cell& entry : node.entries) node.accepts.push_back(accepted_types(entry));
        if (fn.is(TYPE_NATIVE) && node.path.empty())
            node.conditional = natives::conditional_of(natives::table[fn.s1 - 1]);
        if (!node.native) interp::each_local_slot(list, after, [&](const Cell& slot) { node.locals.push_back(slot); });
        uint32_t pos = node.next;
        while (node.args.size() < node.entries.size() && pos != UNKNOWN && pos < end_) {
            node.args.push_back(expression(pos, false));
            pos = node.args.back()->end;
        }
        // Arguments missing at the end of the block raise: the general path reports them.
        if (node.args.size() < node.entries.size()) node.kind = Kind::general;
        node.next = pos;
    }

    void operators(Node& node) {
        uint32_t next = node.end;
        while (next != UNKNOWN && next + 1 < end_) {
            const Cell word = cells_of(code_)[next];
            const Cell* op = word.is(TYPE_WORD) ? interp::operator_value(word) : nullptr;
            if (!op) break;
            Step step;
            step.word = word;
            step.op = *op;
            Cell fn = *op;
            fn.header = (fn.header >> 16) & 0xFF;
            step.number = interp::number_op_of(fn.type(), fn.s1);
            operator_entries(step, fn);
            step.right = expression(next + 1, true);
            next = step.right->end;
            node.steps.push_back(step);
        }
        node.end = next;
    }

    // A native or action operator of two evaluated arguments is called by the runner itself.
    static void operator_entries(Step& step, const Cell& fn) {
        if (!fn.is(TYPE_NATIVE) && !fn.is(TYPE_ACTION)) return;
        std::vector<Cell> entries;
        uint32_t after = 0;
        if (!evaluated_arguments(analysed_list(fn), 0, entries, after) || entries.size() != 2) return;
        step.framed = true;
        step.left_entry = entries[0];
        step.right_entry = entries[1];
        step.left_accepts = accepted_types(entries[0]);
        step.right_accepts = accepted_types(entries[1]);
    }

    static constexpr uint32_t MAX_DEPTH = 64;

    Plan& plan_;
    const Cell& code_;
    uint32_t end_;
    uint32_t statement_;
    uint32_t depth_;
};

// ---- Running ----

uint32_t evaluate(Plan& plan, const Node& node, const Cell& code, uint32_t end, bool no_infix, bool push);

// A node that no longer fits; after a few such misses its statement is analysed afresh.
uint32_t general(Plan& plan, const Node& node, const Cell& code, uint32_t end, bool no_infix, bool push) {
    if (node.kind != Kind::general && ++plan.misses >= MISS_LIMIT) {
        plan.misses = 0;
        if (node.statement < plan.statement_at.size()) plan.statement_at[node.statement] = nullptr;
    }
    return interp::eval_expression(code, node.pos, end, no_infix, push, false);
}

// A lone constant or word node's value cell, read through the word's binding; its cell has matched.
[[gnu::always_inline]] inline const Cell* lone_value(const Node& node) {
    return node.kind == Kind::constant ? &node.cell : context::bound_value(node.cell);
}

// Whether three cells hold the bits of three others: one compare of them all.
[[gnu::always_inline]] inline bool same3(const Cell* a, const Cell* b) {
    auto eq = [&](int i) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
    };
    return _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(eq(0), eq(1)), eq(2))) == 0xFFFF;
}

// Whether the global cache holds the global values as they now lie and `context` is the global
// context: words bound there are then read straight from the cache.
[[gnu::always_inline]] inline bool global_current(const context::GlobalCache& global, NodeId context) {
    return global.epoch == memory::move_epoch && global.context == context;
}

// A directly read operand's value cell, `cell` being its code cell; nullptr for a function's
// word without a frame.
[[gnu::always_inline]] inline const Cell* placed_operand(Place place, const Cell& cell,
                                                         const context::GlobalCache& global) {
    if (place == Place::constant) return &cell;
    if (place == Place::global) return global.values + cell.s3;
    uint32_t at = context::context_cell(cell.s1).s2;
    return at ? stack::cells + (at - 1) + cell.s3 : nullptr;
}

// A word's value cell: read where the analysis found it (the global values, a function's frame)
// while that still holds, else through its binding.
[[gnu::always_inline]] inline const Cell* word_value(Place place, const Cell& word) {
    const context::GlobalCache& global = context::global_cache;
    if (place == Place::global && global_current(global, word.s1)) return global.values + word.s3;
    if (place == Place::frame) return placed_operand(place, word, global);
    return context::bound_value(word);
}

[[gnu::always_inline]] inline const Cell* word_value(const Node& node) { return word_value(node.place, node.cell); }

// The commonest plain number expression, `a op b`, when every cell and the operator are as
// analysed; false, having changed nothing, when anything differs.
[[gnu::always_inline]] inline bool binary_value(const Node& node, const Cell* cells, uint32_t end, Cell& value,
                                                uint32_t& after) {
    const Binary& b = node.operands;
    uint32_t next = node.pos + 3;
    if (next > end || !same3(cells + node.pos, b.cells)) return false;
    const Cell* left;
    const Cell* right;
    const context::GlobalCache& global = context::global_cache;
    if (node.direct && global_current(global, b.cells[1].s1)) {
        // Every word's value is a load or two away, in the global values as the cache holds them
        // or in the frame of the function whose context the word is bound to.
        left = placed_operand(b.left, b.cells[0], global);
        right = placed_operand(b.right, b.cells[2], global);
        if (!left || !right || !same(global.values[b.cells[1].s3], b.op)) return false;
    } else {
        left = lone_value(node);
        right = lone_value(*node.steps[0].right);
        if (!left || !right || !same_operator(node.steps[0])) return false;
    }
    if (!interp::is_plain_number(*left) || !interp::is_plain_number(*right)) return false;
    if (next < end && may_be_operator(cells[next]) && interp::operator_value(cells[next])) return false;
    value = *left;
    interp::apply_number_op(b.number, value, *right);
    after = next;
    return true;
}

// The value of a plain number expression, as the interpreter's frameless path finds it: a number
// or a word holding one, then number operators with such right operands, folded one by one;
// false, having changed nothing, for any other expression.
[[gnu::always_inline]] inline bool folded_value(const Node& node, const Cell* cells, uint32_t end, Cell& value,
                                                uint32_t& after) {
    if (!same(cells[node.pos], node.cell)) return false;
    if (node.kind != Kind::constant && node.kind != Kind::word) return false;
    if (!interp::plain_number(node.cell, value)) return false;
    uint32_t next = node.pos + 1;
    for (const Step& step : node.steps) {
        if (next + 1 >= end || !same(cells[next], step.word)) break;
        // A comparison's result is a logic!, which the next operator takes with a frame.
        Cell right;
        if (!interp::is_plain_number(value) || !same_operator(step) || step.number.kind == interp::NumberOp::none ||
            !interp::plain_number(cells[next + 1], right))
            break;
        interp::apply_number_op(step.number, value, right);
        next += 2;
    }
    if (next < end && may_be_operator(cells[next]) && interp::operator_value(cells[next])) return false;
    after = next;
    return true;
}

// The same value, `a op b` read directly first.
[[gnu::always_inline]] inline bool plain_value(const Node& node, const Cell& code, uint32_t end, Cell& value,
                                               uint32_t& after) {
    const Cell* cells = cells_of(code);
    return (node.binary && binary_value(node, cells, end, value, after)) || folded_value(node, cells, end, value, after);
}

// The value a lone constant or word node gives as it is, with no word after it that may name an
// operator; nullptr for any other, or for a word's value that is called or raises.
[[gnu::always_inline]] inline const Cell* standing_value(const Node& node, const Cell* cells, uint32_t end) {
    const Cell* value = node.kind == Kind::word ? given(word_value(node)) : &node.cell;
    if (!value || (node.pos + 1 < end && may_be_operator(cells[node.pos + 1]))) return nullptr;
    return value;
}

// `x: a op b` stored, its value read directly, when the word's slot takes a plain store; its value
// in `value` too. False, having done nothing, otherwise (a set-word ending the block too).
[[gnu::always_inline]] inline bool store_binary_word(const Node& node, const Cell* cells, uint32_t end, Cell& value,
                                                     uint32_t& after) {
    Cell* slot = node.pos + 1 < end ? context::plain_store_slot(node.cell) : nullptr;
    if (!slot || !binary_value(*node.args[0], cells, end, value, after)) return false;
    *slot = value;
    return true;
}

// A value that is its own result, or a word holding one, with no word after it that may name an
// operator: given as push asks.
[[gnu::always_inline]] inline bool give_lone_value(const Node& node, const Cell* cells, uint32_t end, bool push) {
    const Cell* value = standing_value(node, cells, end);
    if (!value) return false;
    interp::give(*value, push);
    return true;
}

// Shortcuts kept apart from the runner's other paths, whose registers they would otherwise take:
// a plain number expression (`n - 1`), folded, also where the `a op b` read below fell through...
bool push_plain_value(const Node& node, const Cell& code, uint32_t end, uint32_t& pos) {
    Cell value;
    if (!folded_value(node, cells_of(code), end, value, pos)) return false;
    stack::push(value);
    return true;
}

// ...the commonest of them, `a op b`, apart, its own path being shorter...
bool push_binary_value(const Node& node, const Cell& code, uint32_t end, uint32_t& pos) {
    Cell value;
    if (!binary_value(node, cells_of(code), end, value, pos)) return push_plain_value(node, code, end, pos);
    stack::push(value);
    return true;
}

// ...and a word with no operator after it.
bool push_lone_word(const Node& node, const Cell& code, uint32_t end, uint32_t& pos) {
    const Cell* cells = cells_of(code);
    if (!same(cells[node.pos], node.cell) || !give_lone_value(node, cells, end, true)) return false;
    pos = node.pos + 1;
    return true;
}

// An argument or operand at pos: through its node when it starts there, else the general path.
// A value standing alone (no word after it that could be an operator) is pushed here.
uint32_t operand(Plan& plan, const Node* node, const Cell& code, uint32_t pos, uint32_t end, bool no_infix) {
    if (!node || node->pos != pos) return interp::eval_expression(code, pos, end, no_infix, true, false);
    const Cell* cells = cells_of(code);
    if (node->kind == Kind::constant && same(cells[pos], node->cell) &&
        (no_infix || pos + 1 >= end || !cells[pos + 1].is(TYPE_WORD))) {
        stack::push(node->cell);
        return pos + 1;
    }
    return evaluate(plan, *node, code, end, no_infix, true);
}

// A call's argument: a plain number expression (`n - 1`) or a lone word is pushed as it is found.
uint32_t argument(Plan& plan, const Node* node, const Cell& code, uint32_t pos, uint32_t end) {
    if (node && node->push_argument && node->pos == pos && node->push_argument(*node, code, end, pos)) return pos;
    return operand(plan, node, code, pos, end, false);
}

// Raises the argument type error unless the value's type is among those its entry accepts.
inline void check_argument(const Cell& name, const Cell& entry, uint64_t accepts, const Cell& value) {
    if (!((accepts >> value.type()) & 1)) interp::wrong_argument_type(name, entry, value);
}

// A call of a native or action operator, the left operand at start_top; as the interpreter's
// infix call does.
uint32_t call_operator(Plan& plan, const Step& step, const Cell& code, uint32_t next, uint32_t end, bool push,
                       Cell* start_top) {
    Cell fn = step.op;
    fn.header = (fn.header >> 16) & 0xFF;
    stack::top = start_top;
    if (!step.framed) return interp::eval_call(fn, code, next + 1, end, push, &step.word, true);
    // A native's or action's value names its entry by number alone: nothing of it needs holding
    // while the right operand runs.
    interp::check_native_stack();
    stack::mark(interp::FRAME_NATIVE_KIND, step.word.s2, step.word.s1);
    ++stack::top;
    check_argument(step.word, step.left_entry, step.left_accepts, *stack::base);
    uint32_t pos = next + 1;
    if (pos >= end) interp::missing_argument(step.word, step.right_entry);
    pos = operand(plan, step.right, code, pos, end, true);
    Cell* args = stack::base;
    check_argument(step.word, step.right_entry, step.right_accepts, args[1]);
    if (step.number.kind != interp::NumberOp::none && interp::is_plain_number(args[0]) &&
        interp::is_plain_number(args[1]))
        interp::apply_number_op(step.number, args[0], args[1]);
    else
        interp::run_native(fn, no_refinements.data());
    interp::pop_frame(push);
    return pos;
}

// The operators after a value given at start_top; the general path takes over from the first
// one that is not as analysed.
uint32_t operators(Plan& plan, const Node& node, const Cell& code, uint32_t next, uint32_t end, bool push,
                   Cell* start_top) {
    for (const Step& step : node.steps) {
        if (next >= end) break;
        const Cell* cells = cells_of(code);
        if (!same(cells[next], step.word) || !same_operator(step)) break;
        Cell left = *start_top;
        Cell right;
        // Only a right operand analysed as a value or a word may be a plain number.
        bool plain_right = step.right->kind == Kind::constant || step.right->kind == Kind::word;
        if (step.number.kind != interp::NumberOp::none && plain_right && next + 1 < end &&
            interp::is_plain_number(left) && interp::plain_number(cells[next + 1], right)) {
            interp::apply_number_op(step.number, left, right);
            stack::top = start_top;
            interp::give(left, push);
            next += 2;
            continue;
        }
        next = call_operator(plan, step, code, next, end, push, start_top);
    }
    if (next < end && may_be_operator(cells_of(code)[next])) next = interp::check_infix(code, next, end, push, start_top);
    return next;
}

// Fetches the arguments first to first + count of a call into its frame.
inline uint32_t fetch(Plan& plan, const Node& node, const Cell& name, uint32_t first, uint32_t count, const Cell& code,
               uint32_t pos, uint32_t end) {
    for (uint32_t i = first; i < first + count; ++i) {
        if (pos >= end) interp::missing_argument(name, node.entries[i]);
        pos = argument(plan, node.args[i], code, pos, end);
        check_argument(name, node.entries[i], node.accepts[i], stack::top[-1]);
    }
    return pos;
}

// A native's refinements are numbered: each used one records where its arguments start.
void run_native(Plan& plan, const Node& node, const Cell& fn, const Cell& name, const Cell& code, uint32_t& pos,
                uint32_t end) {
    if (node.refinements.empty()) return interp::run_native(fn, no_refinements.data());
    auto used = no_refinements;
    for (const Refinement& r : node.refinements) {
        used[r.at] = int32_t(stack::top - stack::base);
        pos = fetch(plan, node, name, r.first, r.count, code, pos, end);
    }
    interp::run_native(fn, used.data());
}

template <bool Loop>
void run_body(const Cell& body);

// A function's refinements have slots: the flag, then its arguments, fetched above the slots
// (where the collector sees them) and moved in.
void run_function(Plan& plan, const Node& node, const Cell& fn, const Cell& name, const Cell& code, uint32_t& pos,
                  uint32_t end) {
    for (const Cell& slot : node.locals) stack::push(slot);
    for (const Refinement& r : node.refinements) {
        Cell* flag = stack::base + r.at;
        *flag = logic_cell(true);
        Cell* fetched = stack::top;
        pos = fetch(plan, node, name, r.first, r.count, code, pos, end);
        // A refinement has an argument or two: a loop, not a call of memmove.
        for (Cell* from = fetched; from < stack::top; ++from) flag[1 + (from - fetched)] = *from;
        stack::top = fetched;
    }
    if (node.routine) interp::run_routine(fn);
    else interp::run_function_frame(fn, run_body<false>);
}

[[gnu::always_inline]] inline void run_statements(Plan& plan, Cell& code, uint32_t length);
inline Plan* plan_of(const Cell& code);
inline const Node* statement(Plan& plan, const Cell& code, uint32_t pos, uint32_t end);

// The analysis of a block evaluated from its index before, or nullptr.
[[gnu::always_inline]] inline Plan* ready_plan(const Cell& block) {
    NodeId node = block.s2;
    Plan* plan = node < by_node.size() ? by_node[node] : nullptr;
    return plan && plan->start == block.s1 && plan->uses ? plan : nullptr;
}

// Whether a block with this analysis is not one plain number expression as analysed, and so runs
// in a frame: it has an even count of values, or its first statement is neither a value nor a
// word (a call, a paren, a set-word...). Were its code plain now, its nodes would not fit and hand
// it to the interpreter, which gives the same value.
[[gnu::always_inline]] inline bool runs_framed(const Plan& plan, const Cell& block, uint32_t length) {
    if ((length - block.s1) % 2 == 0) return true;
    const Node* first = plan.statement_at.empty() ? nullptr : plan.statement_at[0];
    return first && first->kind != Kind::general && first->kind != Kind::constant && first->kind != Kind::word;
}

// The ready analysis of a block that runs in a frame, or nullptr.
inline Plan* framed_plan(const Cell& block, uint32_t length) {
    Plan* plan = block.s1 <= length ? ready_plan(block) : nullptr;
    return plan && runs_framed(*plan, block, length) ? plan : nullptr;
}

// The analysis of a block about to be evaluated from its index, counting the evaluation; nullptr
// for its first one, which the interpreter walks.
inline Plan* counted_plan(const Cell& block) {
    Plan* plan = plan_of(block);
    return plan->start == block.s1 && plan->uses++ > 0 ? plan : nullptr;
}

// The value of a block that is one `a op b` expression read directly, from its second run on;
// false, having changed nothing, when it is not one. A function's branches are often such blocks
// of its arguments, which the interpreter's plain path finds through their context.
bool binary_block(const Cell& block, uint32_t length, Cell& value) {
    Plan* plan = counted_plan(block);
    if (!plan) return false;
    const Node* node = statement(*plan, block, block.s1, length);
    uint32_t after;
    return node && node->direct && binary_value(*node, cells_of(block), length, value, after);
}

// The analysis of a block of `a op b`, such as a loop's condition `[i < n]`, made on its second
// run, or nullptr: the interpreter's plain path answers such a block without counting its runs.
Plan* binary_plan(const Cell& block, uint32_t length) {
    Plan* plan = counted_plan(block);
    if (plan) statement(*plan, block, block.s1, length);
    return plan;
}

// Ends a call whose callee is held at `holder`, below its frame: a pushed result takes the
// holder's place.
inline void pop_call(Cell* holder, bool push) {
    interp::pop_frame(push);
    if (!push) return;
    *holder = *stack::last();
    stack::top = holder + 1;
}

// A branch block run as the conditional's result, as interp::eval_as_result runs it: a block of
// one plain number is its value, one with a ready analysis runs through it.
void run_branch(const Cell& branch) {
    uint32_t length = interp::length_of(branch);
    Cell value;
    if (branch.s1 + 1 == length && interp::plain_number(cells_of(branch)[branch.s1], value)) return stack::set_result(value);
    if (branch.s1 + 3 == length && binary_block(branch, length, value)) return stack::set_result(value);
    Plan* plan = framed_plan(branch, length);
    if (!plan) return interp::eval_as_result(branch);
    interp::check_native_stack();
    const Cell code = branch;  // `branch` lies in the cells given up
    stack::reset();
    interp::with_current_code(code, [&](Cell& running) { run_statements(*plan, running, length); });
}

// The value of a block of one value that needs no step: a constant, or a word whose value is
// given as it is; false for any other.
bool lone_block_value(const Cell& block, Cell& value) {
    const Cell& only = cells_of(block)[block.s1];
    const Cell* lone = only.is(TYPE_WORD)                ? given(context::bound_value(only))
                       : interp::needs_step(only.type()) ? nullptr
                                                         : &only;
    if (!lone) return false;
    value = *lone;
    return true;
}

// The value of a block whose one statement runs no code as analysed: `a op b`, alone or stored
// through a set-word; false, having done nothing, for any other.
[[gnu::always_inline]] inline bool frameless_statement_value(const Plan& plan, const Cell& block, uint32_t length,
                                                             Cell& value) {
    const Node* node = plan.statement_at.empty() ? nullptr : plan.statement_at[0];
    if (!node || node->end != length || !(node->binary || node->kind == Kind::set_word)) return false;
    const Cell* cells = cells_of(block);
    uint32_t after;
    if (node->binary) return binary_value(*node, cells, length, value, after);
    return node->args[0]->binary && same(cells[node->pos], node->cell) &&
           store_binary_word(*node, cells, length, value, after);
}

// The value of a block that is one statement running no code, found without a frame, which
// nothing could see; false, having done nothing, for any other block.
[[gnu::always_inline]] inline bool frameless_block_value(const Cell& block, Cell& value) {
    uint32_t length = interp::length_of(block);
    if (block.s1 + 1 == length) return lone_block_value(block, value);
    // `a op b` is three values, and four stored through a set-word.
    if (length - block.s1 != 3 && length - block.s1 != 4) return false;
    const Plan* plan = ready_plan(block);
    return plan && frameless_statement_value(*plan, block, length, value);
}

// The condition of a conditional read without a step of its own: a lone value or `a op b`.
[[gnu::always_inline]] inline bool read_condition(const Node& node, const Cell* cells, uint32_t end, Cell& value,
                                                  uint32_t& after) {
    if (node.binary) return binary_value(node, cells, end, value, after);
    if (!node.frameless || node.kind == Kind::set_word || !same(cells[node.pos], node.cell)) return false;
    const Cell* lone = standing_value(node, cells, end);
    if (!lone) return false;
    value = *lone;
    after = node.pos + 1;
    return true;
}

// The arguments of a conditional whose condition is read as it is and whose blocks are the
// literal blocks analysed, no operator following; `after` is set past them. False, having done
// nothing, for any other.
[[gnu::always_inline]] inline bool read_conditional(const Node& node, const Cell* cells, uint32_t end,
                                                    std::array<Cell, 3>& args, uint32_t& after) {
    uint32_t pos = node.pos + 1;
    const Node& condition = *node.args[0];
    if (node.fixed > args.size() || condition.pos != pos || !read_condition(condition, cells, end, args[0], pos) ||
        !((node.accepts[0] >> args[0].type()) & 1))
        return false;
    for (uint32_t i = 1; i < node.fixed; ++i, ++pos) {
        const Node& block = *node.args[i];
        if (pos >= end || block.pos != pos || block.kind != Kind::constant || !block.cell.is(TYPE_BLOCK) ||
            !same(cells[pos], block.cell) || !((node.accepts[i] >> TYPE_BLOCK) & 1))
            return false;
        args[i] = block.cell;
    }
    if (pos < end && may_be_operator(cells[pos])) return false;
    after = pos;
    return true;
}

// A conditional called without a path, as call() below calls it: its block arguments that are
// the blocks analysed are pushed as they are, and the branch taken runs here.
uint32_t call_conditional(Plan& plan, const Node& node, const Cell& value, const Cell& code, uint32_t end, bool push) {
    interp::check_native_stack();
    Cell* holder = stack::push(value);
    const Cell& name = node.cell;
    stack::mark(interp::FRAME_NATIVE_KIND, name.s2, name.s1);
    uint32_t pos = fetch(plan, node, name, 0, 1, code, node.pos + 1, end);
    const Cell* cells = cells_of(code);
    for (uint32_t i = 1; i < node.fixed; ++i) {
        const Node* arg = node.args[i];
        if (pos < end && arg->pos == pos && arg->kind == Kind::constant && arg->cell.is(TYPE_BLOCK) &&
            same(cells[pos], arg->cell) && (pos + 1 >= end || !cells[pos + 1].is(TYPE_WORD))) {
            stack::push(arg->cell);
            ++pos;
            continue;
        }
        pos = fetch(plan, node, name, i, 1, code, pos, end);
        cells = cells_of(code);  // the argument's code may have moved the block's cells
    }
    if (const Cell* branch = natives::branch_taken(node.conditional, stack::base)) run_branch(*branch);
    else stack::set_result(none_cell());
    pop_call(holder, push);
    return pos;
}

// The branch taken by a conditional whose arguments were read as they are, run in the frame its
// call makes: the callee below it, then its arguments.
void run_branch_framed(const Node& node, const Cell& callee, const std::array<Cell, 3>& args, const Cell* branch,
                       bool push) {
    Cell* holder = stack::push(callee);
    stack::mark(interp::FRAME_NATIVE_KIND, node.cell.s2, node.cell.s1);
    for (uint32_t i = 0; i < node.fixed; ++i) stack::push(args[i]);
    run_branch(stack::base[branch - args.data()]);
    pop_call(holder, push);
}

// A conditional whose arguments read as they are: reading them runs no code, so its frame is
// made only once they are read, and only for a branch that runs code; a branch that runs none
// gives its value without one. Any other conditional is called as call_conditional() calls it.
[[gnu::always_inline]] inline uint32_t conditional(Plan& plan, const Node& node, const Cell& callee, const Cell& code,
                                                  uint32_t end, bool push) {
    std::array<Cell, 3> args;
    uint32_t pos;
    if (!read_conditional(node, cells_of(code), end, args, pos))
        return call_conditional(plan, node, callee, code, end, push);
    const Cell* branch = natives::branch_taken(node.conditional, args.data());
    Cell value = none_cell();
    if (!branch || frameless_block_value(*branch, value)) {
        interp::give(value, push);
        return pos;
    }
    interp::check_native_stack();
    run_branch_framed(node, callee, args, branch, push);
    return pos;
}

// The statement of a body that is one conditional as analysed, or nullptr.
inline const Node* conditional_body(const Plan& plan, uint32_t length) {
    const Node* node = plan.statement_at.empty() ? nullptr : plan.statement_at[0];
    bool conditional = node && node->kind == Kind::call && node->conditional != natives::Conditional::none;
    return conditional && node->end == length ? node : nullptr;
}

// A function's body that is one conditional, as analysed, whose arguments read as they are, run
// as the block loop would run it but with its arguments read once, before any frame: a branch
// taken that gives its value without a frame runs no code, so neither the body's frame nor the
// conditional's could be seen, and neither is made. False, having done nothing, for any other body.
[[gnu::noinline]] bool run_conditional_body(Plan& plan, const Node* node, const Cell& body, uint32_t length) {
    const Cell* cells = cells_of(body);
    const Cell* callee = word_value(*node);
    std::array<Cell, 3> args;
    uint32_t after;
    if (!same(cells[node->pos], node->cell) || !callee || !same(*callee, node->callee) ||
        !read_conditional(*node, cells, length, args, after) || after != length)
        return false;
    const Cell fn = *callee;
    const Cell* branch = natives::branch_taken(node->conditional, args.data());
    Cell value = none_cell();
    if (!branch || frameless_block_value(*branch, value)) {
        stack::set_result(value);
        return true;
    }
    interp::check_native_stack();
    stack::mark(interp::FRAME_EVAL_KIND, stack::body_symbol);
    interp::with_current_code(body, [&](Cell& code) {
        Running running(plan);  // a collection while the branch runs may only retire the analysis
        interp::current_code.s1 = code.s1 = node->pos;
        run_branch_framed(*node, fn, args, branch, false);
        // The branch may have lengthened the body: the statements added run as the loop runs them.
        uint32_t end = interp::length_of(code);
        if (after >= end) return;
        stack::reset();
        code.s1 = after;
        run_statements(plan, code, end);
    });
    stack::unwind_last();
    return true;
}

// A call, as the interpreter's call of a word or path does; the callee is held below its frame.
uint32_t call(Plan& plan, const Node& node, const Cell& value, const Cell& code, uint32_t end, bool push) {
    interp::check_native_stack();
    Cell* holder = stack::push(value);
    const Cell fn = value;
    const Cell& name = node.name;
    if (node.native || node.routine) stack::mark(interp::FRAME_NATIVE_KIND, name.s2, name.s1);
    else stack::mark(interp::FRAME_FUNCTION_KIND, name.s2, name.s1, fn.s1, context::context_cell(fn.s1).s2);
    uint32_t pos = fetch(plan, node, name, 0, node.fixed, code, node.pos + 1, end);
    if (node.native) run_native(plan, node, fn, name, code, pos, end);
    else run_function(plan, node, fn, name, code, pos, end);
    pop_call(holder, push);
    return pos;
}

// Whether a path still holds the values it was analysed with.
bool same_path(const Node& node) {
    const Cell& path = node.cell;
    if (interp::length_of(path) - path.s1 != node.path.size()) return false;
    const Cell* cells = cells_of(path) + path.s1;
    for (size_t k = 0; k < node.path.size(); ++k)
        if (!same(cells[k], node.path[k])) return false;
    return true;
}

// The field a field or method node reads, while its path, its object and the field's place are
// as analysed; else nullptr.
const Cell* object_field(const Node& node) {
    if (!same_path(node)) return nullptr;
    const Cell* object = word_value(node.place, node.path[0]);
    if (!object || !object->is(TYPE_OBJECT) || object->s1 != node.object) return nullptr;
    return field_value(node.object, node.field_index);
}

// A set-word whose value takes a frame: the word is in it while its value is evaluated.
[[gnu::noinline]] uint32_t set_word_framed(Plan& plan, const Node& node, const Cell& code, uint32_t end, bool push) {
    const Cell& word = node.cell;
    if (node.pos + 1 >= end) fire(err::need_value, &word);
    interp::check_native_stack();
    stack::mark(interp::FRAME_NATIVE_KIND, word.s2, word.s1);
    stack::push(word);
    uint32_t next = operand(plan, node.args[0], code, node.pos + 1, end, false);
    Cell value = *stack::last();
    if (value.is(TYPE_UNSET)) fire(err::need_value, &word);
    context::set(word, value);
    stack::set_result(value);
    interp::pop_frame(push);
    return next;
}

// The value of a set-word's value node that runs no code, with no operator after it: a plain
// number expression, a value or a word given as it is, or an object's field; false, having done
// nothing, for any other.
bool settled_value(const Plan& plan, const Node& node, const Cell& code, uint32_t end, Cell& value, uint32_t& after) {
    if (plain_value(node, code, end, value, after)) return true;
    const Cell* cells = cells_of(code);
    if (!node.steps.empty() || !same(cells[node.pos], node.cell)) return false;
    const Cell* settled = nullptr;
    if (node.kind == Kind::constant || node.kind == Kind::word) settled = standing_value(node, cells, end);
    // A retired analysis may name an object whose id a new one has taken since.
    else if (node.kind == Kind::field && !plan.retired && !(node.pos + 1 < end && may_be_operator(cells[node.pos + 1])))
        settled = given(object_field(node));
    if (!settled) return false;
    value = *settled;
    after = node.pos + 1;
    return true;
}

// Such a value stored through a set-word needs no frame; false, having done nothing, for any
// other value. No operator follows it: the value's expression ended at a word that names none,
// and only the set word, now holding a value that is no operator, has changed since.
bool set_plain_word(const Plan& plan, const Node& node, const Cell& code, uint32_t end, bool push, uint32_t& after) {
    const Cell& word = node.cell;
    if (node.pos + 1 >= end) fire(err::need_value, &word);
    Cell value;
    Cell* slot = context::plain_store_slot(word);
    if (!slot || !settled_value(plan, *node.args[0], code, end, value, after)) return false;
    *slot = value;
    interp::give(value, push);
    return true;
}

// The commonest of those statements, `x: a op b`, apart, its own path being shorter.
[[gnu::always_inline]] inline bool set_binary_word(const Plan& plan, const Node& node, const Cell& code, uint32_t end,
                                                   uint32_t& after) {
    Cell value;
    if (!store_binary_word(node, cells_of(code), end, value, after))
        return set_plain_word(plan, node, code, end, false, after);
    stack::set_result(value);
    return true;
}

template <class NodeAt>
void run_block(Plan& plan, Cell& code, uint32_t length, NodeAt node_at);

// A paren of one analysed expression, evaluated as the interpreter evaluates a paren.
void paren(Plan& plan, const Node& node, bool push) {
    const Node& inner = *node.args[0];
    bool framed = push || stack::top != stack::base;
    interp::check_native_stack();
    if (framed) stack::mark(interp::FRAME_EVAL_KIND, stack::body_symbol);
    interp::with_current_code(node.cell, [&](Cell& code) {
        run_block(plan, code, interp::length_of(code),
                  [&](uint32_t pos, uint32_t) { return pos == inner.pos ? &inner : nullptr; });
    });
    if (!framed) return;
    if (push) stack::unwind();
    else stack::unwind_last();
}

uint32_t evaluate(Plan& plan, const Node& node, const Cell& code, uint32_t end, bool no_infix, bool push) {
    if (node.kind == Kind::general || !same(cells_of(code)[node.pos], node.cell))
        return general(plan, node, code, end, no_infix, push);
    Cell* start_top = stack::top;
    uint32_t next = node.pos + 1;
    switch (node.kind) {
    case Kind::constant: interp::give(node.cell, push); break;
    case Kind::word: {
        const Cell* value = given(word_value(node));
        if (!value) return general(plan, node, code, end, no_infix, push);
        interp::give(*value, push);
        break;
    }
    case Kind::set_word:
        // A value analysed as running code is stored through the frame: were it to run none now,
        // both ways store the same value and no code would see the frame.
        if (node.frameless && set_plain_word(plan, node, code, end, push, next)) return next;
        next = set_word_framed(plan, node, code, end, push);
        break;
    case Kind::call: {
        const Cell* value = word_value(node);
        if (!value || !same(*value, node.callee) || plan.retired) return general(plan, node, code, end, no_infix, push);
        next = node.conditional != natives::Conditional::none ? conditional(plan, node, *value, code, end, push)
                                                              : call(plan, node, *value, code, end, push);
        break;
    }
    case Kind::path_call: {
        const Cell* value = same_path(node) ? word_value(node.place, node.path[0]) : nullptr;
        if (!value || !same(*value, node.callee) || plan.retired) return general(plan, node, code, end, no_infix, push);
        next = call(plan, node, *value, code, end, push);
        break;
    }
    case Kind::field: {
        // A retired analysis may name an object whose id a new one has taken since.
        const Cell* value = plan.retired ? nullptr : given(object_field(node));
        if (!value) return general(plan, node, code, end, no_infix, push);
        interp::give(*value, push);
        break;
    }
    case Kind::method: {
        const Cell* value = object_field(node);
        if (!value || !same(*value, node.callee) || plan.retired) return general(plan, node, code, end, no_infix, push);
        next = call(plan, node, *value, code, end, push);
        break;
    }
    case Kind::paren:
        if (node.args.empty()) interp::eval_paren(node.cell, push);
        else paren(plan, node, push);
        break;
    case Kind::general: break;
    }
    if (no_infix) return next;
    return operators(plan, node, code, next, end, push, start_top);
}

// ---- Blocks ----

// Whether blocks get analyses; the stand-in every block gets instead fits none.
bool analysing = true;
Plan no_plan = [] {
    Plan plan;
    plan.start = ~0u;
    return plan;
}();

[[gnu::noinline]] Plan* new_plan(const Cell& code) {
    if (!analysing) return &no_plan;
    NodeId node = code.s2;
    if (node >= by_node.size()) by_node.resize(node + 1 + node / 2, nullptr);
    Plan* plan = new Plan;
    plan->block = node;
    plan->start = code.s1;
    plans.push_back(plan);
    by_node[node] = plan;
    return plan;
}

inline Plan* plan_of(const Cell& code) {
    NodeId node = code.s2;
    Plan* plan = node < by_node.size() ? by_node[node] : nullptr;
    return plan ? plan : new_plan(code);
}

// The caller's run keeps the plan, so a collection while it is analysed can only retire it.
const Node* analyse(Plan& plan, const Cell& code, uint32_t pos, uint32_t end) {
    struct Analysing {
        explicit Analysing(Plan& p) : plan(p) { ++plan.active; }
        ~Analysing() { --plan.active; }
        Plan& plan;
    } analysing(plan);
    return Analyser(plan, code, end, pos - plan.start).expression(pos, false);
}

// The node of the statement at pos, analysed when first met; nullptr for the general path.
[[gnu::noinline]] const Node* new_statement(Plan& plan, const Cell& code, uint32_t pos, uint32_t end) {
    uint32_t offset = pos - plan.start;
    if (offset >= plan.statement_at.size()) plan.statement_at.resize(end - plan.start, nullptr);
    const Node* at = plan.statement_at[offset];
    if (at == &general_statement) return nullptr;
    if (plan.nodes.size() > NODES_PER_CELL * (end - plan.start)) return nullptr;
    const Node* node = analyse(plan, code, pos, end);
    if (node->kind == Kind::general) {
        // A call whose callee had no argument list yet gets one more analysis, once it has one.
        bool retry = node->cell.is(TYPE_WORD) && at != &retry_statement;
        plan.statement_at[offset] = retry ? &retry_statement : &general_statement;
        return nullptr;
    }
    plan.statement_at[offset] = node;
    return node;
}

// The markers are nodes of the general kind.
inline const Node* statement(Plan& plan, const Cell& code, uint32_t pos, uint32_t end) {
    uint32_t offset = pos - plan.start;
    const Node* at = offset < plan.statement_at.size() ? plan.statement_at[offset] : nullptr;
    return at && at->kind != Kind::general ? at : new_statement(plan, code, pos, end);
}

// A statement that runs no code, so leaves the block as it is: a lone value, or a value running
// no code stored through a set-word. Its value goes to the result cell, and `next` after it;
// false, having done nothing, for any other statement.
[[gnu::always_inline]] inline bool run_frameless(const Plan& plan, const Node& node, const Cell& code, uint32_t end,
                                                 uint32_t& next) {
    const Cell* cells = cells_of(code);
    if (!same(cells[node.pos], node.cell)) return false;
    if (node.kind == Kind::set_word)
        return node.args[0]->binary ? set_binary_word(plan, node, code, end, next)
                                    : set_plain_word(plan, node, code, end, false, next);
    next = node.pos + 1;
    return give_lone_value(node, cells, end, false);
}

// A block's statements from its index, as the interpreter's block loop runs them, each through
// the node `node_at(pos, end)` gives or, for nullptr, the general path.
template <class NodeAt>
[[gnu::always_inline]] inline void run_block(Plan& plan, Cell& code, uint32_t length, NodeAt node_at) {
    uint32_t pos = code.s1;
    if (pos >= length) stack::set_result(unset_cell());
    for (uint32_t end = length; pos < end;) {
        interp::current_code.s1 = code.s1 = pos;
        const Node* node = node_at(pos, end);
        uint32_t next;
        if (node && node->frameless && run_frameless(plan, *node, code, end, next)) {
            pos = next;
            if (pos < end) stack::reset();
            continue;
        }
        pos = node ? evaluate(plan, *node, code, end, false, false) : interp::eval_expression(code, pos, end, false, false, false);
        end = interp::length_of(code);
        if (pos < end) stack::reset();
    }
}

[[gnu::always_inline]] inline void run_statements(Plan& plan, Cell& code, uint32_t length) {
    Running running(plan);
    run_block(plan, code, length, [&](uint32_t pos, uint32_t end) { return statement(plan, code, pos, end); });
}

// A body run as the interpreter runs it (a plain number expression without a frame, anything else
// in an evaluation frame of its own, which a raised error's frame position counts) but straight
// through its analysis; a body's first run takes the interpreter's way. Bodies whose one
// statement runs no code need no frame; a function's body of one conditional is asked first.
template <bool Loop>
void run_body(const Cell& body) {
    uint32_t length = interp::length_of(body);
    if (body.s1 > length) return interp::eval(body, true);
    Cell value;
    Plan* plan = ready_plan(body);
    if constexpr (!Loop) {
        const Node* conditional = plan ? conditional_body(*plan, length) : nullptr;
        if (conditional && run_conditional_body(*plan, conditional, body, length)) return;
    }
    // A body of one plain number stored through a set-word, such as a loop's `[s: s + i]` or a
    // method's `[n: n + k]`, needs no frame pass after pass.
    uint32_t count = length - body.s1;
    if (count == 3 && (!plan || plan->statement_at.empty()) && names_operator(cells_of(body)[body.s1 + 1]))
        plan = binary_plan(body, length);
    if (plan && (count == 3 || count == 4) && frameless_statement_value(*plan, body, length, value))
        return stack::set_result(value);
    if (!plan || !runs_framed(*plan, body, length)) {
        // Only an odd count of values can be one plain number expression.
        if (count % 2 == 1 && interp::plain_block_value(body, length, value)) return stack::set_result(value);
        if (!plan) return interp::eval(body, true);
    }
    interp::check_native_stack();
    stack::mark(interp::FRAME_EVAL_KIND, stack::body_symbol);
    interp::with_current_code(body, [&](Cell& code) { run_statements(*plan, code, length); });
    stack::unwind_last();
}

void drop(Plan* plan) {
    by_node[plan->block] = nullptr;
    if (plan->active) {
        plan->retired = true;
        retired.push_back(plan);
    } else {
        delete plan;
    }
}

bool callee_alive(const Node& node) {
    if (node.object && !collector::is_marked(node.object)) return false;
    bool calls = node.kind == Kind::call || node.kind == Kind::path_call || node.kind == Kind::method;
    return !calls || collector::is_marked(node.callee.s3);
}

// A collection frees the nodes of dead blocks and callees, and their ids may name new ones:
// analyses that refer to any are dropped.
void sweep() {
    std::erase_if(plans, [](Plan* plan) {
        bool alive = collector::is_marked(plan->block);
        for (const auto& node : plan->nodes) {
            alive = alive && callee_alive(*node);
            for (const Step& step : node->steps) alive = alive && collector::is_marked(step.op.s3);
        }
        if (!alive) drop(plan);
        return !alive;
    });
}

}  // namespace

void init() {
    shutdown();
    collector::add_sweeper(sweep);
}

void set_analysing(bool on) {
    shutdown();
    analysing = on;
}

void shutdown() {
    for (Plan* plan : plans) delete plan;
    for (Plan* plan : retired) delete plan;
    plans.clear();
    retired.clear();
    by_node.clear();
}

void eval_body(const Cell& block) {
    if (trace::on) [[unlikely]] return interp::eval(block, true);
    run_body<true>(block);
}

bool next_expression(const Cell& code, uint32_t pos, uint32_t& next) {
    Plan* plan = plan_of(code);
    if (plan->start != code.s1) return false;
    // A walk from the head counts as a use: the whole first walk is the interpreter's.
    if (pos == plan->start) ++plan->uses;
    if (plan->uses < 2) return false;
    Running running(*plan);
    uint32_t end = interp::length_of(code);
    const Node* node = statement(*plan, code, pos, end);
    next = node ? evaluate(*plan, *node, code, end, false, true)
                : interp::eval_expression(code, pos, end, false, true, false);
    return true;
}

bool run(Cell& code, uint32_t length) {
    Plan* plan = counted_plan(code);
    if (!plan) return false;
    run_statements(*plan, code, length);
    return true;
}

}  // namespace vyn::plan
