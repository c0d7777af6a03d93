// Natives register in slot order; the table index of a native is its slot minus one, which the
// native! values made at start-up rely on.
#include "eval/natives.hpp"

#include <span>
#include <vector>

#include "core/fatal.hpp"
#include "core/raise.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {

Native table[TABLE_SIZE];

namespace {

int filled = 0;

// The hosts' natives, kept across start-ups: a host registers once, before the first.
std::vector<std::span<const Native>> host_lists;

using namespace entry;

const Native slots[NATIVE_COUNT] = {
    if_,                 // 1 if
    unless,              // 2 unless
    either,              // 3 either
    any,                 // 4 any
    all,                 // 5 all
    while_,              // 6 while
    until,               // 7 until
    loop,                // 8 loop
    repeat,              // 9 repeat
    forever,             // 10 forever
    foreach,             // 11 foreach
    forall,              // 12 forall
    remove_each,         // 13 remove-each
    func,                // 14 func
    function,            // 15 function
    does,                // 16 does
    has,                 // 17 has
    switch_,             // 18 switch
    case_,               // 19 case
    do_,                 // 20 do
    get,                 // 21 get
    set,                 // 22 set
    print,               // 23 print
    prin,                // 24 prin
    equal_q,             // 25 equal?
    not_equal_q,         // 26 not-equal?
    strict_equal_q,      // 27 strict-equal?
    lesser_q,            // 28 lesser?
    greater_q,           // 29 greater?
    lesser_or_equal_q,   // 30 lesser-or-equal?
    greater_or_equal_q,  // 31 greater-or-equal?
    same_q,              // 32 same?
    not_,                // 33 not
    type_q,              // 34 type?
    reduce,              // 35 reduce
    compose,             // 36 compose
    stats,               // 37 stats
    bind,                // 38 bind
    in,                  // 39 in
    parse,               // 40 parse
    union_,              // 41 union
    intersect,           // 42 intersect
    unique,              // 43 unique
    difference,          // 44 difference
    exclude,             // 45 exclude
    complement_q,        // 46 complement?
    dehex,               // 47 dehex
    enhex,               // 48 enhex
    negative_q,          // 49 negative?
    positive_q,          // 50 positive?
    max,                 // 51 max
    min,                 // 52 min
    shift,               // 53 shift
    to_hex,              // 54 to-hex
    sine,                // 55 sine
    cosine,              // 56 cosine
    tangent,             // 57 tangent
    arcsine,             // 58 arcsine
    arccosine,           // 59 arccosine
    arctangent,          // 60 arctangent
    arctangent2,         // 61 arctangent2
    nan_q,               // 62 NaN?
    log_2,               // 63 log-2
    log_10,              // 64 log-10
    log_e,               // 65 log-e
    exp,                 // 66 exp
    square_root,         // 67 square-root
    construct,           // 68 construct
    value_q,             // 69 value?
    try_,                // 70 try
    uppercase,           // 71 uppercase
    lowercase,           // 72 lowercase
    as_pair,             // 73 as-pair
    as_point2d,          // 74 as-point2D
    as_point3d,          // 75 as-point3D
    as_money,            // 76 as-money
    break_,              // 77 break
    continue_,           // 78 continue
    exit,                // 79 exit
    return_,             // 80 return
    throw_,              // 81 throw
    catch_,              // 82 catch
    extend,              // 83 extend
    debase,              // 84 debase
    to_local_file,       // 85 to-local-file
    wait,                // 86 wait
    checksum,            // 87 checksum
    unset,               // 88 unset
    new_line,            // 89 new-line
    new_line_q,          // 90 new-line?
    enbase,              // 91 enbase
    context_q,           // 92 context?
    set_env,             // 93 set-env
    get_env,             // 94 get-env
    list_env,            // 95 list-env
    now,                 // 96 now
    sign_q,              // 97 sign?
    as,                  // 98 as
    call,                // 99 call
    zero_q,              // 100 zero?
    size_q,              // 101 size?
    browse,              // 102 browse
    compress,            // 103 compress
    decompress,          // 104 decompress
    recycle,             // 105 recycle
    transcode,           // 106 transcode
    apply,               // 107 apply
};

// The routines of the environment's objects, bound by slot in its Vyn sources.
const Native library_slots[LIBRARY_NATIVE_COUNT] = {
    vynbin_encode,  // 108 system/codecs/vynbin/encode*
    vynbin_decode,  // 109 system/codecs/vynbin/decode
    encode_image,   // 110 the encoder of the image codecs
    decode_image,   // 111 and their decoder
};

}  // namespace

int count() { return filled; }

void init() {
    for (Native& n : table) n = nullptr;
    filled = 0;
    fill(slots, NATIVE_COUNT);
    fill(library_slots, LIBRARY_NATIVE_COUNT);
    for (std::span<const Native> list : host_lists) fill(list.data(), int(list.size()));
    init_print_buffer();
}

void register_host(const Native* list, int n) {
    for (std::span<const Native> known : host_lists)
        if (known.data() == list) return;
    host_lists.emplace_back(list, size_t(n));
}

void fill(const Native* list, int n) {
    VYN_REQUIRE(filled + n <= TABLE_SIZE);
    for (int i = 0; i < n; ++i) table[filled++] = list[i];
}

}  // namespace vyn::natives
