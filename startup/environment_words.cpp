// The environment's functions keep the meaning their words had when the environment was loaded,
// as compiled code would: a user who redefines `print`, `if` or `none` at the prompt changes the
// global word, and the console goes on with the values it was built with. Once the boot has run,
// each word! and get-word! (and each path's head) in the bodies of the functions it made, and in
// the type blocks of their specs, that is bound to the global context and names a function, a
// datatype, a typeset, `system` or one of the logic and none constants is rebound to a hidden
// context holding the value the global word had then; so is the head of a path `system/words/x`
// that reads such a word past a local of the same name. Set-words, lit-words and every other word
// stay global: what the environment keeps in global variables, and what is replaceable on purpose
// (the fields of `system`), stays looked up. Words keep their spelling, so mold and `source`
// show the code as it was written.
#include "startup/environment_words.hpp"

#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "eval/plan.hpp"

namespace vyn::boot {
namespace {

bool is_callable(TypeId type) {
    switch (type) {
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_OP: case TYPE_FUNCTION: case TYPE_ROUTINE:
        return true;
    default:
        return false;
    }
}

bool is_code_value(TypeId type) { return is_callable(type) || type == TYPE_DATATYPE || type == TYPE_TYPESET; }

bool holds_cells(TypeId type) {
    switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: case TYPE_MAP:
        return true;
    default:
        return false;
    }
}

bool is_any_word(TypeId type) { return type >= TYPE_WORD && type <= TYPE_REFINEMENT; }

// The body block of a function!, or of an op! made from one; 0 for other values.
NodeId body_of(const Cell& value) {
    bool from_function = value.is(TYPE_FUNCTION) || (value.is(TYPE_OP) && native::op_source(value) == TYPE_FUNCTION);
    return from_function ? function::extra_of(value)[function::EXTRA_BODY].s2 : 0;
}

Cell word_of(uint32_t symbol) { return make_cell(TYPE_WORD, 0, symbol, 0); }

// Finds the environment's functions from the global values, through objects, blocks, maps and
// the contexts their words are bound to, and hands the visitor each word their code (bodies and
// the type blocks of specs) reads and each head of a path `system/words/x` with its `x`. Nothing
// here allocates in the managed heap.
template <typename Visitor>
class Walker {
public:
    Walker(Visitor& visitor, uint32_t system, uint32_t words)
        : visitor_(visitor), global_(context::global()), system_(system), words_(words) {}

    void walk() {
        push_values(context::context_cell(global_).s2);
        while (!data_.empty() || !code_.empty()) {
            if (!code_.empty()) {
                NodeId node = code_.back();
                code_.pop_back();
                walk_code(node);
            } else {
                NodeId node = data_.back();
                data_.pop_back();
                walk_data(node);
            }
        }
    }

private:
    void push_values(NodeId values) {
        if (values && data_seen_.insert(values).second) data_.push_back(values);
    }
    void push_code(NodeId block) {
        if (block && code_seen_.insert(block).second) code_.push_back(block);
    }

    // A word bound to an object's context leads to that object's values: functions held only
    // there (helpers of the console's object) are the environment's too.
    void note_context_of(const Cell& word) {
        if (!word.s1 || word.s1 == global_) return;
        const Cell& c = context::context_cell(word.s1);
        if (!c.has_flag(FLAG_CONTEXT_ON_STACK)) push_values(c.s2);
    }

    // A call reads the words of its spec's type blocks, as it reads those of its body.
    void note_callable(const Cell& c) {
        NodeId spec = c.s2;
        if (spec && specs_seen_.insert(spec).second) {
            Series* s = memory::series_of(spec);
            for (const Cell* item = s->cells(); item < s->cell_tail(); ++item)
                if (item->is(TYPE_BLOCK)) push_code(item->s2);
        }
        push_code(body_of(c));
    }

    void note_value(const Cell& c) {
        if (is_any_word(c.type())) note_context_of(c);
        else if (is_callable(c.type())) note_callable(c);
        else if (holds_cells(c.type())) push_values(c.s2);
        else if (c.is(TYPE_OBJECT) || c.is(TYPE_PORT) || c.is(TYPE_ERROR)) push_values(context::context_cell(c.s1).s2);
    }

    void walk_data(NodeId node) {
        Series* s = memory::series_of(node);
        for (const Cell* c = s->cells(); c < s->cell_tail(); ++c) note_value(*c);
    }

    void read_word(Cell& word) {
        visitor_.word(word);
        note_context_of(word);
    }

    void walk_code(NodeId node) {
        Series* s = memory::series_of(node);
        for (Cell* c = s->cells(); c < s->cell_tail(); ++c) {
            TypeId type = c->type();
            if (type == TYPE_WORD || type == TYPE_GET_WORD) read_word(*c);
            else if (type == TYPE_BLOCK || type == TYPE_PAREN) push_code(c->s2);
            else if (type == TYPE_PATH || type == TYPE_GET_PATH || type == TYPE_SET_PATH) walk_path(*c);
            else note_value(*c);
        }
    }

