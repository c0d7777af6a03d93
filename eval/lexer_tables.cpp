// The lexer tables, built at compile time. Each row of the token state table is written as its
// default target plus the classes that go elsewhere, in the order the rows are documented, so a
// row reads like its description. Invariant: every (state, class) entry is set exactly once by
// the row builder: the default first, then the listed classes.
#include "eval/lexer_tables.hpp"

#include <initializer_list>

namespace vyn::lexer {
namespace {

constexpr std::array<uint32_t, 256> build_char_classes() {
    std::array<uint32_t, 256> t{};
    auto set = [&t](int byte, CharClass c, uint32_t flags = 0) { t[size_t(byte)] = c | flags; };
    for (int b = 0x01; b <= 0x1F; ++b) set(b, C_CONTROL);
    set(0, C_END, FLAG_END);
    set('\t', C_BLANK);
    set('\r', C_BLANK);
    set(' ', C_BLANK);
    set('\n', C_LF);
    for (int b = '1'; b <= '9'; ++b) set(b, C_DIGIT);
    set('0', C_ZERO);
    set('[', C_LBRACKET);
    set(']', C_RBRACKET);
    set('(', C_LPAREN);
    set(')', C_RPAREN);
    set('{', C_LBRACE);
    set('}', C_RBRACE);
    set('"', C_DQUOTE);
    set('#', C_HASH, FLAG_HASH);
    set('\'', C_QUOTE, FLAG_QUOTE);
    set(':', C_COLON, FLAG_COLON);
    set('x', C_X);
    set('X', C_X);
    set('T', C_T);
    set('h', C_H);
    set('e', C_E_LOWER, FLAG_EXPONENT);
    set('E', C_E_UPPER, FLAG_EXPONENT);
    for (int b : {'a', 'b', 'c', 'd', 'f'}) set(b, C_HEX_LOWER);
    for (int b : {'A', 'B', 'C', 'D', 'F'}) set(b, C_HEX_UPPER);
    set('/', C_SLASH);
    set('\\', C_BACKSLASH);
    set('<', C_LESS, FLAG_LESS);
    set('>', C_GREATER, FLAG_GREATER);
    set('=', C_EQUAL);
    set('%', C_PERCENT, FLAG_PERCENT);
    set(',', C_COMMA, FLAG_COMMA);
    set(';', C_SEMICOLON);
    set('@', C_AT);
    set('.', C_DOT, FLAG_DOT);
    set('$', C_DOLLAR);
    set('+', C_PLUS, FLAG_SIGN);
    set('-', C_MINUS, FLAG_SIGN);
    set('^', C_CARET, FLAG_CARET);
    for (int b = 0x7F; b <= 0xBF; ++b) set(b, C_HIGH);
    for (int b : {'!', '&', '*', '?', '_', '`', '~', '|'}) set(b, C_OTHER);
    for (int b = 'G'; b <= 'S'; ++b) set(b, C_OTHER);
    for (int b = 'U'; b <= 'W'; ++b) set(b, C_OTHER);
    for (int b : {'Y', 'Z', 'g', 'y', 'z'}) set(b, C_OTHER);
    for (int b = 'i'; b <= 'w'; ++b) set(b, C_OTHER);
    for (int b = 0xC2; b <= 0xEF; ++b) set(b, C_OTHER, FLAG_UTF8_2);
    for (int b = 0xF0; b <= 0xF7; ++b) set(b, C_OTHER, FLAG_UTF8_4);
    for (int b : {0xC0, 0xC1}) set(b, C_BAD);
    for (int b = 0xF8; b <= 0xFF; ++b) set(b, C_BAD);
    return t;
}

// Class groups as the rows name them.
using Classes = std::initializer_list<CharClass>;
constexpr CharClass BL = C_BLANK, LF = C_LF, D19 = C_DIGIT, D0 = C_ZERO, LBK = C_LBRACKET,
                    RBK = C_RBRACKET, LP = C_LPAREN, RP = C_RPAREN, LBC = C_LBRACE, RBC = C_RBRACE,
                    DQ = C_DQUOTE, HASH = C_HASH, QT = C_QUOTE, COL = C_COLON, XX = C_X, TT = C_T,
                    HH = C_H, LE = C_E_LOWER, UE = C_E_UPPER, LHEX = C_HEX_LOWER, UHEX = C_HEX_UPPER,
                    SL = C_SLASH, BSL = C_BACKSLASH, LT = C_LESS, GT = C_GREATER, EQ = C_EQUAL,
                    PCT = C_PERCENT, COM = C_COMMA, SEMI = C_SEMICOLON, AT = C_AT, DOT = C_DOT,
                    DOL = C_DOLLAR, PLUS = C_PLUS, MINUS = C_MINUS, CARET = C_CARET, CTL = C_CONTROL,
                    HI = C_HIGH, OTH = C_OTHER, BAD = C_BAD, NUL = C_END;

struct Rule {
    Classes classes;
    uint8_t target;
};

using Row = std::array<uint8_t, CLASS_COUNT>;

constexpr Row row(uint8_t otherwise, std::initializer_list<Rule> rules) {
    Row r{};
    for (auto& entry : r) entry = otherwise;
    for (const Rule& rule : rules)
        for (CharClass c : rule.classes) r[c] = rule.target;
    return r;
}

constexpr std::array<Row, WORKING_STATES> build_transitions() {
    return {{
        /* S0 */ row(52, {{{BL, LF, CTL}, 0}, {{SEMI}, 1}, {{DQ}, 2}, {{PCT}, 6}, {{SL}, 13}, {{HASH}, 16},
                          {{D19, D0}, 23}, {{DOL}, 36}, {{UE, UHEX}, 40}, {{LT}, 43}, {{PLUS, MINUS}, 47},
                          {{DOT}, 49}, {{QT, COL}, 51}, {{AT}, 57}, {{EQ}, 58}, {{NUL}, T_END},
                          {{RBC, BSL, HI, BAD}, T_ERROR}, {{LBK}, T_BLOCK_OPEN}, {{RBK}, T_BLOCK_CLOSE},
                          {{LP}, T_PAREN_OPEN}, {{RP}, T_PAREN_CLOSE}, {{LBC}, T_BRACE_OPEN}, {{COM}, T_COMMA}}),
        /* S1 */ row(1, {{{BAD}, T_ERROR}, {{LF, NUL}, T_COMMENT}}),
        /* S2 */ row(2, {{{CARET}, 3}, {{LF, BAD, NUL}, T_ERROR}, {{DQ}, T_STRING}}),
        /* S3 */ row(2, {{{BAD, NUL}, T_ERROR}}),
        /* S4 */ row(4, {{{CARET}, 5}, {{BAD, NUL}, T_ERROR}, {{LBC}, T_BRACE_OPEN}, {{RBC}, T_BRACE_CLOSE}}),
        /* S5 */ row(4, {{{BAD, NUL}, T_ERROR}}),
        /* S6 */ row(7, {{{DQ}, 8}, {{PCT}, 9}, {{LBC}, 10}, {{COL}, 54}, {{BAD}, T_ERROR},
                         {{BL, LF, LBK, RBK, LP, RP, RBC, SEMI, AT, CTL, NUL}, T_WORD}}),
        /* S7 */ row(7, {{{DQ, BAD}, T_ERROR}, {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, COL, SEMI, AT, NUL}, T_FILE}}),
        /* S8 */ row(8, {{{LF, BAD, NUL}, T_ERROR}, {{DQ}, T_FILE}}),
        /* S9 */ row(7, {{{PCT}, 9}, {{LBC}, 10}, {{BAD}, T_ERROR},
                         {{BL, LF, LBK, RBK, LP, RP, RBC, DQ, BSL, SEMI, CTL, NUL}, T_WORD}}),
        /* S10 */ row(10, {{{RBC}, 11}, {{BAD, NUL}, T_ERROR}}),
        /* S11 */ row(10, {{{RBC}, 11}, {{PCT}, 12}, {{BAD, NUL}, T_ERROR}}),
        /* S12 */ row(T_ERROR, {{{PCT}, 12}, {{BL, LF, LBK, RBK, LP, RP, LBC, DQ, LT, SEMI, CTL, NUL}, T_RAW_STRING}}),
        /* S13 */ row(14, {{{SL}, 15}, {{COL}, 53}, {{COM, BAD}, T_ERROR},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, HASH, SEMI, AT, CTL, NUL}, T_WORD}}),
        /* S14 */ row(14, {{{COL, COM, BAD}, T_ERROR},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, SL, SEMI, AT, CTL, NUL}, T_REFINEMENT}}),
        /* S15 */ row(52, {{{SL}, 15}, {{PCT, COM, DOL, BAD}, T_ERROR},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, HASH, SEMI, AT, CTL, NUL}, T_WORD}}),
        /* S16 */ row(22, {{{LBC}, 17}, {{DQ}, 19}, {{LP}, 21}, {{BL, LF, RBK, RP, RBC, COL, LT, GT, COM, BAD}, T_ERROR},
                           {{LBK}, T_MAP_OPEN}, {{SEMI, AT, CTL, NUL}, T_ISSUE}}),
        /* S17 */ row(T_ERROR, {{{BL, LF, D19, D0, XX, TT, HH, LE, UE, LHEX, UHEX, SL, EQ, PLUS, OTH}, 17},
                                {{SEMI}, 18}, {{RBC}, T_BINARY}}),
        /* S18 */ row(18, {{{LF}, 17}, {{BAD, NUL}, T_ERROR}}),
        /* S19 */ row(19, {{{CARET}, 20}, {{BAD, NUL}, T_ERROR}, {{DQ}, T_CHAR}}),
        /* S20 */ row(19, {{{BAD, NUL}, T_ERROR}}),
        /* S21 */ row(21, {{{BAD, NUL}, T_ERROR}, {{RP}, T_CONSTRUCT}}),
        /* S22 */ row(22, {{{COL, SL, BAD}, T_ERROR}, {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, SEMI, AT, CTL, NUL}, T_ISSUE}}),
        /* S23 */ row(T_INTEGER, {{{HASH}, 16}, {{D19, D0, QT}, 23}, {{DOT}, 24}, {{LE}, 26}, {{UE}, 27},
                                  {{TT, SL, MINUS}, 30}, {{COL}, 31}, {{XX}, 33}, {{UHEX}, 39}, {{HH}, 42}, {{AT}, 56},
                                  {{LHEX, BSL, GT, EQ, DOL, PLUS, CARET, HI, OTH, BAD}, T_ERROR}, {{PCT}, T_PERCENT}}),
        /* S24 */ row(T_ERROR, {{{D19, D0, QT}, 25}, {{LE, UE}, 26}, {{HASH}, 28}, {{XX}, 33}, {{PCT}, T_PERCENT},
                                {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, SL, LT, COM, SEMI, CTL, NUL}, T_FLOAT}}),
        /* S25 */ row(T_FLOAT, {{{D19, D0, QT}, 25}, {{LE, UE}, 26}, {{DOT}, 29}, {{XX}, 33}, {{AT}, 56},
                                {{HASH, TT, HH, LHEX, UHEX, BSL, GT, EQ, DOL, PLUS, MINUS, CARET, HI, OTH, BAD}, T_ERROR},
                                {{PCT}, T_PERCENT}}),
        /* S26 */ row(T_ERROR, {{{D19, D0, PLUS, MINUS}, 26}, {{AT}, 56},
                                {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, COL, SL, LT, COM, SEMI, CTL, NUL}, T_FLOAT}}),
        /* S27 */ row(T_FLOAT, {{{PLUS, MINUS}, 26}, {{D19, D0}, 27}, {{DOT}, 29}, {{UE, UHEX}, 40}, {{HH}, 42}, {{AT}, 56},
                                {{HASH, QT, XX, TT, LE, LHEX, BSL, GT, EQ, SEMI, DOL, CARET, HI, OTH, BAD}, T_ERROR},
                                {{PCT}, T_PERCENT}}),
        /* S28 */ row(T_FLOAT_SPECIAL, {{{XX, TT, HH, LE, UE, LHEX, UHEX, GT, EQ, DOT, PLUS, MINUS, HI, OTH}, 28},
                                        {{HASH, QT, COL, PCT, AT, DOL, CARET, BAD}, T_ERROR}, {{D19}, T_FLOAT}}),
        /* S29 */ row(T_ERROR, {{{D19, D0, DOT}, 29}, {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, COL, SL, LT, SEMI, CTL, NUL}, T_TUPLE}}),
        /* S30 */ row(30, {{{PCT, COM, AT, CARET, HI, BAD}, T_ERROR},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, LT, SEMI, DOL, CTL, NUL}, T_DATE}}),
        /* S31 */ row(T_ERROR, {{{D19, D0}, 32}}),
        /* S32 */ row(T_ERROR, {{{D19, D0, COL, DOT}, 32}, {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, SL, LT, SEMI, CTL, NUL}, T_TIME}}),
        /* S33 */ row(T_ERROR, {{{D19, D0, PLUS, MINUS}, 34}, {{AT}, 56}}),
        /* S34 */ row(T_ERROR, {{{D19, D0, LE, UE, DOT}, 34}, {{AT}, 56},
                                {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, COL, SL, LT, SEMI, CTL, NUL}, T_PAIR}}),
        /* S35 */ row(T_ERROR, {{{BL, D19, D0, RBK, HASH, LE, UE, LHEX, UHEX, COM, DOT, PLUS, MINUS, OTH}, 35}, {{RP}, T_POINT}}),
        /* S36 */ row(T_ERROR, {{{D19, D0}, 37}}),
        /* S37 */ row(T_ERROR, {{{D19, D0, QT}, 37}, {{DOT}, 38},
                                {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, HASH, COL, SL, LT, SEMI, CTL, NUL}, T_MONEY}}),
        /* S38 */ row(T_ERROR, {{{D19, D0, QT}, 38},
                                {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, HASH, COL, SL, LT, SEMI, CTL, NUL}, T_MONEY}}),
        /* S39 */ row(T_ERROR, {{{D19, D0, UE, UHEX}, 39}, {{HH}, 41}, {{AT}, 56}}),
        /* S40 */ row(T_WORD, {{{DOL}, 37}, {{D19, D0, UE, UHEX}, 40}, {{HH}, 41},
                               {{QT, XX, TT, LE, LHEX, LT, GT, EQ, DOT, PLUS, MINUS, CARET, HI, OTH}, 52}, {{COL}, 53},
                               {{AT}, 56}, {{PCT, COM, BAD}, T_ERROR}, {{SL}, T_PATH}}),
        /* S41 */ row(52, {{{DOL}, 37}, {{COL}, 53}, {{AT}, 56}, {{HASH, PCT, COM, BAD}, T_ERROR}, {{SL}, T_PATH},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, BSL, SEMI, CTL, NUL}, T_HEX}}),
        /* S42 */ row(T_ERROR, {{{DOL}, 37}, {{AT}, 56}, {{SL}, T_PATH},
                                {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, BSL, LT, SEMI, CTL, NUL}, T_HEX}}),
        /* S43 */ row(44, {{{LT}, 43}, {{QT}, 46}, {{GT, EQ, MINUS}, 52}, {{COL}, 53}, {{BAD}, T_ERROR},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, SEMI, CTL, NUL}, T_WORD}}),
        /* S44 */ row(44, {{{DQ}, 45}, {{QT}, 46}, {{BAD, NUL}, T_ERROR}, {{GT}, T_TAG}}),
        /* S45 */ row(45, {{{DQ}, 44}, {{BAD, NUL}, T_ERROR}}),
        /* S46 */ row(46, {{{QT}, 44}, {{BAD, NUL}, T_ERROR}}),
        /* S47 */ row(52, {{{D19, D0}, 23}, {{DOL}, 37}, {{DOT}, 49}, {{QT, PCT, CARET, BAD}, T_ERROR}, {{SL}, T_PATH},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, HASH, BSL, SEMI, CTL, NUL}, T_WORD}}),
        /* S48 */ row(52, {{{QT, PCT, DOL, CARET, BAD}, T_ERROR}, {{SL}, T_PATH},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, HASH, BSL, SEMI, CTL, NUL}, T_WORD}}),
        /* S49 */ row(52, {{{D19, D0, PLUS, MINUS}, 50}, {{COL}, 53}, {{AT}, 56}, {{PCT, COM, DOL, BAD}, T_ERROR},
                           {{SL}, T_PATH}, {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, HASH, BSL, SEMI, CTL, NUL}, T_WORD}}),
        /* S50 */ row(T_ERROR, {{{XX}, 33}, {{D19, D0, LE, UE, PLUS, MINUS}, 50}, {{AT}, 56}, {{PCT}, T_PERCENT},
                                {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, COL, SL, LT, CTL, NUL}, T_FLOAT}}),
        /* S51 */ row(T_ERROR, {{{SL}, 13}, {{LT}, 43}, {{PLUS, MINUS}, 48},
                                {{XX, TT, HH, LE, UE, LHEX, UHEX, GT, DOT, CARET, HI, OTH}, 52}, {{PCT}, 54}, {{EQ}, 58}}),
        /* S52 */ row(52, {{{DOL}, 36}, {{COL}, 53}, {{AT}, 56}, {{PCT, COM, BAD}, T_ERROR}, {{SL}, T_PATH},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, HASH, BSL, LT, SEMI, CTL, NUL}, T_WORD}}),
        /* S53 */ row(55, {{{LT, BAD}, T_ERROR}, {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, BSL, SEMI, CTL, NUL}, T_WORD}}),
        /* S54 */ row(T_ERROR, {{{PCT}, 54}, {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, BSL, SEMI, CTL, NUL}, T_WORD}}),
        /* S55 */ row(55, {{{GT, CARET, BAD}, T_ERROR}, {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, BSL, LT, SEMI, CTL, NUL}, T_URL}}),
        /* S56 */ row(T_EMAIL, {{{D19, D0, XX, TT, HH, LE, UE, LHEX, UHEX, PCT, DOT, PLUS, MINUS, HI, OTH}, 56},
                                {{HASH, QT, COL, GT, EQ, COM, AT, DOL, CARET, BAD}, T_ERROR}}),
        /* S57 */ row(57, {{{HASH, QT, BSL, GT, EQ, COM, AT, DOL, CARET, BAD}, T_ERROR},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, LT, SEMI, CTL, NUL}, T_REF}}),
        /* S58 */ row(52, {{{HASH, PCT, COM, AT, DOL, BAD}, T_ERROR}, {{SL}, T_PATH},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, COL, BSL, SEMI, CTL, NUL}, T_WORD}}),
        /* S59 */ row(T_ERROR, {{{DQ}, 2}, {{DOL}, 36}, {{LT}, 43}, {{AT}, 57}, {{D19, D0}, 60}, {{QT, COL}, 61},
                                {{XX, TT, HH, LE, UE, LHEX, UHEX, GT, EQ, DOT, HI, OTH}, 62}, {{HASH}, 63},
                                {{PLUS, MINUS}, 64}, {{LP}, T_PAREN_OPEN}, {{RP}, T_PAREN_CLOSE}}),
        /* S60 */ row(T_ERROR, {{{DOT}, 24}, {{LE, UE}, 26}, {{XX}, 33}, {{AT}, 56}, {{D19, D0, QT}, 60},
                                {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, COL, SL, LT, SEMI, CTL, NUL}, T_INTEGER},
                                {{PCT}, T_PERCENT}}),
        /* S61 */ row(T_ERROR, {{{XX, TT, HH, LE, UE, LHEX, UHEX, LT, GT, EQ, DOT, PLUS, MINUS, HI, OTH}, 62}}),
        /* S62 */ row(62, {{{DOL}, 36}, {{AT}, 56}, {{HASH, PCT, COM, BAD}, T_ERROR},
                           {{BL, LF, LBK, RBK, LP, RP, LBC, RBC, DQ, COL, SL, BSL, SEMI, CTL, NUL}, T_WORD}}),
        /* S63 */ row(22, {{{DQ}, 19}, {{LBK}, 21},
                           {{BL, LF, RBK, LP, RP, LBC, RBC, COL, SL, LT, GT, EQ, COM, SEMI, AT, CTL, BAD, NUL}, T_ERROR}}),
        /* S64 */ row(T_WORD, {{{DOL}, 36}, {{AT}, 56}, {{D19, D0}, 60},
                               {{XX, TT, HH, LE, UE, LHEX, UHEX, GT, EQ, DOT, HI, OTH}, 62}, {{PLUS, MINUS}, 64},
                               {{HASH, QT, LT, PCT, COM, CARET, BAD}, T_ERROR}}),
    }};
}

