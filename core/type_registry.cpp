// The handler table is a flat array of 57 rows of 63 entries (slot 0 unused), so a lookup is one
// index computation and one load. A null entry means the type does not support the action.
#include "core/type_registry.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/fatal.hpp"
#include "core/os/console_out.hpp"

namespace vyn::datatype {
namespace {

struct TypeName {
    const char* name;
    int length;  // without the final "!"
};

Handler::Generic handlers[TYPE_TABLE_SIZE][ACTION_COUNT + 1];
TypeName names[TYPE_TABLE_SIZE];
TypeId highest = TYPE_NONE_ID;

// Every type's name by id, whether its handlers are registered yet or not: reports and the
// datatype words name a type without its table too.
constexpr const char* FIXED_NAMES[TYPE_COUNT] = {
    nullptr, "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!", "file!", "url!",
    "char!", "integer!", "float!", "symbol!", "context!", "word!", "set-word!", "lit-word!", "get-word!",
    "refinement!", "issue!", "native!", "action!", "op!", "function!", "path!", "lit-path!", "set-path!",
    "get-path!", "routine!", "bitset!", "triple!", "object!", "typeset!", "error!", "vector!", "hash!",
    "pair!", "percent!", "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!",
    "date!", "port!", "money!", "ref!", "point2D!", "point3D!", "image!", "event!",
};

const char* fixed_name(TypeId type) { return type < TYPE_COUNT && FIXED_NAMES[type] ? FIXED_NAMES[type] : ""; }

[[noreturn]] void bad_actions_count(TypeId id, size_t found) {
    console::print_cstring("*** Datatype Error: invalid actions count for type: ");
    console::print_int(id);
    console::print_cstring("\n*** Found: ");
    console::print_int(int32_t(found));
    console::print_cstring("\n*** Expected: ");
    console::print_int(ACTION_COUNT);
    console::print_cstring("\n");
    sys::integrity_failure();
}

[[noreturn]] void bad_slot(TypeId id, int slot, const char* fault) {
    console::print_cstring("*** Datatype Error: action slot ");
    console::print_cstring(fault);
    console::print_cstring(" for type: ");
    console::print_int(id);
    console::print_cstring("\n*** Slot: ");
    console::print_int(slot);
    console::print_cstring("\n");
    sys::runtime_error(sys::FATAL_ASSERTION, 0);
}

using Row = std::array<Handler, ACTION_COUNT>;

Row positional_row(TypeId id, Handler rest, std::span<const SlotHandler> named) {
    Row row;
    row.fill(rest);
    std::array<bool, ACTION_COUNT + 1> seen{};
    for (const SlotHandler& entry : named) {
        if (entry.slot < A_MAKE || entry.slot > ACTION_COUNT) bad_slot(id, entry.slot, "out of range");
        if (seen[entry.slot]) bad_slot(id, entry.slot, "listed twice");
        seen[entry.slot] = true;
        row[entry.slot - 1] = entry.handler;
    }
    return row;
}

}  // namespace

void init() {
    std::memset(handlers, 0, sizeof handlers);
    std::memset(names, 0, sizeof names);
    highest = TYPE_NONE_ID;
}

void register_type(TypeId id, TypeId parent, const char* name, const Handler* actions, size_t count) {
    if (id > highest) highest = id;
    names[id] = TypeName{name, int(std::strlen(name)) - 1};
    if (count != ACTION_COUNT) bad_actions_count(id, count);
    for (int slot = 1; slot <= ACTION_COUNT; ++slot) {
        const Handler& h = actions[slot - 1];
        if (h.marker == HANDLER_INHERIT) handlers[id][slot] = parent ? handlers[parent][slot] : nullptr;
        else handlers[id][slot] = h.fn;
    }
}

void register_type(TypeId id, TypeId parent, const char* name, Handler rest,
                   std::span<const SlotHandler> named) {
    Row row = positional_row(id, rest, named);
    register_type(id, parent, name, row.data(), row.size());
}

bool supports(TypeId type, int slot) { return handlers[type][slot] != nullptr; }

Handler::Generic raw_handler(TypeId type, int slot) { return handlers[type][slot]; }

const char* name_of(TypeId type) { return names[type].name ? names[type].name : fixed_name(type); }
int name_length(TypeId type) {
    return names[type].name ? names[type].length : std::max(int(std::strlen(fixed_name(type))) - 1, 0);
}
TypeId highest_registered() { return highest; }
bool registered(TypeId type) { return names[type].name != nullptr; }

}  // namespace vyn::datatype