    // A path's head is read; its other words select, but its parens are code.
    void walk_path(const Cell& path) {
        Series* s = memory::series_of(path.s2);
        Cell* head = s->cells() + path.s1;
        for (Cell* c = head; c < s->cell_tail(); ++c) {
            if (c == head && c->is(TYPE_WORD)) read_word(*c);
            else if (c->is(TYPE_PAREN)) push_code(c->s2);
        }
        bool reads_global = !path.is(TYPE_SET_PATH) && s->cell_tail() - head >= 3 && head[0].is(TYPE_WORD) &&
                            head[0].s2 == system_ && head[1].is(TYPE_WORD) && head[1].s2 == words_ &&
                            head[2].is(TYPE_WORD);
        if (reads_global) visitor_.global_path(head[0], head[2]);
    }

    Visitor& visitor_;
    NodeId global_;
    uint32_t system_;
    uint32_t words_;
    std::vector<NodeId> data_;
    std::vector<NodeId> code_;
    std::unordered_set<NodeId> data_seen_;
    std::unordered_set<NodeId> code_seen_;
    std::unordered_set<NodeId> specs_seen_;
};

// The global words to keep, each once, by symbol, with the global value index each reads.
struct KeptWords {
    NodeId global;
    std::unordered_set<uint32_t> constants;
    std::unordered_map<uint32_t, uint32_t> global_index;
    std::vector<uint32_t> order;
    bool system_words_read = false;

    void keep_if_code(uint32_t symbol, int32_t index) {
        if (index < 0) return;
        Cell* value = context::get_in(make_cell(TYPE_WORD, global, symbol, uint32_t(index)), global);
        if (!is_code_value(value->type()) && !constants.count(symbol)) return;
        if (global_index.emplace(symbol, uint32_t(index)).second) order.push_back(symbol);
    }
    void word(Cell& w) {
        if (w.s1 == global) keep_if_code(w.s2, int32_t(w.s3));
    }
    void global_path(Cell& head, Cell& name) {
        if (head.s1 != global) return;
        size_t before = order.size();
        keep_if_code(name.s2, context::find_word(global, name.s2, true));
        system_words_read |= order.size() > before || global_index.count(name.s2);
    }
};

// Rebinds what KeptWords found: words to the hidden context, and the head `system` of a path
// `system/words/x` to a context where `system` is an object whose `words` are the kept values.
struct Rebinder {
    NodeId global;
    NodeId hidden;
    std::unordered_map<uint32_t, uint32_t> hidden_index;
    NodeId heads;
    uint32_t system_index;

    void word(Cell& w) {
        auto found = hidden_index.find(w.s2);
        if (w.s1 != global || found == hidden_index.end()) return;
        w.s1 = hidden;
        w.s3 = found->second;
    }
    void global_path(Cell& head, Cell& name) {
        if (heads && head.s1 == hidden && hidden_index.count(name.s2)) {
            head.s1 = heads;
            head.s3 = system_index;
        }
    }
};

// An object of one field; its context is returned.
NodeId object_of_one(const char* field, const Cell& value, Rooted& object) {
    Rooted held(value);
    *object = make_cell(TYPE_OBJECT, context::create(1, false, false, 0, context::Kind::object), object::new_class_id());
    context::add_or_set(object->s1, word_of(symbol::make(field)), *held);
    return object->s1;
}

}  // namespace

void keep_environment_words() {
    const NodeId global = context::global();
    const uint32_t system = symbol::make("system");
    const uint32_t words = symbol::make("words");
    KeptWords kept{global, {}, {}, {}};
    for (const char* name : {"none", "true", "false", "on", "off", "yes", "no", "system"})
        kept.constants.insert(symbol::make(name));
    Walker(kept, system, words).walk();

    Rooted hidden(make_cell(TYPE_OBJECT, context::create(uint32_t(kept.order.size()), false, false, 0, context::Kind::object),
                            object::new_class_id()));
    Rebinder rebinder{global, hidden->s1, {}, 0, 0};
    for (uint32_t symbol : kept.order) {
        Rooted value(*context::get_in(make_cell(TYPE_WORD, global, symbol, kept.global_index[symbol]), global));
        context::add_or_set(hidden->s1, word_of(symbol), *value);
        // Case variants of a word share one value, as in the global context.
        rebinder.hidden_index[symbol] = uint32_t(context::find_word(hidden->s1, symbol, true));
    }
    Rooted system_proxy;
    Rooted heads;
    if (kept.system_words_read) {
        object_of_one("words", *hidden, system_proxy);
        rebinder.heads = object_of_one("system", *system_proxy, heads);
        rebinder.system_index = uint32_t(context::find_word(rebinder.heads, system, true));
    }
    // The head `system` of a path is rebound to the hidden context before the path is seen, so
    // the path's rebinding looks for it there.
    Walker(rebinder, system, words).walk();
    plan::set_analysing(true);  // analyses made during the boot saw the old bindings
}

}  // namespace vyn::boot
