// The word family: word!, set-word!, lit-word!, get-word! and refinement! are one cell shape with
// five type ids (issue! shares it): slot 1 the context node (0 for none), slot 2 the symbol id as
// written, slot 3 the value index in the context or -1 when not looked up. A word keeps the
// spelling it was written with; equality and binding go through the symbol's canonical id.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/actions_abi.hpp"

namespace vyn {

// Registers symbol! (its one action is compare), then word! with parent symbol!, then set-word!,
// lit-word!, get-word! and refinement! with parent word!.
void word_init();

}  // namespace vyn

namespace vyn::word {

constexpr uint32_t NO_INDEX = uint32_t(-1);

// word!, set-word!, lit-word!, get-word!, refinement! and issue!.
constexpr bool any_word(TypeId type) { return type >= TYPE_WORD && type <= TYPE_ISSUE; }

// A word of the given type bound to the global context (added there with an unset value when
// missing), keeping the spelling of `symbol` even when the context knows another one.
Cell from_symbol(uint32_t symbol, TypeId type = TYPE_WORD);
// The same for a name, interned first: how the runtime makes the words it names.
Cell load(std::string_view name, TypeId type = TYPE_WORD);
// A refinement made by name is not a variable: it has no context.
Cell load_refinement(std::string_view name);

// The word's value: unset raises `no-value`.
Cell get(const Cell& word);
// The word's value, unset included.
Cell get_any(const Cell& word);
// Stores a value for the word (its context hears of the change); unset raises `need-value`
// unless allowed, and a word without a context raises `not-defined`.
void set(const Cell& word, const Cell& value, bool allow_unset = false);

// The string! holding a symbol's written form, shared with the symbol (never modify it).
Cell written_text(uint32_t symbol);
// The datatype of the one value the word's written form loads as; unset! when it loads as none
// or as several.
TypeId scan_type(const Cell& word);

// Reading text as values belongs to the lexer, which installs its loader at start-up: it gives
// the values of a string! as a block!. Until one is installed no text loads as a word.
using TextLoader = Cell (*)(const Cell& text);
void set_text_loader(TextLoader loader);
// The values of a string! as a new block!, read by the installed loader.
Cell load_values(const Cell& text);

// Handlers shared with issue!.
Cell* make(Cell* proto, const Cell* spec, TypeId type);
int32_t form(const Cell* value, Cell* out, const Cell* part, int32_t budget);
// The written form between a prefix and a suffix.
int32_t mold_affixed(const Cell* value, Cell* out, std::string_view prefix, std::string_view suffix,
                     int32_t budget);
int compare(const Cell* a, const Cell* b, int op);

}  // namespace vyn::word
