// The error catalogue: every error category and id, in the order that fixes their codes, each id
// with its message template. Start-up builds `system/catalog/errors` from this table and every
// raise site names its error by an err::Code. Invariant: a code is category index x 100 + id
// number, the id number being the id's position in its category, so codes never move once given.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vyn::err {

// One enumerator per id: the id with hyphens turned into underscores. Ids whose bare name is a
// C++ keyword, and the syntax `invalid` (too easily read as any invalid-something), carry their
// category as a prefix.
enum Code : uint16_t {
    // throw
    throw_break = 0,
    throw_return = 1,
    throw_throw = 2,
    throw_continue = 3,
    while_cond = 4,
    // note
    no_load = 100,
    // syntax
    syntax_invalid = 200,
    missing = 201,
    no_header = 202,
    no_vs_header = 203,
    bad_header = 204,
    malconstruct = 205,
    bad_char = 206,
    // script
    no_value = 300,
    need_value = 301,
    not_defined = 302,
    not_in_context = 303,
    no_arg = 304,
    expect_arg = 305,
    expect_val = 306,
    expect_type = 307,
    cannot_use = 308,
    invalid_arg = 309,
    invalid_type = 310,
    invalid_type_spec = 311,
    invalid_key_type = 312,
    invalid_op = 313,
    no_op_arg = 314,
    bad_op_spec = 315,
    invalid_data = 316,
    invalid_part = 317,
    not_same_type = 318,
    not_same_class = 319,
    not_related = 320,
    bad_func_def = 321,
    bad_func_arg = 322,
    bad_func_extern = 323,
    no_refine = 324,
    bad_refines = 325,
    bad_refine = 326,
    dup_refine = 327,
    word_first = 328,
    empty_path = 329,
    unset_path = 330,
    invalid_path = 331,
    invalid_path_set = 332,
    invalid_path_get = 333,
    bad_path_type = 334,
    bad_path_type2 = 335,
    bad_path_set = 336,
    bad_field_set = 337,
    dup_vars = 338,
    past_end = 339,
    missing_arg = 340,
    out_of_range = 341,
    invalid_chars = 342,
    invalid_compare = 343,
    wrong_type = 344,
    invalid_refine_arg = 345,
    type_limit = 346,
    size_limit = 347,
    no_return = 348,
    throw_usage = 349,
    locked_word = 350,
    script_protected = 351,
    bad_bad = 352,
    bad_make_arg = 353,
    bad_to_arg = 354,
    invalid_months = 355,
    invalid_spec_field = 356,
    missing_spec_field = 357,
    move_bad = 358,
    too_long = 359,
    invalid_char = 360,
    bad_loop_series = 361,
    wrong_denom = 362,
    bad_denom = 363,
    invalid_obj_evt = 364,
    parse_rule = 365,
    parse_end = 366,
    parse_invalid_ref = 367,
    parse_block = 368,
    parse_unsupported = 369,
    parse_infinite = 370,
    parse_stack = 371,
    parse_keep = 372,
    parse_into_bad = 373,
    parse_into_type = 374,
    draw_invalid = 375,
    draw_infinite = 376,
    invalid_data_facet = 377,
    face_type = 378,
    not_window = 379,
    bad_window = 380,
    not_linked = 381,
    not_event_type = 382,
    invalid_facet_type = 383,
    vid_invalid_syntax = 384,
    rtd_invalid_syntax = 385,
    rtd_no_match = 386,
    react_bad_func = 387,
    react_not_enough = 388,
    react_no_match = 389,
    react_bad_obj = 390,
    react_gctx = 391,
    lib_invalid_arg = 392,
    vb_invalid_record = 393,
    // math
    zero_divide = 400,
    overflow = 401,
    positive = 402,
    // access
    cannot_open = 500,
    cannot_close = 501,
    invalid_utf8 = 502,
    not_open = 503,
    no_connect = 504,
    no_scheme = 505,
    unknown_scheme = 506,
    invalid_spec = 507,
    invalid_port = 508,
    invalid_actor = 509,
    no_port_action = 510,
    no_create = 511,
    no_codec = 512,
    bad_media = 513,
    invalid_cmd = 514,
    // user
    message = 800,
    // internal
    bad_path = 900,
    not_here = 901,
    no_memory = 902,
    wrong_mem = 903,
    stack_overflow = 904,
    limit_hit = 905,
    too_deep = 906,
    no_cycle = 907,
    feature_na = 908,
    not_done = 909,
    invalid_error = 910,
    routines = 911,
    vyn_system = 912,
    deprecated = 913,
};

constexpr int category_of(Code code) { return code / 100; }
constexpr int id_number_of(Code code) { return code % 100; }

}  // namespace vyn::err

namespace vyn::catalog {

// A message template is the source text of a language value, in one of two shapes:
//   template := string | word | "[" item { " " item } "]"
//   item     := string | word | get-word
//   string   := '"' { printable ASCII except '"' and '^' } '"'   (so no escape is ever needed)
//   word     := "arg1" | "arg2" | "arg3"
//   get-word := ":" word
// A word names the error field whose value takes its place in the message.
struct Id {
    std::string_view name;     // as written in the language, e.g. "no-value"
    std::string_view message;  // the template source, e.g. [:arg1 "has no value"]
};

struct Category {
    std::string_view word;       // the field name in the catalogue, e.g. "script"
    std::string_view type_text;  // the heading of a printed error, e.g. "Script Error"
    std::span<const Id> ids;     // in id-number order
};

// A category object holds `code` and `type` before its ids, so id number n is field n + 2.
constexpr int first_id_field = 2;

int category_count();
const Category& category(int index);  // index below category_count()
const Id& id_entry(err::Code code);

}  // namespace vyn::catalog