// The datatype of each state: for a final state the type of its token, for a working state the
// type a token cut short there was heading for (named by errors raised from that state).
constexpr std::array<TypeId, STATE_COUNT> build_state_types() {
    std::array<TypeId, STATE_COUNT> t{};
    auto set = [&t](std::initializer_list<int> states, TypeId type) {
        for (int s : states) t[size_t(s)] = type;
    };
    set({2, 3, 4, 5, 10, 11, 12}, TYPE_STRING);
    set({6, 7, 8, 9}, TYPE_FILE);
    set({13, 14}, TYPE_REFINEMENT);
    set({15, 40, 47, 48, 49, 51, 52, 54, 58, 61, 62, 64}, TYPE_WORD);
    set({16, 22, 63}, TYPE_ISSUE);
    set({17, 18}, TYPE_BINARY);
    set({19, 20}, TYPE_CHAR);
    set({23, 39, 41, 42, 60}, TYPE_INTEGER);
    set({24, 25, 26, 27, 28, 50}, TYPE_FLOAT);
    set({29}, TYPE_TUPLE);
    set({30}, TYPE_DATE);
    set({31, 32}, TYPE_TIME);
    set({33, 34}, TYPE_PAIR);
    set({35}, TYPE_POINT2D);
    set({36, 37, 38}, TYPE_MONEY);
    set({43, 44, 45, 46}, TYPE_TAG);
    set({53, 55}, TYPE_URL);
    set({56}, TYPE_EMAIL);
    set({57}, TYPE_REF);
    set({59}, TYPE_PATH);

    set({T_ERROR}, TYPE_ERROR);
    set({T_BLOCK_OPEN, T_BLOCK_CLOSE}, TYPE_BLOCK);
    set({T_PAREN_OPEN, T_PAREN_CLOSE}, TYPE_PAREN);
    set({T_BRACE_OPEN, T_BRACE_CLOSE, T_STRING, T_RAW_STRING}, TYPE_STRING);
    set({T_MAP_OPEN}, TYPE_MAP);
    set({T_PATH}, TYPE_PATH);
    set({T_WORD}, TYPE_WORD);
    set({T_ISSUE}, TYPE_ISSUE);
    set({T_INTEGER, T_HEX}, TYPE_INTEGER);
    set({T_REFINEMENT}, TYPE_REFINEMENT);
    set({T_CHAR}, TYPE_CHAR);
    set({T_FILE}, TYPE_FILE);
    set({T_BINARY}, TYPE_BINARY);
    set({T_PERCENT}, TYPE_PERCENT);
    set({T_FLOAT, T_FLOAT_SPECIAL}, TYPE_FLOAT);
    set({T_TUPLE}, TYPE_TUPLE);
    set({T_DATE}, TYPE_DATE);
    set({T_PAIR}, TYPE_PAIR);
    set({T_POINT}, TYPE_POINT2D);
    set({T_TIME}, TYPE_TIME);
    set({T_MONEY}, TYPE_MONEY);
    set({T_TAG}, TYPE_TAG);
    set({T_URL}, TYPE_URL);
    set({T_EMAIL}, TYPE_EMAIL);
    set({T_REF}, TYPE_REF);
    return t;
}

}  // namespace

constinit const std::array<uint32_t, 256> char_classes = build_char_classes();
constinit const std::array<std::array<uint8_t, CLASS_COUNT>, WORKING_STATES> transitions = build_transitions();
constinit const std::array<TypeId, STATE_COUNT> state_types = build_state_types();

bool is_unicode_blank(char32_t cp) {
    switch (cp) {
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x180E:
    case 0x200B:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000: return true;
    default: return cp >= 0x2000 && cp <= 0x200A;
    }
}

}  // namespace vyn::lexer
