// port! handlers. make builds the port from a spec (a url! is split by the environment's URL
// parser) and the scheme registered under the spec's scheme word in `system/schemes`; every series and port action is forwarded to the actor: to
// the native table a handle! actor names, or to the function of the action's name in an actor
// object, called under a function frame named after the action. read and write run the actor's
// open, copy (write: insert first) and close in turn. All failures are access errors naming the
// port or its spec, but for a URL the parser refuses: an invalid argument.
#include "datatypes/port.hpp"

#include <vector>

#include "core/context.hpp"
#include "core/eval_hooks.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/function.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/object.hpp"
#include "datatypes/string.hpp"
#include "datatypes/system_object.hpp"
#include "datatypes/word.hpp"

namespace vyn::port {
namespace {

std::vector<NativeActor> native_actors;

constexpr const char* ACTION_NAMES[NATIVE_ACTOR_SLOTS] = {
    "append", "at",     "back",   "change", "clear",   "copy",   "find",  "head",   "head?", "index?",
    "insert", "length?", "move",  "next",   "pick",    "poke",   "put",   "remove", "reverse", "select",
    "sort",   "skip",   "swap",   "tail",   "tail?",   "take",   "trim",  "create", "close", "delete",
    "modify", "open",   "open?",  "query",  "read",    "rename", "update", "write",
};

Cell field(const Cell& port, Field f) { return *object::value_at(port.s1, f); }

[[noreturn]] void fail(err::Code code, const Cell& culprit) {
    Cell arg = culprit;
    fire(code, &arg);
}

// The native table's handler for the action when the actor is a handle!, else null.
template <int Slot>
typename ActionSignature<Slot>::Fn native_entry(const Cell& port) {
    Cell actor = field(port, FIELD_ACTOR);
    if (!actor.is(TYPE_HANDLE)) return nullptr;
    uint32_t index = handle::value_of(actor);
    Handler::Generic fn = index < native_actors.size() ? native_actors[index][Slot - A_APPEND] : nullptr;
    if (!fn) fail(err::no_port_action, port);
    return reinterpret_cast<typename ActionSignature<Slot>::Fn>(fn);
}

// How an action's argument reaches an actor function: as it is, as a refinement with its value
// (a logic! then the value or none), or as a refinement alone. A native table gets each one as
// the handler's own argument; a Native part reaches native tables only.
struct Arg {
    const Cell* value;
    operator const Cell*() const { return value; }
};
struct Ref {
    const Cell* value;
    operator const Cell*() const { return value; }
};
struct Flag {
    bool used;
    operator bool() const { return used; }
};
struct Native {
    int32_t value;
    operator int32_t() const { return value; }
};

// One call of a function of the environment (an actor's, or the URL parser): the function stays
// pushed below its frame in case it is lost while it runs; the stack is left as it was found.
class FunctionCall {
public:
    FunctionCall(const Cell& function, const Cell& name) : base_(stack::base), top_(stack::top), function_(function) {
        stack::push(function_);
        stack::mark(stack::FRAME_FUNCTION, name.s2, 0, function_.s1, context::context_cell(function_.s1).s2);
    }

    void push(Arg a) { stack::push(*a.value); }
    void push(Ref r) {
        stack::push(logic_cell(r.value != nullptr));
        stack::push(r.value ? *r.value : none_cell());
    }
    void push(Flag f) { stack::push(logic_cell(f.used)); }
    void push(Native) {}

    Cell run() {
        fit_frame();
        eval_hooks::eval_function(function_, 0);
        Cell result = *stack::base;
        stack::unwind_discard();
        stack::base = base_;
        stack::top = top_;
        return result;
    }

private:
    // A function whose spec differs from what was pushed gets what fits: extra cells are dropped,
    // missing ones are its locals when the count matches, else none.
    void fit_frame() {
        auto words = int64_t(context::word_count(function_.s1));
        int64_t pushed = stack::top - stack::base;
        if (pushed >= words) {
            stack::top = stack::base + words;
            return;
        }
        int32_t locals = function::count_locals(function_.s2, 0, false);
        if (locals > 0 && pushed + locals == words) {
            function::init_locals(locals);
            return;
        }
        while (stack::top - stack::base < words) stack::push(none_cell());
    }

