// The scan record shared by the scanner core (lexer.cpp) and the token loaders (lexer_load.cpp).
// One record lives on the C++ stack per running scan; records chain from the innermost scan.
// Invariant: a loader either pushes exactly one value onto the scan stack (load mode) or pushes
// nothing (scan and prescan modes), and raises through the record so traces and paths apply.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/catalog.hpp"
#include "eval/lexer.hpp"
#include "eval/lexer_tables.hpp"

namespace vyn::lexer {

constexpr uint32_t NO_MARKER = UINT32_MAX;

// Thrown when a trace callback refuses an error: the token is dropped and the scan goes on.
struct SkipToken {};
// Thrown when a scan that does not load meets an error: the scan ends reporting error!.
struct Refused {};

struct Lexer {
    Lexer(const uint8_t* input, size_t length, const ScanOptions& options, bool char_positions);
    ~Lexer();
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;

    ScanResult run();
    // Writes the values this scan left on the stack as the options ask (load mode).
    void output(Cell* result, const ScanOptions& options) const;

    // For the loaders.
    bool loading() const { return mode == Mode::load; }
    std::string_view token() const {
        return {reinterpret_cast<const char*>(token_start), size_t(token_end - token_start)};
    }
    // Pushes a finished value; it gets the new-line flag when a line break preceded its token.
    void push_value(Cell value);
    // The syntax errors. `invalid` names `type`, else the innermost open series' type; inside a
    // path every error but the path's own is reported as bad-char.
    [[noreturn]] void invalid(TypeId type);
    [[noreturn]] void bad_char();
    [[noreturn]] void malconstruct();

    // Scan chain and stack.
    Lexer* parent;
    uint32_t base;
    uint32_t innermost = NO_MARKER;  // scan-stack index of the innermost open series' marker

    // Input and the current token.
    const uint8_t* input;
    const uint8_t* end;
    const uint8_t* cursor;
    const uint8_t* token_start = nullptr;
    const uint8_t* token_end = nullptr;
    int32_t line = 1;
    uint32_t breaks = 0;  // line breaks between the previous token and this one
    TypeId token_type = TYPE_NONE_ID;
    uint8_t entry = S_START;
    uint8_t prev_state = S_START;
    uint8_t final_state = T_END;
    uint32_t flags = 0;
    uint8_t stop_class = C_END;  // class of the byte that ended the token's run

    // Braced strings span several runs of the state machine.
    int32_t brace_depth = 0;
    const uint8_t* brace_start = nullptr;
    uint32_t brace_flags = 0;
    const uint8_t* point_start = nullptr;

    Mode mode;
    bool one_value;
    const Tracer* tracer;
    bool char_positions;
    uint32_t origin;
    // Last byte offset translated to a character index: the next lookup counts from there.
    const uint8_t* counted_at;
    uint32_t counted_chars = 0;

    TypeId completed = TYPE_NONE_ID;  // type of a value the current token finished
    TypeId last_type = TYPE_NONE_ID;

    // Core steps (lexer.cpp).
    void read_token();
    void run_states(uint8_t state);
    void finish_token();
    void handle_token();
    void handle_value(TypeId announced);
    TypeId load_token();
    [[noreturn]] void refuse_token();
    void recover();
    void open_series(TypeId type);
    void close_series(TypeId closer);
    void build_innermost();
    void discard_innermost();
    void check_map(uint32_t first, uint32_t count);
    bool in_path() const;
    void open_paren();
    void comma();
    void brace_open();
    void brace_close();
    void open_path();
    void continue_path();
    void at_end();
    bool point_literal_follows() const;
    void find_raw_string_end();
    bool split_at_unicode_blanks();
    [[noreturn]] void invalid_path();
    [[noreturn]] void missing(TypeId open, uint8_t offending);
    [[noreturn]] void fail(err::Code code, TypeId type, uint32_t missing_char = 0);

    // Trace support.
    bool send(Event event, TypeId type, const uint8_t* position, const Cell* value = nullptr);
    uint32_t index_at(const uint8_t* p);
    const uint8_t* at_index(uint32_t index);
    bool wants(Event event) const { return tracer && (tracer->events & event); }
};

// Loaders (lexer_load.cpp): each builds or checks the current token and returns the type of the
// value it stands for.
TypeId load_value(Lexer& lx);
TypeId load_construct(Lexer& lx);
TypeId load_time(Lexer& lx);
TypeId load_date(Lexer& lx);
// The seconds of a time text ([sign] hours:minutes[:seconds]), or nothing when it is not one.
std::optional<double> read_time(std::string_view text);
TypeId load_string_text(Lexer& lx, const uint8_t* begin, const uint8_t* end, uint32_t flags);
// The head word of a path (the `'` or `:` prefix already removed).
void load_path_head(Lexer& lx, std::string_view name);
// Word-family cells. Loaded words are not bound yet: see make_word in lexer_load.cpp.
Cell make_word(TypeId type, std::string_view name);

}  // namespace vyn::lexer
