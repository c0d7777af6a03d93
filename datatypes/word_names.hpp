// Telling words apart by name as binding and `equal?` do: through the canonical symbol, so that
// ASCII letter case never matters. Runtime code compares against the symbols of datatypes/words.hpp.
#pragma once

#include "core/cell.hpp"
#include "core/symbol.hpp"

namespace vyn::word_names {

inline uint32_t canonical(const Cell& word) { return symbol::resolve(word.s2); }
inline bool is(const Cell& word, uint32_t symbol) { return canonical(word) == symbol::resolve(symbol); }

// word!, set-word!, lit-word!, get-word! and refinement!: what a spec names and binding binds.
inline bool bindable(TypeId t) { return t >= TYPE_WORD && t <= TYPE_REFINEMENT; }
// The four kinds a path element or an object key may take.
inline bool field_word(TypeId t) { return t >= TYPE_WORD && t <= TYPE_GET_WORD; }

}  // namespace vyn::word_names
