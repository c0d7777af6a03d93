// The error catalogue: category layout, the telling templates, the grammar every template keeps,
// and that each err::Code enumerator lands on the id it is named after. Messages are laid out
// here from already-molded argument texts, the way the error printer joins template items.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/catalog.hpp"

using namespace vyn;

namespace {

struct Item {
    enum Kind { string, word, get_word } kind;
    std::string_view text;  // the string's content, or the word without its colon
};

bool is_arg_word(std::string_view w) { return w == "arg1" || w == "arg2" || w == "arg3"; }

bool is_plain_text(std::string_view s) {
    for (char c : s) {
        if (c < ' ' || c > '~' || c == '"' || c == '^') return false;
    }
    return true;
}

std::optional<Item> read_item(std::string_view& rest) {
    if (rest.starts_with('"')) {
        size_t close = rest.find('"', 1);
        if (close == std::string_view::npos || !is_plain_text(rest.substr(1, close - 1))) return {};
        Item item{Item::string, rest.substr(1, close - 1)};
        rest.remove_prefix(close + 1);
        return item;
    }
    size_t end = std::min(rest.find_first_of(" ]"), rest.size());
    std::string_view word = rest.substr(0, end);
    Item::Kind kind = word.starts_with(':') ? Item::get_word : Item::word;
    if (kind == Item::get_word) word.remove_prefix(1);
    if (!is_arg_word(word)) return {};
    rest.remove_prefix(end);
    return Item{kind, word};
}

// The items of a template source; none when it strays from the grammar of core/catalog.hpp.
std::optional<std::vector<Item>> template_items(std::string_view source) {
    bool block = source.starts_with('[');
    std::string_view rest = block ? source.substr(1) : source;
    std::vector<Item> items;
    for (;;) {
        std::optional<Item> item = read_item(rest);
        if (!item || (!block && item->kind == Item::get_word)) return {};
        items.push_back(*item);
        if (!block || !rest.starts_with(' ')) break;
        rest.remove_prefix(1);
    }
    if (block && !rest.starts_with(']')) return {};
    if (block) rest.remove_prefix(1);
    if (!rest.empty()) return {};
    return items;
}

// The printed first line of an error, its argument fields given as their molded (or formed) text.
std::string error_line(err::Code code, const std::vector<std::string>& args) {
    std::string line = "*** " + std::string(catalog::category(err::category_of(code)).type_text) + ": ";
    std::optional<std::vector<Item>> items = template_items(catalog::id_entry(code).message);
    for (size_t i = 0; items && i < items->size(); ++i) {
        const Item& item = (*items)[i];
        if (i > 0) line += ' ';
        line += item.kind == Item::string ? std::string(item.text) : args.at(item.text.back() - '1');
    }
    return line;
}

int total_id_count() {
    int total = 0;
    for (int i = 0; i < catalog::category_count(); ++i) total += catalog::category(i).ids.size();
    return total;
}

}  // namespace

