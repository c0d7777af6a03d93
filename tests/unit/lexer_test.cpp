// The lexer: its tables (checked row by row against an independent listing), the values each
// token kind loads, the syntax errors with their arguments, transcode's refinements and the trace
// protocol. Values are checked through a small mold written for these tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/float_text.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/unwind.hpp"
#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "eval/lexer_tables.hpp"
#include "startup/startup.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;
using namespace std::string_view_literals;

namespace {

// ---------------------------------------------------------------------------------------------
// Tables

// Representative bytes of each character class.
#define BL " \t\r"
#define LF "\n"
#define D19 "19"
#define D0 "0"
#define DQ "\""
#define UHEX "ABCDF"
#define CTL "\x01\x08\x0B\x0C\x0E\x1F"
#define HI "\x7F\x80\xBF"
#define OTH "!&*?_`~|GSUWYZgiwyz\xC2\xEF\xF0\xF7"
#define BAD "\xC0\xC1\xF8\xFF"
#define NUL "\0"

struct Bytes {
    std::string_view bytes;
    template <size_t N>
    Bytes(const char (&s)[N]) : bytes(s, N - 1) {}
};

struct ClassCase {
    Bytes bytes;
    int cls;
    uint32_t flag;
};

TEST(LexerTables, EveryByteHasItsClassAndFlag) {
    const ClassCase cases[] = {
        {BL, 0, 0}, {LF, 1, 0}, {"123456789", 2, 0}, {D0, 3, 0}, {"[", 4, 0}, {"]", 5, 0}, {"(", 6, 0},
        {")", 7, 0}, {"{", 8, 0}, {"}", 9, 0}, {DQ, 10, 0}, {"#", 11, 0x00800000}, {"'", 12, 0x02000000},
        {":", 13, 0x04000000}, {"xX", 14, 0}, {"T", 15, 0}, {"h", 16, 0}, {"e", 17, 0x01000000},
        {"E", 18, 0x01000000}, {"abcdf", 19, 0}, {UHEX, 20, 0}, {"/", 21, 0}, {"\\", 22, 0},
        {"<", 23, 0x00100000}, {">", 24, 0x00080000}, {"=", 25, 0}, {"%", 26, 0x00040000},
        {",", 27, 0x08000000}, {";", 28, 0}, {"@", 29, 0}, {".", 30, 0x10000000}, {"$", 31, 0},
        {"+", 32, 0x00200000}, {"-", 33, 0x00200000}, {"^", 34, 0x20000000},
        {"\x01\x02\x03\x04\x05\x06\x07\x08\x0B\x0C\x0E\x0F\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F",
         35, 0},
        {"!&*?_`~|GHIJKLMNOPQRSUVWYZgijklmnopqrstuvwyz", 37, 0}, {"\xC0\xC1", 38, 0}, {NUL, 39, 0x00400000},
    };
    int seen[256] = {};
    for (const ClassCase& c : cases) {
        for (char ch : c.bytes.bytes) {
            uint8_t b = uint8_t(ch);
            ++seen[b];
            EXPECT_EQ(lexer::char_classes[b], uint32_t(c.cls) | c.flag) << "byte " << int(b);
        }
    }
    auto expect_range = [&seen](int first, int last, uint32_t entry) {
        for (int b = first; b <= last; ++b) {
            EXPECT_EQ(lexer::char_classes[size_t(b)], entry) << "byte " << b;
            ++seen[b];
        }
    };
    expect_range(0x7F, 0xBF, 36);
    expect_range(0xC2, 0xEF, 37 | 0x40000000);
    expect_range(0xF0, 0xF7, 37 | 0x80000000u);
    expect_range(0xF8, 0xFF, 38);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(seen[b], 1) << "byte " << b << " listed once";
}

TEST(LexerTables, UnitSizeComesFromTheLeadByteFlags) {
    EXPECT_EQ(lexer::unit_of_flags(0), 1);
    EXPECT_EQ(lexer::unit_of_flags(lexer::FLAG_UTF8_2 | lexer::FLAG_CARET), 2);
    EXPECT_EQ(lexer::unit_of_flags(lexer::FLAG_UTF8_4), 4);
    EXPECT_EQ(lexer::unit_of_flags(lexer::FLAG_UTF8_2 | lexer::FLAG_UTF8_4), 4);
}

struct Step {
    int state;
    Bytes bytes;
    int target;
};

using namespace lexer;
constexpr int E = T_ERROR;

// Each row: the classes it names (all their representative bytes) and a sample of the rest.
const Step steps[] = {
    {0, BL LF CTL, 0}, {0, ";", 1}, {0, DQ, 2}, {0, "%", 6}, {0, "/", 13}, {0, "#", 16}, {0, D19 D0, 23},
    {0, "$", 36}, {0, "E" UHEX, 40}, {0, "<", 43}, {0, "+-", 47}, {0, ".", 49}, {0, "':", 51}, {0, "@", 57},
    {0, "=", 58}, {0, NUL, T_END}, {0, "}\\" HI BAD, E}, {0, "[", T_BLOCK_OPEN}, {0, "]", T_BLOCK_CLOSE},
    {0, "(", T_PAREN_OPEN}, {0, ")", T_PAREN_CLOSE}, {0, "{", T_BRACE_OPEN}, {0, ",", T_COMMA},
    {0, "xXTheacdfb>^" OTH, 52},
    {1, BAD, E}, {1, LF NUL, T_COMMENT}, {1, BL "a1[" DQ CTL HI OTH, 1},
    {2, "^", 3}, {2, LF BAD NUL, E}, {2, DQ, T_STRING}, {2, BL "a{}'" CTL HI OTH, 2},
    {3, BAD NUL, E}, {3, LF DQ "^a" BL, 2},
    {4, "^", 5}, {4, BAD NUL, E}, {4, "{", T_BRACE_OPEN}, {4, "}", T_BRACE_CLOSE}, {4, LF DQ "a[" BL, 4},
    {5, BAD NUL, E}, {5, "{}^" LF DQ "a", 4},
    {6, DQ, 8}, {6, "%", 9}, {6, "{", 10}, {6, ":", 54}, {6, BAD, E},
    {6, BL LF "[]()};@" CTL NUL, T_WORD}, {6, "a1'/\\" HI OTH, 7},
    {7, DQ BAD, E}, {7, BL LF "[](){}:;@" NUL, T_FILE}, {7, "a1%/\\<" CTL HI OTH, 7},
    {8, LF BAD NUL, E}, {8, DQ, T_FILE}, {8, BL "a{}" CTL HI OTH, 8},
    {9, "%", 9}, {9, "{", 10}, {9, BAD, E}, {9, BL LF "[]()}" DQ "\\;" CTL NUL, T_WORD}, {9, "a1:/<" HI OTH, 7},
    {10, "}", 11}, {10, BAD NUL, E}, {10, BL LF "{%a" DQ CTL HI OTH, 10},
    {11, "}", 11}, {11, "%", 12}, {11, BAD NUL, E}, {11, "a{" LF BL, 10},
    {12, "%", 12}, {12, BL LF "[](){" DQ "<;" CTL NUL, T_RAW_STRING}, {12, "}a1>" HI OTH BAD, E},
    {13, "/", 15}, {13, ":", 53}, {13, "," BAD, E}, {13, BL LF "[](){}" DQ "#;@" CTL NUL, T_WORD},
    {13, "a1'%<.\\" HI OTH, 14},
    {14, ":," BAD, E}, {14, BL LF "[](){}" DQ "/;@" CTL NUL, T_REFINEMENT}, {14, "a1'%#<." HI OTH, 14},
    {15, "/", 15}, {15, "%,$" BAD, E}, {15, BL LF "[](){}" DQ "#;@" CTL NUL, T_WORD}, {15, "a1:<." HI OTH, 52},
    {16, "{", 17}, {16, DQ, 19}, {16, "(", 21}, {16, BL LF "])}:<>," BAD, E}, {16, "[", T_MAP_OPEN},
    {16, ";@" CTL NUL, T_ISSUE}, {16, "a1'/.#" HI OTH, 22},
    {17, BL LF D19 D0 "xXTheEacdfb" UHEX "/=+" OTH, 17}, {17, ";", 18}, {17, "}", T_BINARY},
    {17, "[(#'-.$%\\<>,@^:" DQ CTL HI BAD NUL, E},
    {18, LF, 17}, {18, BAD NUL, E}, {18, BL "a}" CTL HI OTH, 18},
    {19, "^", 20}, {19, BAD NUL, E}, {19, DQ, T_CHAR}, {19, BL LF "a" HI OTH, 19},
    {20, BAD NUL, E}, {20, DQ LF "a^", 19},
    {21, BAD NUL, E}, {21, ")", T_CONSTRUCT}, {21, "a(" LF BL, 21},
    {22, ":/" BAD, E}, {22, BL LF "[](){}" DQ ";@" CTL NUL, T_ISSUE}, {22, "a1#'.<" HI OTH, 22},
    {23, "#", 16}, {23, D19 D0 "'", 23}, {23, ".", 24}, {23, "e", 26}, {23, "E", 27}, {23, "T/-", 30},
    {23, ":", 31}, {23, "xX", 33}, {23, UHEX, 39}, {23, "h", 42}, {23, "@", 56},
    {23, "acdfb\\>=$+^" HI OTH BAD, E}, {23, "%", T_PERCENT}, {23, BL LF "[](){}" DQ ",;<" CTL NUL, T_INTEGER},
    {24, D19 D0 "'", 25}, {24, "eE", 26}, {24, "#", 28}, {24, "xX", 33}, {24, "%", T_PERCENT},
    {24, BL LF "[](){}" DQ "/<,;" CTL NUL, T_FLOAT}, {24, "a.:@$T" HI OTH BAD, E},
    {25, D19 D0 "'", 25}, {25, "eE", 26}, {25, ".", 29}, {25, "xX", 33}, {25, "@", 56},
    {25, "#Thacdfb" UHEX "\\>=$+-^" HI OTH BAD, E}, {25, "%", T_PERCENT},
    {25, BL LF "[](){}" DQ ":/<,;" CTL NUL, T_FLOAT},
    {26, D19 D0 "+-", 26}, {26, "@", 56}, {26, BL LF "[](){}" DQ ":/<,;" CTL NUL, T_FLOAT},
    {26, "a.eE#'%" HI OTH BAD, E},
    {27, "+-", 26}, {27, D19 D0, 27}, {27, ".", 29}, {27, "E" UHEX, 40}, {27, "h", 42}, {27, "@", 56},
    {27, "#'xXTeacdfb\\>=;$^" HI OTH BAD, E}, {27, "%", T_PERCENT}, {27, BL LF "[](){}" DQ ":/<," CTL NUL, T_FLOAT},
    {28, "xXTheEacdfb" UHEX ">=.+-" HI OTH, 28}, {28, "#':%@$^" BAD, E}, {28, D19, T_FLOAT},
    {28, BL LF "0[](){}" DQ "/<,;\\" CTL NUL, T_FLOAT_SPECIAL},
    {29, D19 D0 ".", 29}, {29, BL LF "[](){}" DQ ":/<;" CTL NUL, T_TUPLE}, {29, "a'#,%" HI OTH BAD, E},
    {30, "%,@^" HI BAD, E}, {30, BL LF "[](){}" DQ "<;$" CTL NUL, T_DATE}, {30, "a1:/-+T" OTH, 30},
    {31, D19 D0, 32}, {31, "a:. " NUL, E},
    {32, D19 D0 ":.", 32}, {32, BL LF "[](){}" DQ "/<;" CTL NUL, T_TIME}, {32, "a,'" HI OTH BAD, E},
    {33, D19 D0 "+-", 34}, {33, "@", 56}, {33, "a. " NUL, E},
    {34, D19 D0 "eE.", 34}, {34, "@", 56}, {34, BL LF "[](){}" DQ ":/<;" CTL NUL, T_PAIR}, {34, "ax,'" HI OTH BAD, E},
    {35, BL D19 D0 "]#eEacdfb" UHEX ",.+-" OTH, 35}, {35, ")", T_POINT}, {35, LF "[(xTh:" NUL HI BAD, E},
    {36, D19 D0, 37}, {36, "a.$ " NUL, E},
    {37, D19 D0 "'", 37}, {37, ".", 38}, {37, BL LF "[](){}" DQ "#:/<;" CTL NUL, T_MONEY}, {37, "a,$%" HI OTH BAD, E},
    {38, D19 D0 "'", 38}, {38, BL LF "[](){}" DQ "#:/<;" CTL NUL, T_MONEY}, {38, "a.,$" HI OTH BAD, E},
    {39, D19 D0 "E" UHEX, 39}, {39, "h", 41}, {39, "@", 56}, {39, "a/ " NUL, E},
    {40, "$", 37}, {40, D19 D0 "E" UHEX, 40}, {40, "h", 41}, {40, "'xXTeacdfb<>=.+-^" HI OTH, 52}, {40, ":", 53},
    {40, "@", 56}, {40, "%," BAD, E}, {40, "/", T_PATH}, {40, BL LF "[](){}" DQ "#\\;" CTL NUL, T_WORD},
    {41, "$", 37}, {41, ":", 53}, {41, "@", 56}, {41, "#%," BAD, E}, {41, "/", T_PATH},
    {41, BL LF "[](){}" DQ "\\;" CTL NUL, T_HEX}, {41, "a1'<>h" HI OTH, 52},
    {42, "$", 37}, {42, "@", 56}, {42, "/", T_PATH}, {42, BL LF "[](){}" DQ "\\<;" CTL NUL, T_HEX},
    {42, "a1h:'" HI OTH BAD, E},
    {43, "<", 43}, {43, "'", 46}, {43, ">=-", 52}, {43, ":", 53}, {43, BAD, E},
    {43, BL LF "[](){}" DQ ";" CTL NUL, T_WORD}, {43, "a1/#+" HI OTH, 44},
    {44, DQ, 45}, {44, "'", 46}, {44, BAD NUL, E}, {44, ">", T_TAG}, {44, BL LF "a<" HI OTH, 44},
    {45, DQ, 44}, {45, BAD NUL, E}, {45, "a>'" LF, 45},
    {46, "'", 44}, {46, BAD NUL, E}, {46, "a>" DQ LF, 46},
    {47, D19 D0, 23}, {47, "$", 37}, {47, ".", 49}, {47, "'%^" BAD, E}, {47, "/", T_PATH},
    {47, BL LF "[](){}" DQ "#\\;" CTL NUL, T_WORD}, {47, "a+-:<>=@," HI OTH, 52},
    {48, "'%$^" BAD, E}, {48, "/", T_PATH}, {48, BL LF "[](){}" DQ "#\\;" CTL NUL, T_WORD}, {48, "a1+.:" HI OTH, 52},
    {49, D19 D0 "+-", 50}, {49, ":", 53}, {49, "@", 56}, {49, "%,$" BAD, E}, {49, "/", T_PATH},
    {49, BL LF "[](){}" DQ "#\\;" CTL NUL, T_WORD}, {49, "a.'<" HI OTH, 52},
    {50, "xX", 33}, {50, D19 D0 "eE+-", 50}, {50, "@", 56}, {50, "%", T_PERCENT},
    {50, BL LF "[](){}" DQ ":/<" CTL NUL, T_FLOAT}, {50, "a.;,'" HI OTH BAD, E},
    {51, "/", 13}, {51, "<", 43}, {51, "+-", 48}, {51, "xXTheEacdfb" UHEX ">.^" HI OTH, 52}, {51, "%", 54},
    {51, "=", 58}, {51, "1 :'#" NUL BAD, E},
    {52, "$", 36}, {52, ":", 53}, {52, "@", 56}, {52, "%," BAD, E}, {52, "/", T_PATH},
    {52, BL LF "[](){}" DQ "#\\<;" CTL NUL, T_WORD}, {52, "a1'.>=+-^" HI OTH, 52},
    {53, "<" BAD, E}, {53, BL LF "[](){}" DQ "\\;" CTL NUL, T_WORD}, {53, "a1/:%" HI OTH, 55},
    {54, "%", 54}, {54, BL LF "[](){}\\;" CTL NUL, T_WORD}, {54, "a1" DQ ":<" HI OTH BAD, E},
    {55, ">^" BAD, E}, {55, BL LF "[](){}" DQ "\\<;" CTL NUL, T_URL}, {55, "a1/:%@#" HI OTH, 55},
    {56, D19 D0 "xXTheEacdfb" UHEX "%.+-" HI OTH, 56}, {56, "#':>=,@$^" BAD, E},
    {56, BL LF "[](){}" DQ "/<;\\" CTL NUL, T_EMAIL},
    {57, "#'\\>=,@$^" BAD, E}, {57, BL LF "[](){}" DQ "<;" CTL NUL, T_REF}, {57, "a1/:.%" HI OTH, 57},
    {58, "#%,@$" BAD, E}, {58, "/", T_PATH}, {58, BL LF "[](){}" DQ ":\\;" CTL NUL, T_WORD}, {58, "a1=<'" HI OTH, 52},
    {59, DQ, 2}, {59, "$", 36}, {59, "<", 43}, {59, "@", 57}, {59, D19 D0, 60}, {59, "':", 61},
    {59, "xXTheEacdfb" UHEX ">=." HI OTH, 62}, {59, "#", 63}, {59, "+-", 64}, {59, "(", T_PAREN_OPEN},
    {59, ")", T_PAREN_CLOSE}, {59, BL LF "[]{}/\\;,%^" CTL BAD NUL, E},
    {60, ".", 24}, {60, "eE", 26}, {60, "xX", 33}, {60, "@", 56}, {60, D19 D0 "'", 60},
    {60, BL LF "[](){}" DQ ":/<;" CTL NUL, T_INTEGER}, {60, "%", T_PERCENT}, {60, "a,#" HI OTH BAD, E},
    {61, "xXTheEacdfb" UHEX "<>=.+-" HI OTH, 62}, {61, "1:' /" NUL BAD, E},
    {62, "$", 36}, {62, "@", 56}, {62, "#%," BAD, E}, {62, BL LF "[](){}" DQ ":/\\;" CTL NUL, T_WORD},
    {62, "a1'.<>" HI OTH, 62},
    {63, DQ, 19}, {63, "[", 21}, {63, BL LF "](){}:/<>=,;@" CTL BAD NUL, E}, {63, "a1'#." HI OTH, 22},
    {64, "$", 36}, {64, "@", 56}, {64, D19 D0, 60}, {64, "xXTheEacdfb" UHEX ">=." HI OTH, 62}, {64, "+-", 64},
    {64, "#'<%,^" BAD, E}, {64, BL LF "[](){}" DQ ":/\\;" CTL NUL, T_WORD},
};

TEST(LexerTables, EveryRowOfTheTokenStateTable) {
    bool row_seen[WORKING_STATES] = {};
    for (const Step& s : steps) {
        row_seen[s.state] = true;
        for (char ch : s.bytes.bytes)
            EXPECT_EQ(int(transitions[size_t(s.state)][class_of(uint8_t(ch))]), s.target)
                << "S" << s.state << " on byte " << int(uint8_t(ch));
    }
    for (int state = 0; state < WORKING_STATES; ++state) {
        EXPECT_TRUE(row_seen[state]) << "row S" << state;
        // The input's end always leads to a final state, so a token run always stops.
        EXPECT_GE(transitions[size_t(state)][C_END], FINAL_FIRST) << "S" << state;
        for (uint8_t target : transitions[size_t(state)])
            EXPECT_TRUE(target < WORKING_STATES || (target >= FINAL_FIRST && target <= T_REF)) << "S" << state;
    }
}

TEST(LexerTables, UnicodeBlanks) {
    for (char32_t cp : {0x85, 0xA0, 0x1680, 0x2000, 0x2005, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000,
                        0x180E, 0x200B})
        EXPECT_TRUE(is_unicode_blank(cp)) << uint32_t(cp);
    for (char32_t cp : {0x20, 0x84, 0xA1, 0x1FFF, 0x200C, 0x2030, 0x3001})
        EXPECT_FALSE(is_unicode_blank(cp)) << uint32_t(cp);
}

// ---------------------------------------------------------------------------------------------
// Number scanners

tokenizer::Text text_of(std::string_view s) { return tokenizer::Text::bytes(s); }

TEST(NumberScan, Integers) {
    struct Case {
        const char* text;
        int32_t value;
        int error;
    } cases[] = {
        {"12'345", 12345, 0},
        {"-2147483648", INT32_MIN, 0},
        {"2147483647", INT32_MAX, 0},
        {"+7", 7, 0},
        {"2147483648", 0, tokenizer::SCAN_RANGE},
        {"-21474836485", 0, tokenizer::SCAN_RANGE},  // the smallest integer only as the whole text
        {"99999999999", 0, tokenizer::SCAN_RANGE},
        {"12a", 12, tokenizer::SCAN_SYNTAX},
        {"-", 0, tokenizer::SCAN_SYNTAX},
    };
    for (const Case& c : cases) {
        tokenizer::IntegerScan r = tokenizer::scan_integer(text_of(c.text));
        EXPECT_EQ(r.error, c.error) << c.text;
        EXPECT_EQ(r.value, c.value) << c.text;
    }
    const char16_t wide[] = u"-1'2";
    EXPECT_EQ(tokenizer::scan_integer({wide, 4, 2}).value, -12);
}

TEST(NumberScan, Floats) {
    EXPECT_EQ(tokenizer::scan_float(text_of("1,5")).value, 1.5);
    EXPECT_EQ(tokenizer::scan_float(text_of("1'000.5")).value, 1000.5);
    EXPECT_EQ(tokenizer::scan_float(text_of("-2.5e-3")).value, -2.5e-3);
    for (const char* bad : {"1e", "1.5.5", "e5", "1x", ""}) {
        tokenizer::FloatScan r = tokenizer::scan_float(text_of(bad));
        EXPECT_EQ(r.error, tokenizer::SCAN_SYNTAX) << bad;
        EXPECT_TRUE(std::isnan(r.value)) << bad;
    }
    EXPECT_TRUE(tokenizer::float_syntax_ok("."));
    EXPECT_EQ(tokenizer::scan_float(text_of(".")).error, tokenizer::SCAN_SYNTAX);  // the conversion refuses it
    EXPECT_FALSE(tokenizer::float_syntax_ok(std::string(313, '1')));
    EXPECT_TRUE(tokenizer::float_syntax_ok(std::string(312, '1')));
}

TEST(NumberScan, Tuples) {
    Cell t;
    ASSERT_EQ(tokenizer::scan_tuple(text_of("1.2.3.4"), &t), 0);
    EXPECT_EQ(t.type(), TYPE_TUPLE);
    EXPECT_EQ(tokenizer::tuple_length(t), 4);
    EXPECT_EQ(tokenizer::tuple_byte(t, 3), 4);
    ASSERT_EQ(tokenizer::scan_tuple(text_of("7.8"), &t), 0);
    EXPECT_EQ(tokenizer::tuple_length(t), 3);
    EXPECT_EQ(tokenizer::tuple_byte(t, 2), 0);
    ASSERT_EQ(tokenizer::scan_tuple(text_of("1.2.3.4.5.6.7.8.9.10.11.255"), &t), 0);
    EXPECT_EQ(tokenizer::tuple_byte(t, 11), 255);
    for (const char* bad : {"1.2.256", "1.2.3.4.5.6.7.8.9.10.11.12.13", "1..2", "1.2.", "1.a.3"})
        EXPECT_EQ(tokenizer::scan_tuple(text_of(bad), &t), tokenizer::SCAN_SYNTAX) << bad;
}

TEST(NumberScan, UpperCasingTouchesOnlyLetters) {
    char text[] = "get {x}|\xC3\xA9~";
    tokenizer::upper_case_ascii(text);
    EXPECT_STREQ(text, "GET {X}|\xC3\xA9~");
    EXPECT_TRUE(tokenizer::is_letter('q'));
    EXPECT_FALSE(tokenizer::is_letter('['));
}

// ---------------------------------------------------------------------------------------------
// Loading

struct Raised {
    err::Code code = err::Code(0);
    std::vector<std::string> args;  // molded
};
Raised raised;

std::string mold(const Cell& v);

std::string join(const Cell& series, const char* separator) {
    std::string out;
    Series* s = memory::series_of(series.s2);
    for (uint32_t i = series.s1; i < s->length(); ++i) {
        if (i > series.s1) out += separator;
        out += mold(memory::series_of(series.s2)->cells()[i]);
    }
    return out;
}

std::string float_text_of(double d) {
    char buffer[float_text::text_capacity];
    size_t n = float_text::format(d, 0, true, buffer);
    return std::string(buffer, n);
}

const char* const type_names[] = {
    "", "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!", "file!", "url!", "char!",
    "integer!", "float!", "symbol!", "context!", "word!", "set-word!", "lit-word!", "get-word!", "refinement!",
    "issue!", "native!", "action!", "op!", "function!", "path!", "lit-path!", "set-path!", "get-path!",
    "routine!", "bitset!", "triple!", "object!", "typeset!", "error!", "vector!", "hash!", "pair!", "percent!",
    "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!", "date!", "port!", "money!",
    "ref!", "point2D!", "point3D!", "image!", "event!",
};

// A mold of the loaded types, enough to compare loads with their expected source form.
std::string mold(const Cell& v) {
    std::string text;
    switch (v.type()) {
    case TYPE_BLOCK: return "[" + join(v, " ") + "]";
    case TYPE_PAREN: return "(" + join(v, " ") + ")";
    case TYPE_MAP: return "#[" + join(v, " ") + "]";
    case TYPE_PATH: return join(v, "/");
    case TYPE_LIT_PATH: return "'" + join(v, "/");
    case TYPE_GET_PATH: return ":" + join(v, "/");
    case TYPE_SET_PATH: return join(v, "/") + ":";
    case TYPE_INTEGER: return std::to_string(v.i32());
    case TYPE_FLOAT: return float_text_of(v.f64());
    case TYPE_PERCENT: return float_text_of(v.f64() * 100) + "%";
    case TYPE_STRING: return "\"" + string::to_utf8(&v) + "\"";
    case TYPE_FILE: return "%" + string::to_utf8(&v);
    case TYPE_URL:
    case TYPE_EMAIL: return string::to_utf8(&v);
    case TYPE_TAG: return "<" + string::to_utf8(&v) + ">";
    case TYPE_REF: return "@" + string::to_utf8(&v);
    case TYPE_WORD: return std::string(symbol::name(v.s2));
    case TYPE_SET_WORD: return std::string(symbol::name(v.s2)) + ":";
    case TYPE_GET_WORD: return ":" + std::string(symbol::name(v.s2));
    case TYPE_LIT_WORD: return "'" + std::string(symbol::name(v.s2));
    case TYPE_REFINEMENT: return "/" + std::string(symbol::name(v.s2));
    case TYPE_ISSUE: return "#" + std::string(symbol::name(v.s2));
    case TYPE_CHAR: {
        Cell s = string::make(1);
        string::append_char(s.s2, v.s2);
        return "#\"" + string::to_utf8(&s) + "\"";
    }
    case TYPE_PAIR: return std::to_string(v.i32()) + "x" + std::to_string(int32_t(v.s3));
    case TYPE_TUPLE:
        for (int i = 0; i < tokenizer::tuple_length(v); ++i)
            text += (i ? "." : "") + std::to_string(tokenizer::tuple_byte(v, i));
        return text;
    case TYPE_POINT2D:
    case TYPE_POINT3D: {
        float xyz[3];
        std::memcpy(xyz, &v.s1, sizeof xyz);
        text = "(" + float_text_of(xyz[0]) + ", " + float_text_of(xyz[1]);
        if (v.is(TYPE_POINT3D)) text += ", " + float_text_of(xyz[2]);
        return text + ")";
    }
    case TYPE_BINARY: {
        Series* s = memory::series_of(v.s2);
        for (uint32_t i = 0; i < s->length(); ++i) text += string::byte_to_hex(s->head_ptr()[i]);
        return "#{" + text + "}";
    }
    case TYPE_LOGIC: return v.s1 ? "true" : "false";
    case TYPE_NONE: return "none";
    case TYPE_UNSET: return "unset";
    case TYPE_DATATYPE: return type_names[v.s1];
    default: return "?";
    }
}

void record_error(err::Code code, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    raised = {code, {}};
    for (const Cell* arg : {arg1, arg2, arg3})
        if (arg) raised.args.push_back(arg->is(TYPE_STRING) ? string::to_utf8(arg) : mold(*arg));
    throw Unwind{EXIT_ERROR};
}

class Lexer : public testing::Test {
protected:
    void SetUp() override { start_with({}); }
    // The types the lexer makes, and the further steps a test needs, as start-up steps.
    static void start_with(std::vector<std::string_view> steps) {
        steps.insert(steps.end(), {"memory", "type-registry", "datatype!", "unset!", "none!", "logic!", "series!",
                                   "block!", "string!", "integer!", "float!", "stack", "symbols", "global-context"});
        testing_runtime::start(steps);
        set_error_raiser(record_error);
    }
    void TearDown() override { set_error_raiser(nullptr); }

