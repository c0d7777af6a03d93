// The runtime's own words: spec and parse keywords, OS and event field names, the action names
// that owners of series hear before and after a change, error categories and internal frame
// names. Each is made once at start-up, after the symbol table and the global context, and kept
// in a C++ global, so nothing is looked up by name later. A global's name is the word's spelling
// with "-" as "_", "?" as "_q", "*" as "_star", a final "!" as "_type", a leading "frame_" for the
// angle-bracket words (<anon> is frame_anon), "|" as bar, "-" alone as minus, and "_" after names
// that are C++ keywords; OS names keep their capitals.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::words {

// Symbol ids.
namespace sym {
inline uint32_t spec, body, words, class_, logic_type, integer_type, char_type, float_type,
    percent_type, any_type_type, exit, return_, Windows, Syllable, macOS, Linux, NetBSD, repeat,
    foreach, map_each, remove_each, any, break_, copy, end, fail, into, opt, not_, quote, case_,
    reject, set, skip, some, thru, to, none, bar, minus, if_, remove, while_, insert, only, collect,
    keep, pick, ahead, after, x, y, z, self, values, owner, owned, events_q, true_, false_, yes, no,
    on, off, type, face, window, offset, key, flag, code, picked, flags, away_q, ctrl_q, shift_q,
    down_q, mid_down_q, alt_down_q, aux_down_q, orientation, get, put, post, head, size, rgb, alpha,
    argb, date, year, month, day, zone, isoweek, week, weekday, yearday, julian, time, hour, minute,
    second, timezone, amount, user, host, system, system_global, stack, trace, no_trace, lexer,
    exit_states, locale, currencies, list, options, money_digits, months;
// The symbol of the word `changed`.
inline uint32_t changed;
}  // namespace sym

// Words bound in the global context: parse keywords, OS names, action names with their past forms
// (put-ed and swaped spelled so), error categories and frame names.
inline Cell Windows, Syllable, macOS, Linux, NetBSD, to, thru, not_, remove, while_, collect, keep,
    ahead, bar, any, some, copy, opt, into, insert, if_, quote, set, case_, at, back, find, head,
    head_q, index_q, length_q, next, pick, skip, select, tail, tail_q, change, changed, clear,
    cleared, set_path, append, appended, move, moved, poke, poked, put, put_ed, removed, random,
    randomized, reverse, reversed, sort, sorted, swap, swaped, take, taken, trim, trimmed, inserted,
    uppercase, lowercase, checksum, push, pop, fetch, match, iterate, paren, frame_anon, frame_body,
    frame_not_found, end, add, subtract, divide, on_parse_event, on_change_star,
    on_deep_change_star, type, id, try_, catch_, name, multiply, browse, open, create, close,
    delete_, modify, query, read, rename, update, write, prescan, scan, load, error, comment, init,
    exec, call, return_, enter, exit, prolog, epilog, throw_, expr, frame_interp_callback,
    frame_lexer_callback, frame_parse_callback, frame_compare_callback, note, syntax, script, math,
    access, user, internal, invalid_error, local, frame_applied;

// Refinements, which have no context.
namespace ref {
inline Cell local, extern_, compare, part, skip, with;
}  // namespace ref

// The issue #ooo.
inline Cell ooo;

// Make the symbols and words, then the refinements, then the issue; start-up calls them in this
// order, after the symbol table and the global context exist.
void init_runtime_words();
void init_runtime_refinements();
void init_runtime_issue();

}  // namespace vyn::words
