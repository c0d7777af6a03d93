// The symbol table: every word spelling is interned once, as a symbol! cell of the symbol block,
// and named everywhere by its id: symbol id N is cell N - 1. Ids start at 1 and are never reused.
// A spelling that differs from an earlier one only in ASCII letter case is a symbol of its own
// whose alias is the id of that earlier, canonical spelling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace vyn::symbol {

constexpr uint32_t INITIAL_SYMBOLS = 4000;

// The symbol block, set up by init_table.
extern NodeId block_node;

// Makes the symbol block and its table, empty. Runs after memory::init.
void init_table(uint32_t size = INITIAL_SYMBOLS);
// Forgets the block and table, so the collector no longer reads them as roots.
void shutdown();
NodeId table();
uint32_t count();

// Find or add by exact UTF-8 name. Any byte sequence, empty included, is a valid name.
uint32_t make(std::string_view name);
// The string value's text from its head; `string` must not lie in a buffer that can move.
uint32_t make_from_string(Cell& string);
// Returns any known ASCII case variant of the name instead of adding another spelling.
uint32_t make_any_case(std::string_view name);

// The symbol cell; valid until the next allocation.
inline const Cell& cell(uint32_t id) { return memory::series_of(block_node)->cells()[id - 1]; }

// The canonical id: the alias when there is one, else the id itself.
inline uint32_t resolve(uint32_t id) {
    int32_t alias = int32_t(cell(id).s1);
    return alias > 0 ? uint32_t(alias) : id;
}
// The alias as stored: -1 for a canonical symbol.
inline int32_t alias_id(uint32_t id) { return int32_t(cell(id).s1); }

// The UTF-8 name (followed by a 0 byte); valid until the next allocation.
std::string_view name_of(const Cell& symbol);
inline std::string_view name(uint32_t id) { return name_of(cell(id)); }

// The symbol cell after its cached string! has been made: slot 2 holds the string's node.
Cell get(uint32_t id);

}  // namespace vyn::symbol
