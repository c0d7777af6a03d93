// The lexer's data: the class of every byte (with the flag bits a token collects), the token
// state table over those classes, the datatype each state stands for, and the Unicode blanks.
// Invariant: a transition below FINAL_FIRST names a working state (0-64), any other a final state
// whose number minus 65 is the token kind.
#pragma once

#include <array>
#include <cstdint>

#include "core/cell.hpp"

namespace vyn::lexer {

enum CharClass : uint8_t {
    C_BLANK, C_LF, C_DIGIT, C_ZERO, C_LBRACKET, C_RBRACKET, C_LPAREN, C_RPAREN, C_LBRACE, C_RBRACE,
    C_DQUOTE, C_HASH, C_QUOTE, C_COLON, C_X, C_T, C_H, C_E_LOWER, C_E_UPPER, C_HEX_LOWER,
    C_HEX_UPPER, C_SLASH, C_BACKSLASH, C_LESS, C_GREATER, C_EQUAL, C_PERCENT, C_COMMA, C_SEMICOLON,
    C_AT, C_DOT, C_DOLLAR, C_PLUS, C_MINUS, C_CARET, C_CONTROL, C_HIGH, C_OTHER, C_BAD, C_END,
    CLASS_COUNT
};

// Flag bits of the class entries, ORed over the bytes of a token.
constexpr uint32_t CLASS_MASK = 0xFF;
constexpr uint32_t FLAG_BRACE_AFTER_LINE = 0x00020000;  // set by the braced-string scanner
constexpr uint32_t FLAG_PERCENT = 0x00040000;
constexpr uint32_t FLAG_GREATER = 0x00080000;
constexpr uint32_t FLAG_LESS = 0x00100000;
constexpr uint32_t FLAG_SIGN = 0x00200000;
constexpr uint32_t FLAG_END = 0x00400000;
constexpr uint32_t FLAG_HASH = 0x00800000;
constexpr uint32_t FLAG_EXPONENT = 0x01000000;
constexpr uint32_t FLAG_QUOTE = 0x02000000;
constexpr uint32_t FLAG_COLON = 0x04000000;
constexpr uint32_t FLAG_COMMA = 0x08000000;
constexpr uint32_t FLAG_DOT = 0x10000000;
constexpr uint32_t FLAG_CARET = 0x20000000;
constexpr uint32_t FLAG_UTF8_2 = 0x40000000;  // a lead byte 0xC2-0xEF
constexpr uint32_t FLAG_UTF8_4 = 0x80000000;  // a lead byte 0xF0-0xF7
constexpr uint32_t FLAG_NON_ASCII = FLAG_UTF8_2 | FLAG_UTF8_4;

// The unit size a string made from a token with these flags needs.
constexpr int unit_of_flags(uint32_t flags) {
    int unit = 1 << (flags >> 30);
    return unit > 4 ? 4 : unit;
}

constexpr int WORKING_STATES = 65;
constexpr uint8_t FINAL_FIRST = 66;
constexpr int STATE_COUNT = 102;

// Final states; the token kind is the state minus 65.
enum FinalState : uint8_t {
    T_END = 66, T_ERROR, T_BLOCK_OPEN, T_BLOCK_CLOSE, T_PAREN_OPEN, T_PAREN_CLOSE, T_BRACE_OPEN,
    T_BRACE_CLOSE, T_MAP_OPEN, T_PATH, T_CONSTRUCT, T_COMMENT, T_COMMA, T_STRING, T_WORD, T_ISSUE,
    T_INTEGER, T_REFINEMENT, T_CHAR, T_FILE, T_BINARY, T_PERCENT, T_FLOAT, T_FLOAT_SPECIAL, T_TUPLE,
    T_DATE, T_PAIR, T_POINT, T_TIME, T_MONEY, T_TAG, T_URL, T_EMAIL, T_HEX, T_RAW_STRING, T_REF
};
constexpr int kind_of(uint8_t final_state) { return final_state - 65; }

// Entry states the scanner core starts a token in.
constexpr uint8_t S_START = 0;
constexpr uint8_t S_BRACED = 4;
constexpr uint8_t S_QUOTED_FILE = 8;
constexpr uint8_t S_CONSTRUCT = 21;
constexpr uint8_t S_RAW_CLOSE = 12;
constexpr uint8_t S_POINT = 35;
constexpr uint8_t S_PATH_ELEMENT = 59;
constexpr uint8_t S_PATH_GET_WORD = 61;  // after the `:` of a get-word element

extern const std::array<uint32_t, 256> char_classes;
extern const std::array<std::array<uint8_t, CLASS_COUNT>, WORKING_STATES> transitions;
extern const std::array<TypeId, STATE_COUNT> state_types;

inline uint8_t class_of(uint8_t byte) { return uint8_t(char_classes[byte] & CLASS_MASK); }

// The 21 code points that separate tokens like a space although their bytes are word bytes.
bool is_unicode_blank(char32_t cp);

}  // namespace vyn::lexer