TEST(Catalog, CategoriesInIndexOrder) {
    struct Expected {
        std::string_view word, type_text;
        size_t ids;
    };
    const Expected expected[] = {
        {"throw", "Throw Error", 5},         {"note", "note", 1},
        {"syntax", "Syntax Error", 7},       {"script", "Script Error", 94},
        {"math", "Math Error", 3},           {"access", "Access Error", 15},
        {"reserved1", "Reserved1 Error", 0}, {"reserved2", "Reserved2 Error", 0},
        {"user", "User Error", 1},           {"internal", "Internal Error", 14},
    };
    ASSERT_EQ(catalog::category_count(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < catalog::category_count(); ++i) {
        const catalog::Category& c = catalog::category(i);
        EXPECT_EQ(c.word, expected[i].word);
        EXPECT_EQ(c.type_text, expected[i].type_text);
        EXPECT_EQ(c.ids.size(), expected[i].ids) << c.word;
    }
}

TEST(Catalog, TellingRows) {
    struct Row {
        err::Code code;
        int value;
        std::string_view category, name, message;
    };
    const Row rows[] = {
        {err::throw_break, 0, "throw", "break", R"("no loop to break")"},
        {err::throw_throw, 2, "throw", "throw", R"(["no catch for throw:" :arg1])"},
        {err::while_cond, 4, "throw", "while-cond",
         R"("BREAK/CONTINUE cannot be used in WHILE condition block")"},
        {err::no_load, 100, "note", "no-load", R"(["cannot load: " :arg1])"},
        {err::syntax_invalid, 200, "syntax", "invalid", R"([:arg1 "invalid" :arg2 "at" :arg3])"},
        {err::malconstruct, 205, "syntax", "malconstruct",
         R"([:arg1 "invalid construction spec at" :arg2])"},
        {err::no_value, 300, "script", "no-value", R"([:arg1 "has no value"])"},
        {err::invalid_key_type, 312, "script", "invalid-key-type", R"(["invalid key type:" :arg1])"},
        {err::unset_path, 330, "script", "unset-path", R"([:arg2 "is unset in path" :arg1])"},
        {err::bad_path_type, 334, "script", "bad-path-type",
         R"([:arg3 "returned a" :arg2 "value, so" :arg1 "could not be accessed"])"},
        {err::invalid_refine_arg, 345, "script", "invalid-refine-arg",
         R"(["invalid" :arg1 "argument:" :arg2])"},
        {err::invalid_obj_evt, 364, "script", "invalid-obj-evt",
         R"(["invalid object event handler:" :arg1])"},
        {err::draw_invalid, 375, "script", "draw-invalid", R"(["invalid Draw dialect input at:" :arg1])"},
        {err::vb_invalid_record, 393, "script", "vb-invalid-record",
         R"(["VYNBIN - invalid record at index" :arg1])"},
        {err::zero_divide, 400, "math", "zero-divide", R"("attempt to divide by zero")"},
        {err::no_create, 511, "access", "no-create", R"(["cannot create:" :arg1])"},
        {err::message, 800, "user", "message", "arg1"},
        {err::bad_path, 900, "internal", "bad-path", R"(["bad path:" arg1])"},
        {err::no_memory, 902, "internal", "no-memory", R"("not enough memory")"},
        {err::deprecated, 913, "internal", "deprecated",
         R"([arg1 "is DEPRECATED, please use" arg2 "instead"])"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(static_cast<int>(row.code), row.value) << row.name;
        EXPECT_EQ(catalog::category(err::category_of(row.code)).word, row.category) << row.name;
        EXPECT_EQ(catalog::id_entry(row.code).name, row.name);
        EXPECT_EQ(catalog::id_entry(row.code).message, row.message) << row.name;
    }
}

TEST(Catalog, EveryTemplateFollowsTheGrammar) {
    for (int i = 0; i < catalog::category_count(); ++i) {
        for (const catalog::Id& id : catalog::category(i).ids) {
            EXPECT_TRUE(template_items(id.message)) << id.name << ": " << id.message;
        }
    }
    for (std::string_view broken : {R"([:arg1 "x")", R"([:arg4])", R"("a^/b")", ":arg1", R"(["a"  :arg1])"}) {
        EXPECT_FALSE(template_items(broken)) << broken;
    }
}

// Built from the enum's own list, so an enumerator out of step with the table shows up by name.
TEST(Catalog, EnumeratorsNameTheirIds) {
#define NAMED(e) std::pair<err::Code, std::string_view>{err::e, #e}
    const std::pair<err::Code, std::string_view> enumerators[] = {
    NAMED(throw_break), NAMED(throw_return), NAMED(throw_throw), NAMED(throw_continue),
    NAMED(while_cond), NAMED(no_load), NAMED(syntax_invalid), NAMED(missing), NAMED(no_header),
    NAMED(no_vs_header), NAMED(bad_header), NAMED(malconstruct), NAMED(bad_char), NAMED(no_value),
    NAMED(need_value), NAMED(not_defined), NAMED(not_in_context), NAMED(no_arg), NAMED(expect_arg),
    NAMED(expect_val), NAMED(expect_type), NAMED(cannot_use), NAMED(invalid_arg),
    NAMED(invalid_type), NAMED(invalid_type_spec), NAMED(invalid_key_type), NAMED(invalid_op),
    NAMED(no_op_arg), NAMED(bad_op_spec), NAMED(invalid_data), NAMED(invalid_part),
    NAMED(not_same_type), NAMED(not_same_class), NAMED(not_related), NAMED(bad_func_def),
    NAMED(bad_func_arg), NAMED(bad_func_extern), NAMED(no_refine), NAMED(bad_refines),
    NAMED(bad_refine), NAMED(dup_refine), NAMED(word_first), NAMED(empty_path), NAMED(unset_path),
    NAMED(invalid_path), NAMED(invalid_path_set), NAMED(invalid_path_get), NAMED(bad_path_type),
    NAMED(bad_path_type2), NAMED(bad_path_set), NAMED(bad_field_set), NAMED(dup_vars),
    NAMED(past_end), NAMED(missing_arg), NAMED(out_of_range), NAMED(invalid_chars),
    NAMED(invalid_compare), NAMED(wrong_type), NAMED(invalid_refine_arg), NAMED(type_limit),
    NAMED(size_limit), NAMED(no_return), NAMED(throw_usage), NAMED(locked_word),
    NAMED(script_protected), NAMED(bad_bad), NAMED(bad_make_arg), NAMED(bad_to_arg),
    NAMED(invalid_months), NAMED(invalid_spec_field), NAMED(missing_spec_field), NAMED(move_bad),
    NAMED(too_long), NAMED(invalid_char), NAMED(bad_loop_series), NAMED(wrong_denom),
    NAMED(bad_denom), NAMED(invalid_obj_evt), NAMED(parse_rule), NAMED(parse_end),
    NAMED(parse_invalid_ref), NAMED(parse_block), NAMED(parse_unsupported), NAMED(parse_infinite),
    NAMED(parse_stack), NAMED(parse_keep), NAMED(parse_into_bad), NAMED(parse_into_type),
    NAMED(draw_invalid), NAMED(draw_infinite), NAMED(invalid_data_facet), NAMED(face_type),
    NAMED(not_window), NAMED(bad_window), NAMED(not_linked), NAMED(not_event_type),
    NAMED(invalid_facet_type), NAMED(vid_invalid_syntax), NAMED(rtd_invalid_syntax),
    NAMED(rtd_no_match), NAMED(react_bad_func), NAMED(react_not_enough), NAMED(react_no_match),
    NAMED(react_bad_obj), NAMED(react_gctx), NAMED(lib_invalid_arg), NAMED(vb_invalid_record),
    NAMED(zero_divide), NAMED(overflow), NAMED(positive), NAMED(cannot_open), NAMED(cannot_close),
    NAMED(invalid_utf8), NAMED(not_open), NAMED(no_connect), NAMED(no_scheme),
    NAMED(unknown_scheme), NAMED(invalid_spec), NAMED(invalid_port), NAMED(invalid_actor),
    NAMED(no_port_action), NAMED(no_create), NAMED(no_codec), NAMED(bad_media), NAMED(invalid_cmd),
    NAMED(message), NAMED(bad_path), NAMED(not_here), NAMED(no_memory), NAMED(wrong_mem),
    NAMED(stack_overflow), NAMED(limit_hit), NAMED(too_deep), NAMED(no_cycle), NAMED(feature_na),
    NAMED(not_done), NAMED(invalid_error), NAMED(routines), NAMED(vyn_system), NAMED(deprecated),
    };
#undef NAMED
    EXPECT_EQ(std::size(enumerators), static_cast<size_t>(total_id_count()));
    for (auto [code, cxx_name] : enumerators) {
        const catalog::Category& c = catalog::category(err::category_of(code));
        ASSERT_LT(static_cast<size_t>(err::id_number_of(code)), c.ids.size()) << cxx_name;
        std::string name(catalog::id_entry(code).name);
        std::replace(name.begin(), name.end(), '-', '_');
        EXPECT_TRUE(cxx_name == name || cxx_name == std::string(c.word) + "_" + name)
            << cxx_name << " sits on " << c.word << "/" << catalog::id_entry(code).name;
    }
}

TEST(Catalog, PrintedMessages) {
    struct Case {
        err::Code code;
        std::vector<std::string> args;
        std::string_view line;
    };
    const Case cases[] = {
        {err::out_of_range, {"-1"}, "*** Script Error: value out of range: -1"},
        {err::no_memory, {}, "*** Internal Error: not enough memory"},
        {err::too_deep, {}, "*** Internal Error: block or paren series is too deep to process"},
        {err::no_cycle, {}, "*** Internal Error: circular reference not allowed"},
        {err::invalid_data, {"#123456789"}, "*** Script Error: data not in correct format: #123456789"},
        {err::zero_divide, {}, "*** Math Error: attempt to divide by zero"},
        {err::unset_path, {"none", "z"}, "*** Script Error: z is unset in path none"},
        {err::invalid_key_type, {"string!"}, "*** Script Error: invalid key type: string!"},
        {err::invalid_refine_arg, {"part", "1"}, "*** Script Error: invalid part argument: 1"},
        {err::invalid_refine_arg, {"part", "\"x\""}, "*** Script Error: invalid part argument: \"x\""},
        {err::invalid_refine_arg, {"name", "[a 1]"}, "*** Script Error: invalid name argument: [a 1]"},
        {err::invalid_refine_arg, {"skip", "3"}, "*** Script Error: invalid skip argument: 3"},
        {err::need_value, {"a:"}, "*** Script Error: a: needs a value"},
        {err::need_value, {"case"}, "*** Script Error: case needs a value"},
        {err::invalid_type, {"string!"}, "*** Script Error: string! type is not allowed here"},
        {err::bad_field_set, {"on-change*", "integer!"},
         "*** Script Error: cannot set on-change* field to integer! datatype"},
        {err::invalid_spec_field, {"type"}, "*** Script Error: invalid type field in spec block"},
        {err::invalid_error, {"none"}, "*** Internal Error: invalid error object field value: none"},
        {err::message, {"boom"}, "*** User Error: boom"},
        {err::bad_func_def, {R"([a "doc" [integer!]])"},
         R"(*** Script Error: invalid function definition: [a "doc" [integer!]])"},
        {err::bad_make_arg, {"native!", "[[a] 121]"}, "*** Script Error: cannot MAKE native! from: [[a] 121]"},
        {err::throw_throw, {"1"}, "*** Throw Error: no catch for throw: 1"},
        {err::throw_break, {}, "*** Throw Error: no loop to break"},
        {err::throw_continue, {}, "*** Throw Error: no loop to continue"},
        {err::throw_return, {}, "*** Throw Error: return or exit not in function"},
        {err::stack_overflow, {}, "*** Internal Error: stack overflow"},
        {err::expect_arg, {"negate", "string!", "number"},
         "*** Script Error: negate does not allow string! for its number argument"},
        {err::invalid_compare, {"1", "\"a\""}, "*** Script Error: cannot compare 1 with \"a\""},
        {err::no_arg, {"f", "b"}, "*** Script Error: f is missing its b argument"},
        {err::vyn_system, {},
         "*** Internal Error: contains Vyn/System code which requires compilation"},
        {err::no_op_arg, {"+"}, "*** Script Error: operator is missing an argument"},
        {err::dup_refine, {"f/a/a"}, "*** Script Error: duplicate refinement usage in: f/a/a"},
        {err::no_return, {}, "*** Script Error: block did not return a value"},
        {err::invalid_arg, {"x"}, "*** Script Error: invalid argument: x"},
        {err::not_done, {}, "*** Internal Error: reserved for future use (or not yet implemented)"},
        {err::expect_val, {"file!", "string!"}, "*** Script Error: expected file! not string!"},
        {err::invalid_path, {"p/z", "z"}, "*** Script Error: cannot access z in path p/z"},
        {err::invalid_path, {"m", "block!"}, "*** Script Error: cannot access block! in path m"},
        {err::bad_to_arg, {"float!", "\"abc\""}, "*** Script Error: cannot MAKE/TO float! from: \"abc\""},
        {err::syntax_invalid, {"(line 1)", "integer", "12a"},
         "*** Syntax Error: (line 1) invalid integer at 12a"},
        {err::missing, {"(line 2)", "]", "[a b"}, "*** Syntax Error: (line 2) missing ] at [a b"},
        {err::malconstruct, {"(line 1)", "#(foo)"},
         "*** Syntax Error: (line 1) invalid construction spec at #(foo)"},
        {err::missing_arg, {}, "*** Script Error: missing a required argument or refinement"},
    };
    for (const Case& c : cases) EXPECT_EQ(error_line(c.code, c.args), c.line);
}
