// Shared set-up of the word family and issue! tests: the first datatypes plus symbol!, the word
// types and issue!, and a stand-in for the lexer's loader that knows just enough syntax to tell
// words from other tokens. Tokens are separated by spaces; digits load as an integer!, a run of
// letters and "-" as a word! (a set-word! with a final ":", an issue! after "#"), and any other
// token is dropped.
#pragma once

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>

#include "core/rooted.hpp"
#include "datatypes/block.hpp"
#include "datatypes/issue.hpp"
#include "datatypes/word.hpp"
#include "tests/unit/handler_fixture.hpp"

namespace vyn::testing_handlers {

inline bool is_number(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}
inline bool is_name(const std::string& s) {
    auto name_char = [](unsigned char c) { return c == '-' || std::isalpha(c) != 0; };
    return !s.empty() && std::all_of(s.begin(), s.end(), name_char);
}

inline Cell token_value(std::string s) {
    if (is_number(s)) return integer_cell(std::stoi(s));
    TypeId type = TYPE_WORD;
    if (!s.empty() && s.back() == ':') {
        type = TYPE_SET_WORD;
        s.pop_back();
    } else if (!s.empty() && s.front() == '#') {
        type = TYPE_ISSUE;
        s.erase(0, 1);
    }
    if (!is_name(s)) return unset_cell();
    return type == TYPE_ISSUE ? issue::load(s) : word::load(s, type);
}

inline Cell load_values(const Cell& text) {
    std::istringstream tokens(string::to_utf8(&text));
    Rooted values(make_cell(TYPE_BLOCK));
    block::make_at(values.get(), 4);
    for (std::string token; tokens >> token;) {
        Cell value = token_value(token);
        if (!value.is(TYPE_UNSET)) block::vs_append(values.get(), &value);
    }
    return *values;
}

class WordTest : public HandlerTest {
protected:
    void SetUp() override { start_words({}); }
    static void start_words(std::vector<std::string_view> steps) {
        steps.insert(steps.end(), {"word!", "issue!"});
        start_with(std::move(steps));
        word::set_text_loader(load_values);
    }
    void TearDown() override {
        word::set_text_loader(nullptr);
        HandlerTest::TearDown();
    }

    static Cell lit(const char* name) { return word::load(name, TYPE_LIT_WORD); }
    static Cell refinement(const char* name) { return word::load_refinement(name); }
    static std::string spelling(const Cell& word) { return std::string(symbol::name(word.s2)); }
};

}  // namespace vyn::testing_handlers
