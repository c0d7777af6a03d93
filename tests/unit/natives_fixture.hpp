// Shared set-up of the natives tests: the runtime with every registered datatype, the natives
// and actions defined from their boot sources, and a small reader that turns test source text
// into values (integers, decimals, strings, chars, files, the word kinds, paths, blocks and
// parens).
// Errors become error! cells that unwind to the test's try frame; the fixture keeps the code
// and arguments of the last one. Output of print and prin is captured through a value hook.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/datatype.hpp"
#include "core/embedded.hpp"
#include "core/error.hpp"
#include "core/hooks.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "core/typeset.hpp"
#include "core/unwind.hpp"
#include "core/words.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/none.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "datatypes/issue.hpp"
#include "datatypes/unset.hpp"
#include "eval/exits.hpp"
#include "eval/interp.hpp"
#include "eval/natives.hpp"
#include "eval/stack.hpp"

namespace vyn::testing_support {

// ---- Reading test source ----

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    // The values up to the end of the text, or up to the closing delimiter.
    Cell read_block(TypeId type = TYPE_BLOCK, char close = 0) {
        Rooted block(make_cell(type, 0, memory::alloc_cells(8)));
        bool new_line = false;
        for (;;) {
            new_line |= skip_blanks();
            if (pos_ >= text_.size()) break;
            if (text_[pos_] == close) {
                ++pos_;
                break;
            }
            Cell v = read_value();
            if (new_line) v.set_flag(FLAG_NEW_LINE);
            new_line = false;
            *memory::alloc_tail_cell(block->s2) = v;
        }
        return *block;
    }

private:
    static bool delimiter(char c) { return std::string_view(" \t\r\n[]()\";").find(c) != std::string_view::npos; }