    Cell* base_;
    Cell* top_;
    Cell function_;
};

// The actor's function for the action, called with the port first.
Cell actor_function(const Cell& port, const Cell& name) {
    Cell actor = field(port, FIELD_ACTOR);
    if (!actor.is(TYPE_OBJECT)) fail(err::invalid_port, port);
    Cell function = object::vs_select(actor, name);
    if (!function.is(TYPE_FUNCTION)) fail(err::no_port_action, port);
    return function;
}

// Calls the actor's function for the action; its result becomes the action's.
template <int Slot, typename... Parts>
Cell* run_actor(Cell* port, Parts... parts) {
    Cell name = datatype::word_arg(ACTION_NAMES[Slot - A_APPEND]);
    FunctionCall call(actor_function(*port, name), name);
    call.push(Arg{port});
    (call.push(parts), ...);
    *port = call.run();
    return port;
}

template <int Slot, typename... Parts>
Cell* forward(Cell* port, Parts... parts) {
    if (auto native = native_entry<Slot>(*port)) return native(port, parts...);
    return run_actor<Slot>(port, parts...);
}

bool truthy(const Cell& v) { return !v.is(TYPE_NONE) && !(v.is(TYPE_LOGIC) && v.s1 == 0); }

template <int Slot>
bool ask(const Cell* port) {
    if (auto native = native_entry<Slot>(*port)) return native(port);
    Cell answer = *port;
    return truthy(*run_actor<Slot>(&answer));
}

template <int Slot>
int32_t count(const Cell* port) {
    if (auto native = native_entry<Slot>(*port)) return native(port);
    Cell answer = *port;
    run_actor<Slot>(&answer);
    return answer.is(TYPE_INTEGER) ? answer.i32() : -1;
}

// ---- The forwarding handlers, their arguments in the order of the actions' specs ----

template <int Slot>
Cell* unary(Cell* port) {
    return forward<Slot>(port);
}

template <int Slot>
Cell* insertion(Cell* port, const Cell* value, const Cell* part, bool only, const Cell* dup) {
    return forward<Slot>(port, Arg{value}, Ref{part}, Flag{only}, Ref{dup});
}

template <int Slot>
Cell* positioned(Cell* port, const Cell* index) {
    return forward<Slot>(port, Arg{index});
}

Cell* copy(Cell* port, const Cell* part, bool deep, const Cell* types) {
    return forward<A_COPY>(port, Ref{part}, Flag{deep}, Ref{types});
}

Cell* find(Cell* port, const Cell* value, const FindArgs& a) {
    if (auto native = native_entry<A_FIND>(*port)) return native(port, value, a);
    return run_actor<A_FIND>(port, Arg{value}, Ref{a.part}, Flag{a.only}, Flag{a.case_sensitive}, Flag{a.same},
                             Flag{a.any}, Ref{a.with}, Ref{a.skip}, Flag{a.last}, Flag{a.reverse}, Flag{a.tail},
                             Flag{a.match});
}

Cell* select(Cell* port, const Cell* value, const FindArgs& a) {
    if (auto native = native_entry<A_SELECT>(*port)) return native(port, value, a);
    return run_actor<A_SELECT>(port, Arg{value}, Ref{a.part}, Flag{a.only}, Flag{a.case_sensitive}, Flag{a.same},
                               Flag{a.any}, Ref{a.with}, Ref{a.skip}, Flag{a.last}, Flag{a.reverse});
}

Cell* move(Cell* port, const Cell* target, const Cell* part) {
    return forward<A_MOVE>(port, Arg{target}, Ref{part});
}

Cell* pick(Cell* port, int32_t index, const Cell* index_value) {
    return forward<A_PICK>(port, Native{index}, Arg{index_value});
}

Cell* poke(Cell* port, int32_t index, const Cell* index_value, const Cell* value) {
    return forward<A_POKE>(port, Native{index}, Arg{index_value}, Arg{value});
}

Cell* put(Cell* port, const Cell* key, const Cell* value, bool case_sensitive) {
    return forward<A_PUT>(port, Arg{key}, Arg{value}, Flag{case_sensitive});
}

Cell* remove(Cell* port, const Cell* part, const Cell* key) { return forward<A_REMOVE>(port, Ref{part}, Ref{key}); }

Cell* reverse(Cell* port, const Cell* part, const Cell* skip) {
    return forward<A_REVERSE>(port, Ref{part}, Ref{skip});
}

Cell* sort(Cell* port, const SortArgs& a) {
    if (auto native = native_entry<A_SORT>(*port)) return native(port, a);
    return run_actor<A_SORT>(port, Flag{a.case_sensitive}, Ref{a.skip}, Ref{a.compare}, Ref{a.part}, Flag{a.all},
                             Flag{a.reverse}, Flag{a.stable});
}

Cell* swap(Cell* port, const Cell* other) { return forward<A_SWAP>(port, Arg{other}); }

Cell* take(Cell* port, const Cell* part, bool deep, bool last) {
    return forward<A_TAKE>(port, Ref{part}, Flag{deep}, Flag{last});
}

Cell* trim(Cell* port, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with) {
    return forward<A_TRIM>(port, Flag{head}, Flag{tail}, Flag{auto_}, Flag{lines}, Flag{all}, Ref{with});
}

Cell* modify(Cell* port, const Cell* field_word, const Cell* value, bool case_sensitive) {
    return forward<A_MODIFY>(port, Arg{field_word}, Arg{value}, Flag{case_sensitive});
}

Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, const Cell* allow) {
    return forward<A_OPEN>(port, Flag{new_}, Flag{read}, Flag{write}, Flag{seek}, Ref{allow});
}

Cell* rename(Cell* port, const Cell* to) { return forward<A_RENAME>(port, Arg{to}); }

// The actor's open, copy and close in turn; the copy's result is the read's.
Cell* read(Cell* port, const Cell* part, const Cell* seek, bool binary, bool lines, bool info, const Cell* as) {
    if (auto native = native_entry<A_READ>(*port)) return native(port, part, seek, binary, lines, info, as);
    Cell step = *port;
    run_actor<A_OPEN>(&step, Flag{false}, Flag{false}, Flag{false}, Flag{seek != nullptr}, Ref{nullptr});
    step = *port;
    Rooted data(*run_actor<A_COPY>(&step, Ref{part}, Flag{false}, Ref{nullptr}));
    step = *port;
    run_actor<A_CLOSE>(&step);
    *port = *data;
    return port;
}

// The actor's open for writing, insert of the data (the part count when it is an integer, else
// -1 for all), copy and close in turn; the port is the result.
Cell* write(Cell* port, const Cell* data, bool binary, bool lines, bool info, bool append, const Cell* part,
            const Cell* seek, const Cell* allow, const Cell* as) {
    if (auto native = native_entry<A_WRITE>(*port))
        return native(port, data, binary, lines, info, append, part, seek, allow, as);
    const Cell count = part && part->is(TYPE_INTEGER) ? *part : integer_cell(-1);
    Cell step = *port;
    run_actor<A_OPEN>(&step, Flag{false}, Flag{false}, Flag{true}, Flag{seek != nullptr}, Ref{nullptr});
    step = *port;
    run_actor<A_INSERT>(&step, Arg{data}, Ref{&count}, Flag{false}, Ref{nullptr});
    step = *port;
    run_actor<A_COPY>(&step, Ref{nullptr}, Flag{false}, Ref{nullptr});
    step = *port;
    run_actor<A_CLOSE>(&step);
    return port;
}

// ---- make ----

// A url! is parsed into the spec object by the environment's `url-parser/parse-url`.
void parse_url(const Cell& url, Cell* out) {
    Cell parser = context::get_global(datatype::word_arg("url-parser").s2);
    Cell name = datatype::word_arg("parse-url");
    Cell function = parser.is(TYPE_OBJECT) ? object::vs_select(parser, name) : none_cell();
    if (!function.is(TYPE_FUNCTION)) fire(err::invalid_arg, &url);
    FunctionCall call(function, name);
    call.push(Arg{&url});
    *out = call.run();
    if (!out->is(TYPE_OBJECT)) fire(err::invalid_arg, &url);
}

// The spec object: a copy of an object! spec, the spec prototype filled from a block, or what the
// URL parser makes of a url!.
void make_spec(const Cell& spec, Cell* out) {
    if (spec.is(TYPE_OBJECT)) {
        object::copy_into(spec, out, false, nullptr, true);
    } else if (spec.is(TYPE_BLOCK)) {
        *out = system_object::port_spec_prototype();
        object::make(out, &spec, TYPE_OBJECT);
    } else if (spec.is(TYPE_URL)) {
        parse_url(spec, out);
    } else {
        Cell type = datatype_cell(TYPE_PORT);
        fire(err::bad_make_arg, &type, &spec);
    }
}

// The scheme object registered under the word in `system/schemes`, or none.
Cell registered_scheme(const Cell& scheme) {
    Cell system = context::owner(system_object::system_context());
    Cell schemes = object::vs_select(system, datatype::word_arg("schemes"));
    if (!schemes.is(TYPE_BLOCK)) return none_cell();
    return block::select_word(&schemes, &scheme, false);
}

Cell* make(Cell* proto, const Cell* spec, TypeId) {
    Cell* mark = stack::top;
    Cell* spec_object = stack::push(unset_cell());
    make_spec(*spec, spec_object);
    Cell scheme = object::words_count(*spec_object) ? *object::value_at(spec_object->s1, 0) : none_cell();
    if (!scheme.is(TYPE_WORD)) fail(err::no_scheme, *spec_object);

    Cell* port = stack::push(unset_cell());
    object::copy_into(system_object::port_prototype(), port, false, nullptr, true);
    port->set_type(TYPE_PORT);
    port->s2 = CLASS_ID;
    context::owner(port->s1) = *port;
    *object::value_at(port->s1, FIELD_SPEC) = *spec_object;
    *object::value_at(port->s1, FIELD_SCHEME) = scheme;

    Cell* registered = stack::push(registered_scheme(scheme));
    if (!registered->is(TYPE_OBJECT)) fail(err::unknown_scheme, *spec_object);
    Cell actor = object::vs_select(*registered, datatype::word_arg("actor"));
    if (!actor.is(TYPE_OBJECT) && !actor.is(TYPE_HANDLE)) fail(err::invalid_actor, *port);
    *object::value_at(port->s1, FIELD_ACTOR) = actor;
    *proto = *port;
    stack::top = mark;
    return proto;
}

// ---- Text: the fields as an object body inside "make port! [...]" ----

int32_t mold(const Cell* port, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    return object::mold_as(*port, out, "make port! [", args, part, budget);
}

int32_t form(const Cell* port, Cell* out, const Cell* part, int32_t budget) {
    return mold(port, out, MoldArgs{false, false, false, 0}, part, budget);
}

const SlotHandler port_actions[] = {
    act<A_MAKE>(make),
    inherited_at<A_REFLECT>(),
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    inherited_at<A_EVAL_PATH>(),
    inherited_at<A_COMPARE>(),
    act<A_APPEND>(insertion<A_APPEND>),
    act<A_AT>(positioned<A_AT>),
    act<A_BACK>(unary<A_BACK>),
    act<A_CHANGE>(insertion<A_CHANGE>),
    act<A_CLEAR>(unary<A_CLEAR>),
    act<A_COPY>(copy),
    act<A_FIND>(find),
    act<A_HEAD>(unary<A_HEAD>),
    act<A_HEAD_Q>(ask<A_HEAD_Q>),
    act<A_INDEX_Q>(count<A_INDEX_Q>),
    act<A_INSERT>(insertion<A_INSERT>),
    act<A_LENGTH_Q>(count<A_LENGTH_Q>),
    act<A_MOVE>(move),
    act<A_NEXT>(unary<A_NEXT>),
    act<A_PICK>(pick),
    act<A_POKE>(poke),
    act<A_PUT>(put),
    act<A_REMOVE>(remove),
    act<A_REVERSE>(reverse),
    act<A_SELECT>(select),
    act<A_SORT>(sort),
    act<A_SKIP>(positioned<A_SKIP>),
    act<A_SWAP>(swap),
    act<A_TAIL>(unary<A_TAIL>),
    act<A_TAIL_Q>(ask<A_TAIL_Q>),
    act<A_TAKE>(take),
    act<A_TRIM>(trim),
    act<A_CREATE>(unary<A_CREATE>),
    act<A_CLOSE>(unary<A_CLOSE>),
    act<A_DELETE>(unary<A_DELETE>),
    act<A_MODIFY>(modify),
    act<A_OPEN>(open),
    act<A_QUERY>(unary<A_QUERY>),
    act<A_READ>(read),
    act<A_RENAME>(rename),
    act<A_UPDATE>(unary<A_UPDATE>),
    act<A_WRITE>(write),
};

}  // namespace

uint32_t add_native_actor(const NativeActor& table) {
    native_actors.push_back(table);
    return uint32_t(native_actors.size() - 1);
}

}  // namespace vyn::port

namespace vyn {

void port_init() { datatype::register_type(TYPE_PORT, TYPE_OBJECT, "port!", UNSUPPORTED, port::port_actions); }

}  // namespace vyn
