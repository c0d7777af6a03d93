// Reading the word arguments of raised errors in tests: the spelling of a word!, or a marker that
// fails the comparison when the argument is not a word!.
#pragma once

#include <string>

#include "core/cell.hpp"
#include "core/symbol.hpp"

namespace vyn::testing_words {

inline std::string word_text(const Cell& arg) {
    return arg.is(TYPE_WORD) ? std::string(symbol::name(arg.s2)) : "<not a word!>";
}

}  // namespace vyn::testing_words