    static Cell scan(std::string_view text, const lexer::ScanOptions& options = {}) {
        Cell result = none_cell();
        lexer::scan(&result, reinterpret_cast<const uint8_t*>(text.data()), text.size(), options);
        EXPECT_TRUE(lexer::working_cells().empty());
        return result;
    }
    static Cell load(std::string_view text, const lexer::ScanOptions& options = {}) {
        try {
            return scan(text, options);
        } catch (const Unwind&) {
            std::string args;
            for (const std::string& a : raised.args) args += " [" + a + "]";
            ADD_FAILURE() << "error " << raised.code << args << " loading " << text;
            return none_cell();
        }
    }
    static std::string loaded(std::string_view text) { return mold(load(text)); }

    static Raised refused(std::string_view text) {
        raised = {};
        try {
            scan(text);
            ADD_FAILURE() << "no error for " << text;
        } catch (const Unwind& exit) {
            EXPECT_EQ(exit.code, EXIT_ERROR);
        }
        EXPECT_TRUE(lexer::working_cells().empty()) << "the stack is restored after an error";
        return raised;
    }
    static void expect_invalid(std::string_view text, const char* type) {
        Raised r = refused(text);
        EXPECT_EQ(r.code, err::syntax_invalid) << text;
        ASSERT_EQ(r.args.size(), 3u) << text;
        EXPECT_EQ(r.args[1], type) << text;
    }