    bool skip_blanks() {
        bool line = false;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == ';') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                line |= c == '\n';
                ++pos_;
            } else {
                break;
            }
        }
        return line;
    }

    std::string_view token() {
        size_t start = pos_;
        while (pos_ < text_.size() && !delimiter(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    static Cell text(std::string_view utf8, TypeId type) {
        Cell s = string::make(uint32_t(utf8.size()));
        string::append_utf8(&s, utf8);
        s.set_type(type);
        return s;
    }

    Cell read_string() {
        char close = text_[pos_++] == '{' ? '}' : '"';
        std::string out;
        while (pos_ < text_.size() && text_[pos_] != close) {
            char c = text_[pos_++];
            if (c == '^' && pos_ < text_.size()) c = text_[pos_++];
            out += c;
        }
        ++pos_;
        return text(out, TYPE_STRING);
    }

    static Cell word(std::string_view name, TypeId type) {
        Cell w = context::add_global(symbol::make(name));
        w.set_type(type);
        return w;
    }

    static bool numeric(std::string_view t) {
        size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
        return i < t.size() && t[i] >= '0' && t[i] <= '9';
    }

    static Cell number(std::string_view t) {
        std::string s(t);
        if (s.find('.') == std::string::npos) return integer_cell(int32_t(std::strtol(s.c_str(), nullptr, 10)));
        return float_cell(std::strtod(s.c_str(), nullptr));
    }

    static Cell element(std::string_view t) {
        if (numeric(t)) return number(t);
        return word(t, TYPE_WORD);
    }

    Cell path(std::string_view t, TypeId type) {
        Rooted p(make_cell(type, 0, memory::alloc_cells(4)));
        for (size_t start = 0;;) {
            size_t slash = t.find('/', start);
            *memory::alloc_tail_cell(p->s2) = element(t.substr(start, slash - start));
            if (slash == std::string_view::npos) break;
            start = slash + 1;
        }
        return *p;
    }

    Cell read_word(std::string_view t) {
        TypeId type = TYPE_WORD;
        if (t[0] == '\'') type = TYPE_LIT_WORD, t.remove_prefix(1);
        else if (t[0] == ':') type = TYPE_GET_WORD, t.remove_prefix(1);
        else if (t.back() == ':') type = TYPE_SET_WORD, t.remove_suffix(1);
        if (t.find('/') == std::string_view::npos || t.find_first_not_of('/') == std::string_view::npos)
            return word(t, type);
        switch (type) {
        case TYPE_SET_WORD: return path(t, TYPE_SET_PATH);
        case TYPE_LIT_WORD: return path(t, TYPE_LIT_PATH);
        case TYPE_GET_WORD: return path(t, TYPE_GET_PATH);
        default: return path(t, TYPE_PATH);
        }
    }

    Cell read_value() {
        char c = text_[pos_];
        if (c == '[') return ++pos_, read_block(TYPE_BLOCK, ']');
        if (c == '(') return ++pos_, read_block(TYPE_PAREN, ')');
        if (c == '"' || c == '{') return read_string();
        if (c == '#' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            ++pos_;
            Cell s = read_string();
            return char_cell(string::view_of(&s).at(0));
        }
        if (c == '%') return ++pos_, text(token(), TYPE_FILE);
        std::string_view t = token();
        if (numeric(t)) return number(t);
        if (t[0] == '/' && t.size() > 1) return word(t.substr(1), TYPE_REFINEMENT);
        return read_word(t);
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// ---- A stand-in for paren! until it has handlers of its own ----

inline int32_t mold_paren(const Cell* p, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    string::concatenate_literal(out, "(");
    budget = block::mold_each(p, out, args, part, budget - 1);
    string::concatenate_literal(out, ")");
    return budget - 1;
}

inline void register_paren_stand_in() {
    Handler paren[ACTION_COUNT];
    for (Handler& h : paren) h = INHERIT;
    paren[A_MOLD - 1] = act<A_MOLD>(mold_paren);
    datatype::register_type(TYPE_PAREN, TYPE_BLOCK, "paren!", paren);
}

// ---- The fixture ----

struct LastError {
    err::Code code;
    Cell args[3];
};
inline LastError last_error;

inline void raise_as_error_cell(err::Code code, const Cell* a1, const Cell* a2, const Cell* a3) {
    last_error.code = code;
    const Cell* given[] = {a1, a2, a3};
    for (int i = 0; i < 3; ++i) last_error.args[i] = given[i] ? *given[i] : none_cell();
    exits::throw_error(make_cell(TYPE_ERROR, uint32_t(code)));
}

inline std::string printed;

inline void capture_print(const Cell* value, bool new_line) {
    printed += string::to_utf8(value);
    if (new_line) printed += '\n';
}

// The datatype words that the specs name, for types registered or not.
inline const char* const TYPE_NAMES[] = {
    nullptr, "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!", "file!", "url!",
    "char!", "integer!", "float!", "symbol!", "context!", "word!", "set-word!", "lit-word!", "get-word!",
    "refinement!", "issue!", "native!", "action!", "op!", "function!", "path!", "lit-path!", "set-path!",
    "get-path!", "routine!", "bitset!", "triple!", "object!", "typeset!", "error!", "vector!", "hash!",
    "pair!", "percent!", "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!",
    "date!", "port!", "money!", "ref!", "point2D!", "point3D!", "image!", "event!",
};

class NativesTest : public testing::Test {
protected:
    void SetUp() override {
        hooks::init();
        hooks::register_hooks(capture_print, nullptr);
        printed.clear();
        memory::init();
        datatype::init();
        for (auto init : {datatype_init, unset_init, none_init, logic_init, series::init, block::init, string_init,
                          integer_init, word_init, issue_init, float_init, typeset_init, percent_init})
            init();
        register_paren_stand_in();
        stack::init();
        symbol::init_table();
        context::init_global();
        words::init_runtime_words();
        words::init_runtime_refinements();
        words::init_runtime_issue();
        natives::init();
        interp::init();
        collector::init();
        set_error_raiser(raise_as_error_cell);
        define_type_words();
        define_boot("library/boot/natives.vyn", TYPE_NATIVE);
        define_boot("library/boot/actions.vyn", TYPE_ACTION);
        define_operators();
    }

    void TearDown() override { set_error_raiser(nullptr); }

    // Evaluates with the collector on, so that a collection can come at any allocation (every
    // one in the collector-stress build); the fixture's own building runs with it off.
    static void eval_collecting(const Cell& code) {
        struct Collecting {
            Collecting() { collector::set_enabled(true); }
            ~Collecting() { collector::set_enabled(false); }
        } collecting;
        interp::eval(code, true);
    }

    static Cell load(std::string_view source) { return Reader(source).read_block(); }

    static void set_global(std::string_view name, const Cell& value) {
        context::set(context::add_global(symbol::make(name)), value);
    }
    static Cell global(std::string_view name) { return context::get_global(symbol::make(name)); }

    // Evaluates the source under a try frame; an error fails the test.
    static Cell run(std::string_view source) {
        Rooted code(load(source));
        stack::reset_all();
        stack::mark(stack::FRAME_TRY, 0);
        try {
            eval_collecting(*code);
        } catch (const Unwind& exit) {
            ADD_FAILURE() << "exit " << std::hex << exit.code << std::dec << " (error " << last_error.code
                          << ") in: " << source;
            stack::reset_all();
            return unset_cell();
        }
        Cell result = *stack::base;
        stack::reset_all();
        return result;
    }

    // Values of types that have no mold yet show as their type's name after a "#".
    static std::string mold(const Cell& value) {
        if (!datatype::supports(value.type(), A_MOLD)) return std::string("#") + TYPE_NAMES[value.type()];
        Rooted v(value);
        Rooted out(string::make(16));
        Cell* saved_base = stack::base;
        Cell* saved_top = stack::top;
        stack::Frame* saved_frame = stack::frame_top;
        stack::mark(stack::FRAME_TRY, 0);
        try {
            mold::mold_value(v.get(), out.get(), MoldArgs{false, false, false, 0}, nullptr, INT32_MAX);
        } catch (const Unwind&) {
            string::concatenate_literal(out.get(), "#cannot-mold");
        }
        stack::base = saved_base;
        stack::top = saved_top;
        stack::frame_top = saved_frame;
        return string::to_utf8(out.get());
    }

    static std::string mold_of(std::string_view source) { return mold(run(source)); }

    // The error the source raises, or 0 when it raises none.
    static int error_of(std::string_view source) {
        Rooted code(load(source));
        stack::reset_all();
        stack::mark(stack::FRAME_TRY, 0);
        try {
            eval_collecting(*code);
        } catch (const Unwind& exit) {
            stack::reset_all();
            return exit.code == EXIT_ERROR ? int(last_error.code) : -1;
        }
        stack::reset_all();
        return 0;
    }

    static std::string arg_text(int i) { return mold(last_error.args[i]); }
    static std::string arg_form(int i) {
        Rooted out(string::make(16));
        mold::form_value(&last_error.args[i], out.get(), nullptr, INT32_MAX);
        return string::to_utf8(out.get());
    }

    // A function! made as the function makers make one: a context from the spec, the body bound
    // to it as it is.
    static void define_function(std::string_view name, std::string_view spec, std::string_view body) {
        Rooted s(first_of(load(spec)));
        Rooted b(first_of(load(body)));
        NodeId ctx = context::make_from_spec(*s, true, false, context::Kind::function);
        context::bind(*b, ctx, false);
        NodeId extra = memory::alloc_unset_cells(5);
        memory::series_of(extra)->tail = 5 * sizeof(Cell);
        memory::series_of(extra)->cells()[interp::EXTRA_BODY] = *b;
        set_global(name, make_cell(TYPE_FUNCTION, ctx, s->s2, extra));
    }

private:
    static Cell first_of(const Cell& block) { return memory::series_of(block.s2)->cells()[0]; }

    static void define_type_words() {
        set_global("true", logic_cell(true));
        set_global("false", logic_cell(false));
        set_global("none", none_cell());
        for (int t = 1; t < TYPE_COUNT; ++t) set_global(TYPE_NAMES[t], datatype_cell(TypeId(t)));
        for (const typeset::NamedTypeset& named : typeset::NAMED) set_global(named.word, named.types);
    }

    // Binds each word of a boot source to the native! or action! its spec and slot describe.
    static void define_boot(std::string_view path, TypeId type) {
        const char* source = nullptr;
        for (int i = 0; i < embedded_script_count; ++i)
            if (embedded_scripts[i].path == path) source = embedded_scripts[i].text;
        ASSERT_NE(source, nullptr) << path;
        Rooted defs(load(source));
        for (uint32_t i = 0; i + 3 < memory::series_of(defs->s2)->length(); i += 4) {
            Cell* c = memory::series_of(defs->s2)->cells() + i;
            Cell word = c[0];
            Cell body = c[3];
            Cell* parts = memory::series_of(body.s2)->cells();
            NodeId extra = memory::alloc_unset_cells(2);
            memory::series_of(extra)->tail = 2 * sizeof(Cell);
            parts = memory::series_of(body.s2)->cells();
            Cell value = make_cell(type, uint32_t(parts[1].i32()), parts[0].s2, extra);
            word.set_type(TYPE_WORD);
            context::set(word, value);
        }
    }

    static void define_operators() {
        static const char* const ops[][2] = {{"+", "add"}, {"-", "subtract"}, {"*", "multiply"},
                                             {"/", "divide"}, {"=", "equal?"}, {"<>", "not-equal?"},
                                             {"==", "strict-equal?"}, {"<", "lesser?"}, {">", "greater?"}};
        for (const auto& op : ops) {
            Cell source = global(op[1]);
            Cell value = source;
            value.header = TYPE_OP | (uint32_t(source.type()) << 16);
            set_global(op[0], value);
        }
    }
};

}  // namespace vyn::testing_support
