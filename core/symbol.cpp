// Interning goes through the symbol table's find-or-add; this file holds the table's globals and
// the symbol cell's cached string, made from the UTF-8 name on first demand. Names are never
// validated, so the cached string decodes ill-formed bytes as U+FFFD.
#include "core/symbol.hpp"

#include <string>

#include "core/hashtable.hpp"
#include "core/unicode.hpp"

namespace vyn::symbol {

NodeId block_node = 0;

namespace {

NodeId table_node = 0;

uint32_t intern(std::string_view name, bool any_case) {
    return hashtable::put_symbol(table_node, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()),
                                 any_case);
}

}  // namespace

void init_table(uint32_t size) {
    // A collection while the table is made must not mark the table of an earlier memory.
    block_node = table_node = 0;
    block_node = memory::alloc_cells(size);
    Cell block = make_cell(TYPE_BLOCK, 0, block_node, 0);
    table_node = hashtable::make(size, hashtable::Kind::words, &block);
}

void shutdown() { block_node = table_node = 0; }

NodeId table() { return table_node; }

uint32_t count() { return memory::series_of(block_node)->length(); }

uint32_t make(std::string_view name) { return intern(name, false); }

uint32_t make_from_string(Cell& string) {
    size_t length = 0;
    const char* text = unicode::to_utf8_text(string, -1, false, &length);
    return intern({text, length}, false);
}

uint32_t make_any_case(std::string_view name) { return intern(name, true); }

std::string_view name_of(const Cell& symbol) {
    Series* s = memory::series_of(symbol.s3);
    return {reinterpret_cast<const char*>(s->head_ptr()), s->used_bytes()};
}

Cell get(uint32_t id) {
    if (!cell(id).s2) {
        const std::string spelling(name(id));  // loading allocates, which may move the name
        NodeId string = unicode::load_utf8(reinterpret_cast<const uint8_t*>(spelling.data()), spelling.size(), 0,
                                           unicode::LOAD_LENIENT);
        memory::series_of(block_node)->cells()[id - 1].s2 = string;
    }
    return cell(id);
}

}  // namespace vyn::symbol