    static Cell text(std::string_view utf8) {
        Cell s = string::make(0);
        string::append_utf8(&s, utf8);
        return s;
    }
    static Cell binary(std::string_view bytes) {
        NodeId node = memory::alloc_bytes(bytes.size());
        Series* s = memory::series_of(node);
        std::memcpy(s->head_ptr(), bytes.data(), bytes.size());
        s->tail = s->head + uint32_t(bytes.size());
        return make_cell(TYPE_BINARY, 0, node, 0);
    }
};

TEST_F(Lexer, BlocksParensPathsAndWords) {
    EXPECT_EQ(loaded("1 [2 (3)] a/b: 'c :d"), "[1 [2 (3)] a/b: 'c :d]");
    EXPECT_EQ(loaded("a/b/:c ;c\nd/:e"), "[a/b/:c d/:e]");
    Cell b = load("x/y 'x/y :x/y x/y: a/:b a/(b c)/d a/1/\"s\"/<t> a/-1");
    Series* s = memory::series_of(b.s2);
    TypeId types[] = {TYPE_PATH, TYPE_LIT_PATH, TYPE_GET_PATH, TYPE_SET_PATH, TYPE_PATH, TYPE_PATH, TYPE_PATH, TYPE_PATH};
    ASSERT_EQ(s->length(), 8u);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(s->cells()[i].type(), types[i]) << i;
    EXPECT_EQ(mold(b), "[x/y 'x/y :x/y x/y: a/:b a/(b c)/d a/1/\"s\"/<t> a/-1]");
}

TEST_F(Lexer, WordForms) {
    EXPECT_EQ(loaded("'/ :/ /: / // /ref a: #iss % %% + - < <= <> . -> =="),
              "['/ :/ /: / // /ref a: #iss % %% + - < <= <> . -> ==]");
    Cell b = load("a A a: /a #a");
    const Cell* c = memory::series_of(b.s2)->cells();
    EXPECT_EQ(c[0].s1, context::global()) << "words are bound to the global context";
    EXPECT_EQ(c[1].s3, c[0].s3) << "case variants share the global slot";
    EXPECT_EQ(symbol::name(c[1].s2), "A") << "the written form is kept";
    EXPECT_EQ(c[2].s1, context::global());
    EXPECT_EQ(c[3].s1, 0u) << "refinements are not bound";
    EXPECT_EQ(c[4].s1, context::global());
    EXPECT_EQ(int32_t(c[4].s3), -1) << "issues are never looked up";
    for (const char* text : {":a:", "'a:"}) EXPECT_EQ(refused(text).code, err::syntax_invalid) << text;
    expect_invalid("'a:", "lit-word!");
    expect_invalid("#", "issue!");
    expect_invalid("# a", "issue!");
}

TEST_F(Lexer, Numbers) {
    EXPECT_EQ(loaded("12'345 FFh FFFFFFFFh -2147483648 0FFh 10h +5 -0"), "[12345 255 -1 -2147483648 255 16 5 0]");
    EXPECT_EQ(loaded("2147483648 -2147483649 12345678901"), "[2147483648.0 -2147483649.0 12345678901.0]");
    EXPECT_EQ(load("2147483648").type(), TYPE_BLOCK);
    EXPECT_EQ(memory::series_of(load("2147483648").s2)->cells()[0].type(), TYPE_FLOAT);
    EXPECT_EQ(loaded("1.5 1. .5 -.5 1e3 1.5E-3 1'000.5"), "[1.5 1.0 0.5 -0.5 1000.0 0.0015 1000.5]");
    Cell p = memory::series_of(load("50% 1.5% -2%").s2)->cells()[0];
    EXPECT_EQ(p.type(), TYPE_PERCENT);
    EXPECT_EQ(p.f64(), 0.5);
    Cell specials = load("1.#INF -1.#inf 1.#NaN");
    const Cell* f = memory::series_of(specials.s2)->cells();
    EXPECT_TRUE(std::isinf(f[0].f64()) && f[0].f64() > 0);
    EXPECT_TRUE(std::isinf(f[1].f64()) && f[1].f64() < 0);
    EXPECT_TRUE(std::isnan(f[2].f64()));
    EXPECT_EQ(loaded("1.2.3 255.0.10.1"), "[1.2.3 255.0.10.1]");
    EXPECT_EQ(loaded("10x20 -1x+2 1'0x2"), "[10x20 -1x2 10x2]");
    EXPECT_EQ(loaded("(1, 2) (1.5,2,3) ( 1 , -2 )"), "[(1.0, 2.0) (1.5, 2.0, 3.0) (1.0, -2.0)]");
    EXPECT_EQ(memory::series_of(load("(1, 2, 3)").s2)->cells()[0].type(), TYPE_POINT3D);
}

TEST_F(Lexer, Strings) {
    EXPECT_EQ(loaded("\"a^(41)b\" \"^(tab)\" \"^-^/^^^\"^~^@^A^[\" \"^(null)^(DEL)^(line)\""),
              "[\"aAb\" \"\t\" \"\t\n^\"\x7F\x00\x01\x1B\" \"\x00\x7F\n\"]"sv);
    Cell s = memory::series_of(load("\"^(1F600)\" \"^(FF)\" \"^(100)\" \"h\xC3\xA9\" \"\xF0\x9F\x98\x80\"").s2)->cells()[0];
    EXPECT_EQ(string::buffer_of(&s)->unit(), 4);
    EXPECT_EQ(string::abs_at(&s, 0), 0x1F600u);
    const Cell* c = memory::series_of(load("\"^(FF)\" \"^(100)\" \"h\xC3\xA9\" \"\xF0\x9F\x98\x80\" \"ab\"").s2)->cells();
    int units[] = {1, 2, 2, 4, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(string::buffer_of(&c[i])->unit(), units[i]) << i;
    EXPECT_EQ(string::abs_at(&c[0], 0), 0xFFu);
    EXPECT_EQ(string::to_utf8(&c[2]), "h\xC3\xA9");
    EXPECT_EQ(loaded("\"a^\nb\" {a{b}c} {a^}b} {}"), "[\"a\nb\" \"a{b}c\" \"a}b\" \"\"]");
    EXPECT_EQ(loaded("%%{a}%b}%% %{x}% %{a}}% %%%{%}%%}%%%"), "[\"a}%b\" \"x\" \"a}\" \"%}%%\"]");
    expect_invalid("\"a\nb\"", "string!");
    expect_invalid("\"^(zz)\"", "string!");
    expect_invalid("\"a\x80\"", "string!");
    expect_invalid("{abc", "string!");
    expect_invalid("%{a}%%", "string!");
    expect_invalid("%%{a}%", "string!");
    for (const char* unstorable : {"\"^(110000)\"", "\"^(D800)\""}) EXPECT_EQ(refused(unstorable).code, err::bad_char);
}

TEST_F(Lexer, OtherTextTypes) {
    Cell b = load("%\"my file\" %a%20b %dir/f.txt http://x.com/a%20b a@b.c <a href=\"x\"> @name mailto:me");
    TypeId types[] = {TYPE_FILE, TYPE_FILE, TYPE_FILE, TYPE_URL, TYPE_EMAIL, TYPE_TAG, TYPE_REF, TYPE_URL};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(memory::series_of(b.s2)->cells()[i].type(), types[i]) << i;
    EXPECT_EQ(mold(b), "[%my file %a b %dir/f.txt http://x.com/a b a@b.c <a href=\"x\"> @name mailto:me]");
    EXPECT_EQ(loaded("#\"a\" #\"^/\" #\"\xC3\xA9\" #\"^(tab)\""), "[#\"a\" #\"\n\" #\"\xC3\xA9\" #\"\t\"]");
    expect_invalid("#\"ab\"", "char!");
    expect_invalid("#\"\"", "char!");
    expect_invalid("'a:b", "lit-word!");
    expect_invalid(":a:b", "get-word!");
    EXPECT_EQ(loaded("#{0A0b} 2#{00000001 00000010} 64#{SGk=} #{0A ;note\n 0B} 16#{}"),
              "[#{0A0B} #{0102} #{4869} #{0A0B} #{}]");
    for (const char* bad : {"#{0}", "8#{00}", "#{0G}", "2#{0101}", "64#{S===}"}) expect_invalid(bad, "binary!");
}

TEST_F(Lexer, ConstructionSyntax) {
    EXPECT_EQ(loaded("#(true) #(TRUE) #(false) #(none) #(unset) #(block!) #(Integer!)"),
              "[true true false none unset block! integer!]");
    EXPECT_EQ(memory::series_of(load("#(TRUE)").s2)->cells()[0].type(), TYPE_LOGIC);
    for (const char* bad : {"#(foo)", "#( true)", "#(true", "#(block)"}) {
        Raised r = refused(bad);
        EXPECT_EQ(r.code, err::malconstruct) << bad;
        ASSERT_EQ(r.args.size(), 2u);
        EXPECT_EQ(r.args[0], "(line 1)");
    }
    EXPECT_EQ(refused("#(foo)").args[1], "#(foo)");
}

TEST_F(Lexer, SyntaxErrorArguments) {
    struct Case {
        const char* text;
        err::Code code;
        std::vector<std::string> args;
    } cases[] = {
        {"12a", err::syntax_invalid, {"(line 1)", "integer!", "12a"}},
        {"1\n2\n3a", err::syntax_invalid, {"(line 3)", "integer!", "3a"}},
        {"x 12345678901234567890123456789012345a", err::syntax_invalid,
         {"(line 1)", "integer!", "123456789012345678901234567890"}},
        {"12345678901234567890123456789\xC3\xA9", err::syntax_invalid,
         {"(line 1)", "integer!", "12345678901234567890123456789"}},
        {"[\n 1a 2\n]", err::syntax_invalid, {"(line 2)", "integer!", "1a 2"}},
        {"1 2]", err::missing, {"(line 1)", "#\"[\"", "]"}},
        {"1 2)", err::missing, {"(line 1)", "#\"(\"", ")"}},
        {"(1 2]", err::missing, {"(line 1)", "#\")\"", "]"}},
        {"[1 2)", err::missing, {"(line 1)", "#\"]\"", ")"}},
        {"[1 2", err::missing, {"(line 1)", "#\"]\"", ""}},
        {"#[a 1", err::missing, {"(line 1)", "#\"]\"", ""}},
        {"a/", err::syntax_invalid, {"(line 1)", "path!", "a/"}},
        {"a/b/", err::syntax_invalid, {"(line 1)", "path!", "b/"}},
        {"a/b:/c", err::syntax_invalid, {"(line 1)", "path!", "b:/c"}},
        {"a/: b", err::syntax_invalid, {"(line 1)", "path!", "a/: b"}},
        {"a/b/:", err::syntax_invalid, {"(line 1)", "path!", "b/:"}},
        {"a/12a", err::bad_char, {"(line 1)", "12a"}},
        {"a \xFF", err::bad_char, {"(line 1)", "\xEF\xBF\xBD"}},  // U+FFFD stands for the bad byte
        {"1, 2", err::syntax_invalid, {"(line 1)", "point2D!", ", 2"}},
        {"(a, b)", err::syntax_invalid, {"(line 1)", "point2D!", "(a, b)"}},
        {"(x + 1, 2)", err::missing, {"(line 1)", "#\"(\"", ")"}},
        {"(1,", err::missing, {"(line 1)", "#\")\"", ""}},
    };
    for (const Case& c : cases) {
        Raised r = refused(c.text);
        EXPECT_EQ(r.code, c.code) << c.text;
        EXPECT_EQ(r.args, c.args) << c.text;
    }
}

TEST_F(Lexer, RefusedTokensNameTheirType) {
    struct Case {
        const char* text;
        const char* type;
    } cases[] = {
        {"256.1.1", "tuple!"}, {"1.2..3", "tuple!"}, {"1..2", "float!"}, {"1.2.3.4.5.6.7.8.9.10.11.12.13", "tuple!"},
        {"1''2", "integer!"}, {"123456789h", "integer!"}, {"1h", "integer!"}, {"Ah", "word!"},
        {"1.5x2", "pair!"}, {"1x2.5", "pair!"}, {"1e", "float!"}, {"1.#IN", "float!"},
        {"1.#INFINITY", "float!"}, {"1.e5", "float!"}, {"'1", "word!"},
        {"#[a 1 b]", "map!"}, {"#[[1] 2]", "map!"},
        {"29-Feb-2023", "date!"}, {"1:", "time!"}, {"1:2:3:4", "time!"}, {"1:-2", "time!"}, {"$1.123456", "money!"},
        {"ABCD$1", "money!"},
    };
    for (const Case& c : cases) expect_invalid(c.text, c.type);
}

TEST_F(Lexer, LineBreaksCountCrLfAndLoneCr) {
    EXPECT_EQ(refused("1\r\n2\r3\r\n4a").args[0], "(line 4)");
    EXPECT_EQ(refused("{a\nb\rc\r\n} 1a").args[0], "(line 4)");
    Cell b = load("[1\n2 3\r4 ;c\n 5\n(1, 2)]\n{x\ny} {z}");
    const Cell* top = memory::series_of(b.s2)->cells();
    const Cell* inner = memory::series_of(top[0].s2)->cells();
    bool flags[] = {false, true, false, true, true, true};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(inner[i].has_flag(FLAG_NEW_LINE), flags[i]) << i;
    EXPECT_FALSE(top[0].has_flag(FLAG_NEW_LINE));
    EXPECT_TRUE(top[1].has_flag(FLAG_NEW_LINE)) << "a braced string after a line break";
    EXPECT_FALSE(top[2].has_flag(FLAG_NEW_LINE)) << "line breaks inside the previous string do not count";
}

TEST_F(Lexer, UnicodeBlanksSeparateWords) {
    EXPECT_EQ(loaded("a\xC2\xA0" "b c\xE3\x80\x80" "d \xC2\xA0 e\xE2\x80\x8B"), "[a b c d e]");
    EXPECT_EQ(loaded("\xC2\xA0"), "[]");
    EXPECT_EQ(loaded("x/y\xC2\xA0z"), "[x/y z]");
    EXPECT_EQ(loaded("a\xC2\xA0/b \xC2\xA0\"s\" x/\xC2\xA0y"), "[a /b \"s\" x/y]");
    expect_invalid("a\x80", "word!");
    expect_invalid("\xC3\xA9\xC3", "word!");
}

TEST_F(Lexer, EmptyInputsAndComments) {
    EXPECT_EQ(loaded(""), "[]");
    EXPECT_EQ(loaded("  \t\n ;comment\n ; last"), "[]");
    EXPECT_EQ(loaded("1;c\n2"), "[1 2]");
    EXPECT_EQ(loaded("1\0 2"sv), "[1]") << "a NUL byte ends the text";
}

TEST_F(Lexer, MapLiteralsAreIndexed) {
    Cell b = load("#[a 1 \"k\" 2 3 [x]]");
    const Cell& m = memory::series_of(b.s2)->cells()[0];
    ASSERT_EQ(m.type(), TYPE_MAP);
    EXPECT_EQ(mold(m), "#[a 1 \"k\" 2 3 [x]]");
    EXPECT_EQ(hashtable::record(m.s3).live_count, 3);
    EXPECT_EQ(hashtable::record(m.s3).block, m.s2);
    EXPECT_EQ(hashtable::get(m.s3, integer_cell(3)), 4);
}

TEST_F(Lexer, DeepNestingIsBuiltWithoutRecursion) {
    constexpr int depth = 200000;
    Raised r = refused(std::string(depth, '['));
    EXPECT_EQ(r.code, err::missing);
    Cell b = load(std::string(depth, '[') + std::string(depth, ']'));
    int levels = 0;
    for (Cell c = b; c.is(TYPE_BLOCK) && memory::series_of(c.s2)->length() == 1; c = memory::series_of(c.s2)->cells()[0])
        ++levels;
    EXPECT_EQ(levels, depth);
}

// ---------------------------------------------------------------------------------------------
// transcode

TEST_F(Lexer, TranscodeNextGivesTheValueAndTheRest) {
    Cell src = text("1 2");
    Cell r = lexer::transcode(&src, {.next = true});
    EXPECT_EQ(mold(r), "[1 \" 2\"]");
    Cell rest = memory::series_of(r.s2)->cells()[1];
    EXPECT_EQ(rest.s1, 1u);
    EXPECT_EQ(rest.s2, src.s2);

    Cell wide = text("\xC3\xA9 x");
    EXPECT_EQ(memory::series_of(lexer::transcode(&wide, {.next = true}).s2)->cells()[1].s1, 1u)
        << "string positions are characters";
    Cell bom = binary("\xEF\xBB\xBF" "12 3");
    Cell r2 = lexer::transcode(&bom, {.next = true});
    EXPECT_EQ(mold(memory::series_of(r2.s2)->cells()[0]), "12");
    EXPECT_EQ(memory::series_of(r2.s2)->cells()[1].s1, 5u);
    Cell empty = text("");
    EXPECT_EQ(mold(lexer::transcode(&empty, {.next = true})), "[none \"\"]");
}

TEST_F(Lexer, TranscodeOneIntoAndPart) {
    Cell src = text("[1 2] 3");
    EXPECT_EQ(mold(lexer::transcode(&src, {.one = true})), "[1 2]");
    Cell dst = load("0");
    Cell r = lexer::transcode(&src, {.into = &dst});
    EXPECT_EQ(r.s2, dst.s2);
    EXPECT_EQ(mold(dst), "[0 [1 2] 3]");
    Cell count = integer_cell(5);
    EXPECT_EQ(mold(lexer::transcode(&src, {.part = &count})), "[[1 2]]");
    Cell numbers = text("1 2 3");
    Cell position = numbers;
    position.s1 = 3;
    EXPECT_EQ(mold(lexer::transcode(&numbers, {.part = &position})), "[1 2]");
    Cell negative = integer_cell(-4);
    EXPECT_EQ(mold(lexer::transcode(&numbers, {.part = &negative})), "[]");
    Cell bytes = binary("1 2");
    raised = {};
    EXPECT_THROW(lexer::transcode(&numbers, {.part = &bytes}), Unwind);
    EXPECT_EQ(raised.code, err::not_same_type);
}

TEST_F(Lexer, TranscodeScanAndPrescanGiveTypes) {
    struct Case {
        const char* text;
        const char* scan;
        const char* prescan;
    } cases[] = {
        {"", "none", "none"},
        {"  ;c", "none", "none"},
        {"1 2", "integer!", "integer!"},
        {"12a", "error!", "error!"},
        {"123456789h", "error!", "integer!"},
        {"[1 2", "error!", "error!"},
        {"[1 a] x", "block!", "block!"},
        {"a/b c", "path!", "path!"},
        {"{a{b}} x", "string!", "string!"},
        {"#\"a\" 1", "char!", "char!"},
        {"#(true)", "logic!", "logic!"},
        {"x: 1", "set-word!", "word!"},
        {"\"a^(zz)\"", "error!", "error!"},
        {"{a^(zz)}", "error!", "error!"},
        {"1.2.3.4.5.6.7.8.9.10.11.12.13", "error!", "tuple!"},
    };
    for (const Case& c : cases) {
        Cell src = text(c.text);
        EXPECT_EQ(mold(lexer::transcode(&src, {.scan = true})), c.scan) << c.text;
        EXPECT_EQ(mold(lexer::transcode(&src, {.prescan = true})), c.prescan) << c.text;
    }
    EXPECT_EQ(lexer::scan_type("a/b", lexer::Mode::scan), TYPE_PATH);
    Cell src = text("[1] rest");
    EXPECT_EQ(mold(lexer::transcode(&src, {.next = true, .scan = true})), "[block! \" rest\"]");
}

// ---------------------------------------------------------------------------------------------
// Trace protocol

const char* event_name(lexer::Event e) {
    switch (e) {
    case lexer::EVENT_PRESCAN: return "prescan";
    case lexer::EVENT_SCAN: return "scan";
    case lexer::EVENT_LOAD: return "load";
    case lexer::EVENT_OPEN: return "open";
    case lexer::EVENT_CLOSE: return "close";
    default: return "error";
    }
}

// Records each event as "event type-or-kind index token" and answers as `answer` says.
struct Recorder {
    std::vector<std::string> events;
    std::function<bool(lexer::TraceEvent&)> answer;
    lexer::Tracer tracer{lexer::EVENT_ALL, &Recorder::call, this};

    static bool call(void* context, lexer::TraceEvent& e) {
        auto* r = static_cast<Recorder*>(context);
        std::string type = e.type ? type_names[e.type] : "k" + std::to_string(e.kind);
        r->events.push_back(std::string(event_name(e.event)) + " " + type + " " + std::to_string(e.index) + " " +
                            mold(e.token));
        return r->answer ? r->answer(e) : true;
    }
};

TEST_F(Lexer, TraceEventsOfALoad) {
    Recorder r;
    lexer::ScanOptions options;
    options.tracer = &r.tracer;
    EXPECT_EQ(mold(load("[a 1] ;c\n{s}", options)), "[[a 1] \"s\"]");
    std::vector<std::string> expected = {
        "scan k3 1 1x2",         "open k3 0 1x2",          "scan word! 2 2x3", "load word! 2 a",
        "scan integer! 4 4x5",   "load integer! 4 1",      "scan k4 5 5x6",    "close block! 5 5x6",
        "scan k12 8 7x9",        "open k7 9 10x11",        "close string! 12 10x13",
        "scan string! 12 10x13", "load string! 12 \"s\"",
    };
    EXPECT_EQ(r.events, expected);
}

TEST_F(Lexer, TracePositionsOfStringInputAreCharacters) {
    Recorder r;
    r.tracer.events = lexer::EVENT_SCAN;
    Cell src = text("\xC3\xA9 ab");
    src.s1 = 0;
    lexer::transcode(&src, {.trace = &r.tracer});
    EXPECT_EQ(r.events, (std::vector<std::string>{"scan word! 1 1x2", "scan word! 4 3x5"}));
}

// Token starts lie before the position last counted: counting back from there must give the same
// character indexes as counting from the start.
TEST_F(Lexer, TracePositionsStepBackOverWideCharacters) {
    Recorder r;
    r.tracer.events = lexer::EVENT_OPEN | lexer::EVENT_CLOSE | lexer::EVENT_SCAN;
    Cell src = text("\xC3\xA9 [[\xC3\xA9\xC3\xBC] \xE2\x82\xAC]");
    src.s1 = 0;
    lexer::transcode(&src, {.trace = &r.tracer});
    std::vector<std::string> expected = {
        "scan word! 1 1x2", "scan k3 3 3x4",      "open k3 2 3x4",     "scan k3 4 4x5",
        "open k3 3 4x5",    "scan word! 6 5x7",   "scan k4 7 7x8",     "close block! 7 7x8",
        "scan word! 9 9x10", "scan k4 10 10x11",  "close block! 10 10x11",
    };
    EXPECT_EQ(r.events, expected);
}

TEST_F(Lexer, RefusedErrorsAreSkipped) {
    Recorder r;
    r.tracer.events = lexer::EVENT_ERROR;
    r.answer = [](lexer::TraceEvent&) { return false; };
    lexer::ScanOptions options;
    options.tracer = &r.tracer;
    EXPECT_EQ(mold(load("1 2a 3 } [4 (5", options)), "[1 a 3]");
    EXPECT_EQ(r.events, (std::vector<std::string>{"error integer! 3 3x4", "error error! 7 8x8", "error paren! 14 15x15",
                                                  "error block! 14 15x15"}));
    r.events.clear();
    EXPECT_EQ(mold(load("x a/b/12a/c y", options)), "[x a/b a/c y]") << "the path closes at the error";
}

TEST_F(Lexer, CallbackMovesTheCursor) {
    Recorder r;
    r.tracer.events = lexer::EVENT_ERROR | lexer::EVENT_SCAN;
    // Like the console's highlighter: step over the offending character and load nothing.
    r.answer = [](lexer::TraceEvent& e) {
        if (e.event == lexer::EVENT_ERROR) ++e.index;
        return false;
    };
    lexer::ScanOptions options;
    options.tracer = &r.tracer;
    EXPECT_EQ(mold(load("1 2^ ] 3", options)), "[]");
    EXPECT_EQ(r.events, (std::vector<std::string>{"scan integer! 1 1x2", "error integer! 3 3x4", "scan k4 6 6x7",
                                                  "error error! 6 6x7", "scan integer! 8 8x9"}));
}

TEST_F(Lexer, RefusedLoadsAndClosesDropValues) {
    Recorder r;
    r.tracer.events = lexer::EVENT_LOAD | lexer::EVENT_CLOSE;
    r.answer = [](lexer::TraceEvent& e) { return e.event == lexer::EVENT_LOAD ? !e.token.is(TYPE_INTEGER) : e.type != TYPE_PAREN; };
    lexer::ScanOptions options;
    options.tracer = &r.tracer;
    EXPECT_EQ(mold(load("a 1 [b 2] (c) d", options)), "[a [b] d]");
}

TEST_F(Lexer, NestedScansWorkAboveTheirParent) {
    Recorder r;
    r.tracer.events = lexer::EVENT_LOAD;
    std::string inner;
    size_t stack_during_nested = 0;
    r.answer = [&](lexer::TraceEvent&) {
        Recorder nested;
        nested.tracer.events = lexer::EVENT_LOAD;
        nested.answer = [&](lexer::TraceEvent&) {
            stack_during_nested = lexer::working_cells().size();
            return true;
        };
        Cell src = text("[x y]");
        inner = mold(lexer::transcode(&src, {.trace = &nested.tracer}));
        return true;
    };
    lexer::ScanOptions options;
    options.tracer = &r.tracer;
    EXPECT_EQ(mold(load("[a] b", options)), "[[a] b]");
    EXPECT_EQ(inner, "[[x y]]");
    EXPECT_GE(stack_during_nested, 3u) << "the parent's open block and value stay below the nested scan";
}

TEST_F(Lexer, LoadedValuesStayOnTheMarkedStackUntilTheirSeriesCloses) {
    Recorder r;
    r.tracer.events = lexer::EVENT_LOAD;
    std::vector<std::string> seen;
    r.answer = [&](lexer::TraceEvent&) {
        std::string cells;
        for (const Cell& c : lexer::working_cells()) cells += c.type() ? mold(c) + " " : "| ";
        seen.push_back(cells);
        return true;
    };
    lexer::ScanOptions options;
    options.tracer = &r.tracer;
    load("\"s\" [\"t\" x/\"u\"]", options);
    EXPECT_EQ(seen, (std::vector<std::string>{"\"s\" ", "\"s\" | \"t\" ", "\"s\" | \"t\" | x \"u\" "}));
}

TEST_F(Lexer, PrescanEventsAnnounceEveryToken) {
    Recorder r;
    r.tracer.events = lexer::EVENT_PRESCAN;
    Cell src = text("[a \"b\"]");
    EXPECT_EQ(mold(lexer::transcode(&src, {.prescan = true, .trace = &r.tracer})), "block!");
    EXPECT_EQ(r.events, (std::vector<std::string>{"prescan k3 0 1x2", "prescan word! 2 2x3", "prescan string! 6 4x7",
                                                  "prescan k4 6 7x8"}));
}

// ---------------------------------------------------------------------------------------------
// Collections during a scan

class LexerCollecting : public Lexer {
protected:
    // The collector runs: with VYN_GC_STRESS, every allocation of a scan collects.
    void SetUp() override { start_with({"externals", "value-slots", "collector"}); }
    void TearDown() override {
        collector::set_enabled(false);
        memory::set_collect_hook(nullptr);
        Lexer::TearDown();
    }
};

// Garbage made before each collection, so that compaction moves what the scan built so far.
TEST_F(LexerCollecting, ValuesBuiltSoFarSurviveAndMove) {
    Recorder r;
    r.tracer.events = lexer::EVENT_LOAD | lexer::EVENT_OPEN | lexer::EVENT_ERROR;
    uint64_t cycles = 0;
    r.answer = [&](lexer::TraceEvent&) {
        for (int i = 0; i < 50; ++i) text("garbage " + std::to_string(i));
        collector::collect();
        ++cycles;
        return true;
    };
    lexer::ScanOptions options;
    options.tracer = &r.tracer;
    const char* source = "\"a\" [\"b\" x/\"c\" #{0102} %f <t>] #[k \"v\"] (\"d\" {e}) word";
    Rooted loaded(load(source, options));
    EXPECT_GT(collector::figures().cycles, 10u);
    EXPECT_EQ(mold(*loaded), "[\"a\" [\"b\" x/\"c\" #{0102} %f <t>] #[k \"v\"] (\"d\" \"e\") word]");
    collector::collect();
    EXPECT_EQ(mold(*loaded), "[\"a\" [\"b\" x/\"c\" #{0102} %f <t>] #[k \"v\"] (\"d\" \"e\") word]");

    raised = {};
    r.tracer.events = lexer::EVENT_ERROR;
    EXPECT_THROW(scan("[\"kept\" 1a]", options), Unwind);
    EXPECT_EQ(raised.args, (std::vector<std::string>{"(line 1)", "integer!", "1a]"})) << "the arguments survive";
}

// Under VYN_GC_STRESS this collects at every allocation the scan makes.
TEST_F(LexerCollecting, EveryKindOfValueLoadsTheSameWithCollections) {
    const char* source =
        "a: [1 2.5 50% \"s\" {b} %%{r}%% #\"c\" #{FF} 1.2.3 3x4 (1, 2) #iss /ref 'lit :get "
        "http://u.v %f a@b.c <t> @r #(true) x/(y \"z\")/w: #[k 1] h\xC3\xA9llo \"\xF0\x9F\x98\x80\"]";
    collector::set_enabled(false);
    std::string quiet = mold(load(source));
    collector::set_enabled(true);
    Rooted loaded(load(source));
    EXPECT_EQ(mold(*loaded), quiet);
}

}  // namespace
