// Open addressing over 2-bit bucket flags (empty, deleted, live) and a word per bucket. Probes
// visit hash, +1, +3, +6 ... (mod a power of two), which reaches every bucket, so a lookup ends
// at the first empty bucket. Keys are placed in the order they were added, also when a table
// grows, so the first of several keys sharing a probe sequence is always met first: this is what
// lets the symbol table and context tables find the first spelling of a name by ASCII case.
// Any allocation may collect: a table is consistent for marking at each one, and the arrays and
// blocks not yet linked to a rooted table are rooted themselves.
#include "core/hashtable.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/casefold.hpp"
#include "core/memory.hpp"
#include "core/murmur3.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"

namespace vyn::hashtable {

namespace {

using memory::series_of;

uint32_t hash_seed = 0x9747B28Cu;
void (*prepare_map_key)(Cell*, Cell*) = nullptr;

constexpr uint8_t LIVE = 0;
constexpr uint8_t DELETED = 1;
constexpr uint8_t EMPTY = 2;
constexpr uint8_t ALL_EMPTY = 0xAA;  // a flag byte of four empty buckets
constexpr double LOAD_FACTOR = 0.77;
constexpr uint32_t MAX_BUCKETS = 1u << 30;
constexpr uint32_t SHIFT_LIMIT = 30000;
constexpr uint32_t FREE_CHAIN_SLOT = 0x80000000;  // chain store slot on the free list
constexpr int32_t GROWTH_FACTOR_WORDS = 16;       // symbol and context tables grow steeply

// ---- key logic per type

uint32_t slot(const Cell& c, int n) { return n == 1 ? c.s1 : n == 2 ? c.s2 : c.s3; }

template <int First, int Count>
uint32_t hash_slots(const Cell& c) {
    const uint32_t words[3] = {c.s1, c.s2, c.s3};
    return murmur3(words + First - 1, Count * 4, hash_seed);
}

template <int First, int Count>
bool equal_slots(const Cell& a, const Cell& b, Mode) {
    for (int n = First; n < First + Count; ++n)
        if (slot(a, n) != slot(b, n)) return false;
    return true;
}

template <int Slot>
uint32_t hash_int_slot(const Cell& c) {
    return hash_int(slot(c, Slot));
}

template <uint32_t Value>
uint32_t hash_constant(const Cell&) {
    return Value;
}

bool equal_always(const Cell&, const Cell&, Mode) { return true; }

uint32_t hash_word(const Cell& c) { return hash_int(symbol::resolve(c.s2)); }

bool equal_word(const Cell& a, const Cell& b, Mode mode) {
    switch (mode) {
    case Mode::same: return a.s1 == b.s1 && a.s2 == b.s2;
    case Mode::strict: return a.s2 == b.s2;
    default: return symbol::resolve(a.s2) == symbol::resolve(b.s2);
    }
}

uint8_t ascii_lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? uint8_t(b + ('a' - 'A')) : b; }

bool names_equal(std::string_view a, std::string_view b, bool fold_ascii) {
    if (a.size() != b.size()) return false;
    if (!fold_ascii) return a == b;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(uint8_t(a[i])) != ascii_lower(uint8_t(b[i]))) return false;
    return true;
}

uint32_t hash_name(std::string_view name) {
    return murmur3_ascii_lowered(reinterpret_cast<const uint8_t*>(name.data()), name.size(), hash_seed);
}

uint32_t hash_symbol(const Cell& c) { return hash_name(symbol::name_of(c)); }

bool equal_symbol(const Cell& a, const Cell& b, Mode mode) {
    if (mode == Mode::same) return a.s3 == b.s3;
    return names_equal(symbol::name_of(a), symbol::name_of(b), mode == Mode::equal);
}

uint32_t hash_text(const Cell& c) { return hash_string(c, true); }

bool equal_text(const Cell& a, const Cell& b, Mode mode) {
    if (mode == Mode::same) return a.s1 == b.s1 && a.s2 == b.s2;
    unicode::Text x = unicode::text_of(a);
    unicode::Text y = unicode::text_of(b);
    if (x.count != y.count) return false;
    // Units of one width hold the same code points exactly when their bytes agree.
    if (x.unit == y.unit) {
        if (std::memcmp(x.units, y.units, size_t(x.count) * size_t(x.unit)) == 0) return true;
        if (mode == Mode::strict) return false;
    }
    for (uint32_t i = 0; i < x.count; ++i) {
        uint32_t p = x.at(i), q = y.at(i);
        if (p != q && (mode == Mode::strict || casefold::upper_char_inline(p) != casefold::upper_char_inline(q)))
            return false;
    }
    return true;
}

std::string_view bytes_of(const Cell& binary) {
    unicode::Text t = unicode::text_of(binary);
    return {reinterpret_cast<const char*>(t.units), size_t(t.count) * t.unit};
}

uint32_t hash_binary(const Cell& c) {
    std::string_view b = bytes_of(c);
    return murmur3(b.data(), b.size(), hash_seed);
}

bool equal_binary(const Cell& a, const Cell& b, Mode mode) {
    if (mode == Mode::same) return a.s1 == b.s1 && a.s2 == b.s2;
    return bytes_of(a) == bytes_of(b);
}

// A tuple keeps its length in header bits 19-22 and its bytes from byte 4 of the cell.
std::string_view tuple_bytes(const Cell& c) {
    size_t length = std::min<size_t>((c.header >> 19) & 0xF, 12);
    return {reinterpret_cast<const char*>(&c) + 4, length};
}

uint32_t hash_tuple(const Cell& c) {
    std::string_view b = tuple_bytes(c);
    return murmur3(b.data(), b.size(), hash_seed);
}

bool equal_tuple(const Cell& a, const Cell& b, Mode) { return tuple_bytes(a) == tuple_bytes(b); }

// A money! amount: the cell with its header reduced to the type and the sign bit.
Cell money_key(const Cell& c) {
    Cell k = c;
    k.header &= 0xFFu | 0x4000u;
    return k;
}

uint32_t hash_money(const Cell& c) {
    Cell k = money_key(c);
    return murmur3(&k, sizeof k, hash_seed);
}

bool equal_money(const Cell& a, const Cell& b, Mode) {
    Cell x = money_key(a), y = money_key(b);
    return std::memcmp(&x, &y, sizeof x) == 0;
}

std::array<KeyOps, TYPE_TABLE_SIZE> default_key_ops() {
    std::array<KeyOps, TYPE_TABLE_SIZE> ops;
    ops.fill({hash_constant<0>, equal_slots<1, 3>});
    auto set = [&ops](std::initializer_list<TypeId> types, KeyOps pair) {
        for (TypeId t : types) ops[t] = pair;
    };
    set({TYPE_UNSET}, {hash_constant<0xFFFFFFFEu>, equal_always});
    set({TYPE_NONE}, {hash_constant<0xFFFFFFFFu>, equal_always});
    set({TYPE_DATATYPE, TYPE_LOGIC, TYPE_OBJECT, TYPE_ERROR, TYPE_PORT}, {hash_int_slot<1>, equal_slots<1, 1>});
    set({TYPE_CHAR, TYPE_INTEGER, TYPE_MAP, TYPE_HANDLE, TYPE_EVENT}, {hash_int_slot<2>, equal_slots<2, 1>});
    set({TYPE_NATIVE, TYPE_ACTION}, {hash_int_slot<3>, equal_slots<1, 3>});
    set({TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE}, {hash_word, equal_word});
    set({TYPE_SYMBOL}, {hash_symbol, equal_symbol});
    set({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF}, {hash_text, equal_text});
    set({TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH, TYPE_HASH, TYPE_IMAGE,
         TYPE_POINT2D},
        {hash_slots<1, 2>, equal_slots<1, 2>});
    set({TYPE_FLOAT, TYPE_PAIR, TYPE_PERCENT, TYPE_TIME}, {hash_slots<2, 2>, equal_slots<2, 2>});
    set({TYPE_OP, TYPE_FUNCTION, TYPE_TRIPLE, TYPE_TYPESET, TYPE_DATE, TYPE_POINT3D},
        {hash_slots<1, 3>, equal_slots<1, 3>});
    set({TYPE_TUPLE}, {hash_tuple, equal_tuple});
    set({TYPE_BINARY}, {hash_binary, equal_binary});
    set({TYPE_MONEY}, {hash_money, equal_money});
    return ops;
}

std::array<KeyOps, TYPE_TABLE_SIZE> key_ops = default_key_ops();

bool same_type_and_equal(const Cell& stored, const Cell& key, Mode mode) {
    return stored.type() == key.type() && keys_equal(stored, key, mode);
}

bool is_word_like(TypeId t) { return t >= TYPE_WORD && t <= TYPE_GET_WORD; }

// ---- sizing

uint32_t next_power_of_two(uint64_t n) {
    uint32_t p = 1;
    while (p < n && p < MAX_BUCKETS) p <<= 1;
    return p;
}

uint32_t initial_bucket_count(uint64_t size) {
    return next_power_of_two(uint64_t(double(std::max<uint64_t>(size, 4)) / LOAD_FACTOR));
}

int32_t limit_of(uint32_t buckets, double rounding) { return int32_t(double(buckets) * LOAD_FACTOR + rounding); }

// The target size of a full table: the same size when deleted buckets make much of it up.
uint32_t growth_target(const Record& r) {
    bool mostly_deleted = r.live_count * 2 < r.bucket_count && r.kind != Kind::map_index;
    return uint32_t(mostly_deleted ? r.bucket_count - 1 : r.bucket_count + 1);
}

// ---- the arrays

uint8_t flag_of(const uint8_t* flags, uint32_t b) { return (flags[b >> 2] >> ((b & 3) << 1)) & 3; }

void set_flag(uint8_t* flags, uint32_t b, uint8_t value) {
    int shift = int(b & 3) << 1;
    flags[b >> 2] = uint8_t((flags[b >> 2] & ~(3 << shift)) | value << shift);
}

Cell* block_cells(NodeId block) { return series_of(block)->cells(); }
uint32_t block_length(NodeId block) { return series_of(block)->length(); }

struct View {
    Record* rec;
    uint8_t* flags;
    int32_t* buckets;
    uint32_t* hashes;  // kind 1: the hash of each bucket's key, so that probes compare keys of equal
                       // hash only and growth needs no key hashed again; null for the other kinds
    uint32_t mask;
};

bool keeps_hashes(Kind kind) { return kind == Kind::map_index; }

// Whether `extra` names a node: the cell-to-bucket array of kind 0, the hashes of kind 1.
bool holds_extra_node(Kind kind) { return kind == Kind::hash_index || keeps_hashes(kind); }

View view(NodeId table) {
    Record* r = &record(table);
    uint32_t* hashes =
        keeps_hashes(r->kind) ? reinterpret_cast<uint32_t*>(series_of(NodeId(r->extra))->data()) : nullptr;
    return {r, series_of(r->flags)->data(), reinterpret_cast<int32_t*>(series_of(r->buckets)->data()), hashes,
            uint32_t(r->bucket_count - 1)};
}

void occupy(const View& v, uint32_t bucket, int32_t value, uint32_t hash = 0) {
    if (flag_of(v.flags, bucket) == EMPTY) ++v.rec->occupied;
    set_flag(v.flags, bucket, LIVE);
    v.buckets[bucket] = value;
    if (v.hashes) v.hashes[bucket] = hash;
    ++v.rec->live_count;
}

void vacate(const View& v, uint32_t bucket) {
    set_flag(v.flags, bucket, DELETED);
    --v.rec->live_count;
}

struct Probe {
    uint32_t bucket;
    uint32_t mask;
    uint32_t step = 0;

    Probe(uint32_t hash, uint32_t m) : bucket(hash & m), mask(m) {}
    // False once every bucket was visited.
    bool next() {
        ++step;
        bucket = (bucket + step) & mask;
        return step <= mask;
    }
};

struct Slot {
    int32_t match = -1;  // the live bucket accepted
    int32_t free = -1;   // the first deleted bucket met, else the empty one that ended the probe
};

// Walks the probe of a hash until `accepts` takes the value of a live bucket or an empty bucket
// ends it.
template <class Accepts>
Slot search(const View& v, uint32_t hash, Accepts accepts) {
    Slot slot;
    Probe p(hash, v.mask);
    do {
        uint8_t f = flag_of(v.flags, p.bucket);
        if (f == LIVE) {
            if ((!v.hashes || v.hashes[p.bucket] == hash) && accepts(v.buckets[p.bucket])) {
                slot.match = int32_t(p.bucket);
                return slot;
            }
            continue;
        }
        if (slot.free < 0) slot.free = int32_t(p.bucket);
        if (f == EMPTY) return slot;
    } while (p.next());
    return slot;
}

bool rejects_all(int32_t) { return false; }

// Cells that keep a node, or a whole table, alive while they are rooted.
Cell node_cell(NodeId node) { return make_cell(TYPE_BINARY, 0, node, 0); }
Cell table_cell(NodeId table) { return make_cell(TYPE_HASH, 0, 0, table); }

// Empty flag and bucket arrays for `count` buckets, counts at 0. The arrays keep their contents
// while they grow, so a collection on the way still reads the table as it was.
void reset_arrays(NodeId table, uint32_t count, int32_t limit) {
    NodeId flags = record(table).flags;
    NodeId buckets = record(table).buckets;
    uint32_t flag_bytes = count / 4;
    if (series_of(flags)->capacity < flag_bytes) memory::expand_copy(flags, align_up(flag_bytes, 16));
    if (series_of(buckets)->capacity < uint64_t(count) * 4) memory::expand_copy(buckets, uint64_t(count) * 4);
    NodeId hashes = NodeId(record(table).extra);
    if (keeps_hashes(record(table).kind) && series_of(hashes)->capacity < uint64_t(count) * 4)
        memory::expand_copy(hashes, uint64_t(count) * 4);
    Series* f = series_of(flags);
    memory::fill(f->data(), f->data() + flag_bytes, ALL_EMPTY);
    Record& r = record(table);
    r.bucket_count = int32_t(count);
    r.growth_limit = limit;
    r.live_count = r.occupied = 0;
}

// ---- kind 0: the cell-to-bucket array and the duplicate chains

int32_t cell_bucket(const Record& r, uint32_t index) {
    Series* s = series_of(NodeId(r.extra));
    if (uint64_t(index) * 4 + 4 > s->capacity) return -1;
    int32_t b;
    std::memcpy(&b, s->data() + size_t(index) * 4, 4);
    return b;
}

void set_cell_bucket(NodeId table, uint32_t index, int32_t bucket) {
    NodeId node = NodeId(record(table).extra);
    uint64_t need = uint64_t(index) * 4 + 4;
    if (need > series_of(node)->capacity) {
        if (bucket < 0) return;
        uint64_t doubled = uint64_t(series_of(node)->capacity) * 2;
        memory::expand_fill(node, align_up(std::max(need, doubled), 16), 0xFF);
    }
    std::memcpy(series_of(node)->data() + size_t(index) * 4, &bucket, 4);
}

uint32_t* chain_slots(const Record& r) { return reinterpret_cast<uint32_t*>(series_of(r.chains)->data()); }
uint32_t chain_slot_count(const Record& r) { return r.chains ? series_of(r.chains)->length() : 0; }

struct Chain {
    int32_t* items;
    uint32_t count;
};

Chain chain_of(const Record& r, int32_t n) {
    Series* s = series_of(chain_slots(r)[n - 1]);
    return {reinterpret_cast<int32_t*>(s->data()), s->length()};
}

// The indexes a bucket's value stands for: one cell, or a duplicate chain.
Chain items_of(const Record& r, int32_t& stored) {
    return stored >= 0 ? Chain{&stored, 1} : chain_of(r, -stored);
}

void append_int(NodeId node, int32_t value) {
    uint8_t* at = memory::alloc_tail_bytes(node, 4);
    std::memcpy(at, &value, 4);
}

// A new chain holding one index; returns its number (1-based).
int32_t new_chain(NodeId table, int32_t first_index) {
    Rooted items(node_cell(memory::alloc_series(4, 4, 0)));  // until the chain store holds it
    append_int(items->s2, first_index);
    if (!record(table).chains) {
        NodeId store = memory::alloc_series(4, 4, 0);
        record(table).chains = store;
    }
    Record& r = record(table);
    if (r.free_chain) {
        int32_t n = r.free_chain;
        uint32_t* slots = chain_slots(r);
        r.free_chain = int32_t(slots[n - 1] & ~FREE_CHAIN_SLOT);
        slots[n - 1] = items->s2;
        return n;
    }
    append_int(r.chains, int32_t(items->s2));
    return int32_t(chain_slot_count(record(table)));
}

void release_chain(Record& r, int32_t n) {
    chain_slots(r)[n - 1] = FREE_CHAIN_SLOT | uint32_t(r.free_chain);
    r.free_chain = n;
}

// Removes an index from a chain; returns how many are left.
uint32_t chain_remove(const Record& r, int32_t n, int32_t index) {
    Series* s = series_of(chain_slots(r)[n - 1]);
    auto* items = reinterpret_cast<int32_t*>(s->data());
    uint32_t count = s->length();
    int32_t* end = std::remove(items, items + count, index);
    s->tail = uint32_t((end - items) * 4);
    return s->length();
}

void clear_chains(Record& r) {
    if (r.chains) series_of(r.chains)->tail = 0;
    r.free_chain = 0;
}

void clear_cell_buckets(const Record& r) {
    Series* s = series_of(NodeId(r.extra));
    memory::fill(s->data(), s->end_ptr(), 0xFF);
}

// ---- placing keys

// Kind 0: the cell joins the chain of an equal cell of its type, or takes a bucket of its own.
void place_in_hash_index(NodeId table, uint32_t index) {
    View v = view(table);
    const Cell* cells = block_cells(v.rec->block);
    const Cell key = cells[index];
    Slot s = search(v, hash_value(key), [&](int32_t stored) {
        return same_type_and_equal(cells[items_of(*v.rec, stored).items[0]], key, Mode::equal);
    });
    if (s.match < 0) {
        occupy(v, uint32_t(s.free), int32_t(index));
    } else if (int32_t stored = v.buckets[s.match]; stored >= 0) {
        int32_t n = new_chain(table, stored);
        append_int(chain_slots(record(table))[n - 1], int32_t(index));
        view(table).buckets[s.match] = -n;
    } else {
        append_int(chain_slots(record(table))[-stored - 1], int32_t(index));
    }
    set_cell_bucket(table, index, s.match >= 0 ? s.match : s.free);
}

// Kinds 1-2: a strictly equal key already present is kept instead.
int32_t place_unique(NodeId table, uint32_t index) {
    View v = view(table);
    const Cell* cells = block_cells(v.rec->block);
    const Cell& key = cells[index];
    uint32_t hash = hash_value(key);
    Slot s = search(v, hash, [&](int32_t stored) { return same_type_and_equal(cells[stored], key, Mode::strict); });
    if (s.match >= 0) return v.buckets[s.match];
    occupy(v, uint32_t(s.free), int32_t(index), hash);
    return int32_t(index);
}

// Kind 0: places every cell of the block; false when the table filled up on the way.
bool place_block(NodeId table) {
    uint32_t length = block_length(record(table).block);
    for (uint32_t i = 0; i < length; ++i) {
        if (record(table).occupied >= record(table).bucket_count - 1) return false;
        place_in_hash_index(table, i);
    }
    return true;
}

// Kinds 1-2 grow in place: the live keys go to a larger (or cleaned) bucket array in the order
// they were added.
void resize(NodeId table, uint64_t target) {
    uint32_t count = std::max<uint32_t>(4, next_power_of_two(target));
    int32_t limit = limit_of(count, 0.5);
    View v = view(table);
    int32_t live = v.rec->live_count;
    if (live >= limit) return;
    // The keys' cell indexes, marked in block order: the order in which they were added.
    std::vector<bool> present(block_length(v.rec->block));
    std::vector<uint32_t> kept_hashes(v.hashes ? present.size() : 0);
    for (uint32_t b = 0; b <= v.mask; ++b) {
        if (flag_of(v.flags, b) != LIVE) continue;
        present[size_t(v.buckets[b])] = true;
        if (v.hashes) kept_hashes[size_t(v.buckets[b])] = v.hashes[b];
    }
    reset_arrays(table, count, limit);
    v = view(table);
    const Cell* cells = block_cells(v.rec->block);
    for (uint32_t index = 0; index < present.size(); ++index) {
        if (!present[index]) continue;
        uint32_t hash = v.hashes ? kept_hashes[index] : hash_value(cells[index]);
        occupy(v, uint32_t(search(v, hash, rejects_all).free), int32_t(index), hash);
    }
    v.rec->live_count = live;  // a map's removed entries keep their buckets but are not live
}

bool is_full(const Record& r) { return r.occupied >= r.growth_limit; }

void grow(NodeId table, int32_t factor = 1) {
    const Record& r = record(table);
    uint64_t target = uint64_t(growth_target(r)) * uint64_t(factor);
    if (r.kind == Kind::hash_index) rebuild(table, uint32_t(target));
    else resize(table, target);
}

// ---- kinds 3-4

uint8_t* entries(const Record& r) { return series_of(r.block)->head_ptr(); }

Cell* entry_at(const Record& r, int32_t offset) { return reinterpret_cast<Cell*>(entries(r) + offset); }

Slot search_key(const View& v, NodeId key) {
    return search(v, hash_int(key), [&](int32_t offset) { return entry_at(*v.rec, offset)->s1 == key; });
}

void reset_entry(Cell* entry, NodeId key, int32_t size) {
    for (int32_t i = 0; i < size / 16; ++i) entry[i] = unset_cell();
    entry[0].s1 = key;
}

Cell* insert_key(NodeId table, NodeId key) {
    View v = view(table);
    Slot s = search_key(v, key);
    if (s.match >= 0) {
        Cell* entry = entry_at(*v.rec, v.buckets[s.match]);
        reset_entry(entry, key, v.rec->extra);
        return entry + 1;
    }
    int32_t size = v.rec->extra;
    int32_t offset = int32_t(series_of(v.rec->block)->used_bytes());
    memory::alloc_tail_bytes(v.rec->block, uint32_t(size));
    v = view(table);
    occupy(v, uint32_t(s.free), offset);
    Cell* entry = entry_at(*v.rec, offset);
    reset_entry(entry, key, size);
    return entry + 1;
}

// Live entries go to fresh arrays and a compacted entry block. Everything is allocated before
// the table is emptied (the fresh block has room for every live entry), so no collection finds
// live entries missing from it.
void rebuild_node_table(NodeId table, uint64_t target) {
    uint32_t count = std::max<uint32_t>(4, next_power_of_two(target));
    Rooted old_block(node_cell(record(table).block));
    Rooted fresh(node_cell(
        memory::alloc_cells(uint64_t(record(table).live_count + 1) * uint32_t(record(table).extra) / 16)));
    reset_arrays(table, count, limit_of(count, 0.5));
    record(table).block = fresh->s2;
    int32_t size = record(table).extra;
    NodeId old_entries = old_block->s2;
    for (uint32_t offset = 0; offset < series_of(old_entries)->used_bytes(); offset += uint32_t(size)) {
        const Cell* old = reinterpret_cast<Cell*>(series_of(old_entries)->head_ptr() + offset);
        if (!old->is(TYPE_UNSET)) continue;
        Cell* values = insert_key(table, old->s1);
        old = reinterpret_cast<Cell*>(series_of(old_entries)->head_ptr() + offset);
        std::memcpy(values, old + 1, size_t(size) - 16);
    }
}

void drop_entry(const View& v, uint32_t bucket) {
    Cell* entry = entry_at(*v.rec, v.buckets[bucket]);
    entry->header = 0;
    entry->s1 = 0;
    vacate(v, bucket);
}

bool is_marked(NodeId node) { return node && (series_of(node)->flags & SERIES_MARK); }

// ---- kind 0 index moves

// Cells in [lo, hi) moved to to(i): stored indexes follow them (each chain once), and with
// `move_buckets` so does the cell-to-bucket array.
template <class To>
void remap(NodeId table, uint32_t lo, uint32_t hi, To to, bool move_buckets) {
    std::vector<int32_t> moved(hi - lo);
    for (uint32_t i = lo; i < hi; ++i) moved[i - lo] = cell_bucket(record(table), i);
    std::vector<bool> chain_done(chain_slot_count(record(table)) + 1);
    View v = view(table);
    for (uint32_t i = lo; i < hi; ++i) {
        int32_t b = moved[i - lo];
        if (b < 0) continue;
        int32_t& stored = v.buckets[b];
        if (stored >= 0) {
            stored = int32_t(to(i));
            continue;
        }
        if (chain_done[size_t(-stored)]) continue;
        chain_done[size_t(-stored)] = true;
        Chain c = chain_of(*v.rec, -stored);
        for (uint32_t k = 0; k < c.count; ++k)
            if (uint32_t(c.items[k]) >= lo && uint32_t(c.items[k]) < hi) c.items[k] = int32_t(to(uint32_t(c.items[k])));
    }
    if (!move_buckets) return;
    for (uint32_t i = lo; i < hi; ++i) set_cell_bucket(table, i, -1);
    for (uint32_t i = lo; i < hi; ++i)
        if (moved[i - lo] >= 0) set_cell_bucket(table, to(i), moved[i - lo]);
}

// The bucket holding a block cell's index, or -1.
int32_t bucket_of(NodeId table, uint32_t index) {
    const Record& r = record(table);
    if (r.kind == Kind::hash_index) return cell_bucket(r, index);
    View v = view(table);
    const Cell& key = block_cells(r.block)[index];
    return search(v, hash_value(key), [index](int32_t stored) { return stored == int32_t(index); }).match;
}

// Kind 0: takes one index out of its bucket, flagging the bucket deleted once nothing is left.
void remove_from_hash_index(NodeId table, uint32_t index) {
    int32_t b = cell_bucket(record(table), index);
    if (b < 0) return;
    View v = view(table);
    int32_t stored = v.buckets[b];
    if (stored < 0) {
        if (chain_remove(*v.rec, -stored, int32_t(index)) > 0) return set_cell_bucket(table, index, -1);
        release_chain(*v.rec, -stored);
    }
    vacate(v, uint32_t(b));
    set_cell_bucket(table, index, -1);
}

}  // namespace

Record& record(NodeId table) { return *reinterpret_cast<Record*>(series_of(table)->head_ptr()); }

void set_seed(uint32_t seed) { hash_seed = seed; }
uint32_t seed() { return hash_seed; }

void set_key_ops(TypeId type, KeyOps ops) { key_ops[type] = ops; }
KeyOps key_ops_of(TypeId type) { return key_ops[type]; }
uint32_t hash_value(const Cell& key) { return key_ops[key.type()].hash(key); }
bool keys_equal(const Cell& a, const Cell& b, Mode mode) { return key_ops[a.type()].equal(a, b, mode); }

uint32_t hash_string(const Cell& string, bool fold_case) {
    unicode::Text t = unicode::text_of(string);
    if (fold_case) return hash_code_points_upper(t.units, t.count, t.unit, hash_seed);
    return hash_code_points(t.units, t.count, t.unit, hash_seed);
}

void set_map_key_preparer(void (*prepare)(Cell*, Cell*)) { prepare_map_key = prepare; }

namespace {

// The preparer may allocate (a key can be copied), which can move the block: it works on rooted
// copies of the pair, written back afterwards.
void prepare_entry(NodeId block, uint32_t index) {
    Rooted key(block_cells(block)[index]);
    Rooted value(block_cells(block)[index + 1]);
    prepare_map_key(key.get(), value.get());
    block_cells(block)[index] = *key;
    block_cells(block)[index + 1] = *value;
}

// The caller keeps `block` (and the node in `extra` of kind 0) alive until the table holds them.
NodeId new_table(uint64_t size, Kind kind, NodeId block, int32_t extra) {
    uint32_t count = initial_bucket_count(size);
    Rooted flags(node_cell(memory::alloc_bytes_filled(count / 4, ALL_EMPTY)));
    Rooted buckets(node_cell(memory::alloc_series(count, 4, 0)));
    Rooted hashes(node_cell(keeps_hashes(kind) ? memory::alloc_series(count, 4, 0) : 0));
    if (keeps_hashes(kind)) extra = int32_t(hashes->s2);
    NodeId table = memory::alloc_bytes(sizeof(Record));
    Series* s = series_of(table);
    s->tail = sizeof(Record);
    Record& r = record(table);
    r = Record{};
    r.extra = extra;
    r.flags = flags->s2;
    r.buckets = buckets->s2;
    r.block = block;
    r.bucket_count = int32_t(count);
    r.growth_limit = limit_of(count, 0);
    r.kind = kind;
    return table;
}

}  // namespace

NodeId make(uint32_t size, Kind kind, const Cell* block) {
    uint64_t room = kind == Kind::words && size >= 4000 ? uint64_t(size) * 2 : size;
    const Cell given = block ? *block : none_cell();  // the allocations below may move `block`
    Rooted cell_buckets(
        node_cell(kind == Kind::hash_index ? memory::alloc_bytes_filled(uint64_t(size) * 4, 0xFF) : 0));
    Rooted indexed(node_cell(block ? given.s2 : memory::alloc_cells(std::max<uint32_t>(size, 1))));
    Rooted table(table_cell(new_table(room, kind, indexed->s2, int32_t(cell_buckets->s2))));
    if (block) put_all(table->s3, given.s1, kind == Kind::map_index ? 2 : 1);
    return table->s3;
}

NodeId make_node_table(uint32_t size, int value_cells, Kind kind) {
    Rooted entries(node_cell(memory::alloc_cells(uint64_t(size) * uint32_t(value_cells + 1))));
    return new_table(size, kind, entries->s2, (value_cells + 1) * 16);
}

// The result starts as a copy of the record, naming the source's arrays (which the source keeps
// alive); each part copied replaces its source part at once, so the rooted result keeps it.
NodeId copy(NodeId table, NodeId block) {
    Rooted given(node_cell(block));
    Rooted result(table_cell(memory::copy_buffer(table)));
    NodeId copied = result->s3;
    NodeId part = block ? block : memory::copy_buffer(record(table).block);
    record(copied).block = part;
    part = memory::copy_buffer(record(table).flags);
    record(copied).flags = part;
    part = memory::copy_buffer(record(table).buckets);
    record(copied).buckets = part;
    if (!holds_extra_node(record(table).kind)) return copied;
    part = memory::copy_buffer(NodeId(record(table).extra));
    record(copied).extra = int32_t(part);
    if (record(table).kind != Kind::hash_index || !record(table).chains) return copied;
    part = memory::copy_buffer(record(table).chains);
    record(copied).chains = part;
    for (uint32_t n = 0; n < chain_slot_count(record(copied)); ++n) {
        if (chain_slots(record(copied))[n] & FREE_CHAIN_SLOT) continue;
        part = memory::copy_buffer(chain_slots(record(copied))[n]);
        chain_slots(record(copied))[n] = part;
    }
    return copied;
}

PutResult put(NodeId table, uint32_t index) {
    Kind kind = record(table).kind;
    if (kind == Kind::hash_index) {
        if (is_full(record(table))) {
            grow(table);
            return {int32_t(index), true};
        }
        place_in_hash_index(table, index);
        return {int32_t(index), false};
    }
    if (is_full(record(table))) grow(table);
    return {place_unique(table, index), false};
}

void put_all(NodeId table, uint32_t first, uint32_t step) {
    bool map = record(table).kind == Kind::map_index;
    for (uint32_t i = first; i + (map ? 1 : 0) < block_length(record(table).block);) {
        if (!map) {
            put(table, i);
            i += step;
            continue;
        }
        NodeId block = record(table).block;
        int32_t found = get(table, block_cells(block)[i], {Mode::strict});
        if (found < 0) {
            put(table, i);
            if (prepare_map_key) prepare_entry(block, i);
            i += step;
            continue;
        }
        // A repeated key: its value goes to the first pair, and the pair leaves the block.
        Series* s = series_of(block);
        Cell* cells = s->cells();
        if (cells[found + 1].header == 0) ++record(table).live_count;
        cells[found + 1] = cells[i + 1];
        std::memmove(cells + i, cells + i + 2, (s->length() - i - 2) * sizeof(Cell));
        s->tail -= 2 * sizeof(Cell);
    }
}

namespace {

bool is_candidate(int32_t index, const Query& q) {
    int32_t distance;
    if (q.reverse) {
        if (index >= q.start) return false;
        distance = q.start - index - 1;
    } else {
        if (index < q.start) return false;
        distance = index - q.start;
    }
    if (q.skip == 0 || q.skip == 1 || q.skip == -1) return true;
    int32_t rest = distance % q.skip;
    if (rest < 0) rest += q.skip < 0 ? -q.skip : q.skip;
    return rest == 0;
}

bool is_better(int32_t index, int32_t best, const Query& q) {
    if (best < 0) return true;
    return q.last || q.reverse ? index > best : index < best;
}

int32_t get_in_hash_index(NodeId table, const Cell& key, const Query& q) {
    View v = view(table);
    const Cell* cells = block_cells(v.rec->block);
    int32_t best = -1;
    search(v, hash_value(key), [&](int32_t stored) {
        Chain c = items_of(*v.rec, stored);
        if (!same_type_and_equal(cells[c.items[0]], key, Mode::equal)) return false;
        for (uint32_t k = 0; k < c.count; ++k) {
            int32_t index = c.items[k];
            if (is_candidate(index, q) && same_type_and_equal(cells[index], key, q.mode) && is_better(index, best, q))
                best = index;
        }
        return best >= 0;
    });
    return best;
}

}  // namespace

int32_t get(NodeId table, const Cell& key, const Query& query) {
    if (record(table).kind == Kind::hash_index) return get_in_hash_index(table, key, query);
    return find(table, key, query.mode).index;
}

Lookup find(NodeId table, const Cell& key, Mode mode) {
    View v = view(table);
    const Cell* cells = block_cells(v.rec->block);
    Cell k = key;
    if (v.rec->kind == Kind::map_index && is_word_like(k.type())) k.set_type(TYPE_SET_WORD);
    uint32_t hash = hash_value(k);
    Slot s = search(v, hash, [&](int32_t stored) { return same_type_and_equal(cells[stored], k, mode); });
    return {s.match < 0 ? -1 : v.buckets[s.match], hash, s.free};
}

void put_missed(NodeId table, uint32_t index, const Lookup& missed) {
    assert(hash_value(block_cells(record(table).block)[index]) == missed.hash);
    int32_t bucket = missed.free;
    if (is_full(record(table))) {
        grow(table);
        bucket = search(view(table), missed.hash, rejects_all).free;
    }
    occupy(view(table), uint32_t(bucket), int32_t(index), missed.hash);
}

int32_t next_match(NodeId table, const Cell& key, MatchCursor& cursor) {
    View v = view(table);
    const Cell* cells = block_cells(v.rec->block);
    if (cursor.bucket < 0) {
        Slot s = search(v, hash_value(key), [&](int32_t stored) {
            return same_type_and_equal(cells[items_of(*v.rec, stored).items[0]], key, Mode::equal);
        });
        if (s.match < 0) return -1;
        cursor.bucket = s.match;
        cursor.position = 0;
    }
    if (flag_of(v.flags, uint32_t(cursor.bucket)) != LIVE) return -1;
    Chain c = items_of(*v.rec, v.buckets[cursor.bucket]);
    return uint32_t(cursor.position) < c.count ? c.items[cursor.position++] : -1;
}

void remove(NodeId table, uint32_t index) {
    if (record(table).kind == Kind::hash_index) return remove_from_hash_index(table, index);
    if (bucket_of(table, index) < 0) return;
    Cell& value = block_cells(record(table).block)[index + 1];
    if (value.header == 0) return;
    value.header = 0;
    --record(table).live_count;
}

void clear(NodeId table) {
    Record& r = record(table);
    r.live_count = r.occupied = 0;
    Series* f = series_of(r.flags);
    memory::fill(f->data(), f->data() + r.bucket_count / 4, ALL_EMPTY);
    if (r.kind == Kind::hash_index) {
        clear_cell_buckets(r);
        clear_chains(r);
    }
    if (r.kind == Kind::node_scratch || r.kind == Kind::ownership) series_of(r.block)->tail = series_of(r.block)->head;
}

void clear_range(NodeId table, uint32_t first, uint32_t count) {
    uint32_t length = block_length(record(table).block);
    if (first >= length) return;
    count = std::min(count, length - first);
    if (first == 0 && count == length) return clear(table);
    for (uint32_t i = first; i < first + count; ++i) {
        if (record(table).kind == Kind::hash_index) {
            remove_from_hash_index(table, i);
            continue;
        }
        int32_t b = bucket_of(table, i);
        if (b < 0) continue;
        View v = view(table);
        bool live = block_cells(v.rec->block)[i + 1].header != 0;
        set_flag(v.flags, uint32_t(b), DELETED);
        if (live) --v.rec->live_count;
    }
}

void rebuild(NodeId table, uint32_t count) {
    for (;;) {
        uint32_t buckets = std::max<uint32_t>(4, next_power_of_two(uint64_t(count * 1.5)));
        reset_arrays(table, buckets, limit_of(buckets, 0));
        Record& r = record(table);
        clear_cell_buckets(r);
        clear_chains(r);
        if (place_block(table)) return;
        count = uint32_t(record(table).bucket_count) + 1;
    }
}

int shift_indexes(NodeId table, int32_t delta, uint32_t first, uint32_t count, bool move) {
    if (count > SHIFT_LIMIT) return 1;
    if (move && delta < 0) {
        uint32_t gone = uint32_t(std::max<int64_t>(int64_t(first) + delta, 0));
        for (uint32_t i = gone; i < first; ++i) remove_from_hash_index(table, i);
    }
    remap(table, first, first + count, [delta](uint32_t i) { return uint32_t(int64_t(i) + delta); }, move);
    return 0;
}

void move_entries(NodeId table, uint32_t dest, uint32_t first, uint32_t count) {
    if (dest == first || count == 0) return;
    uint32_t end = first + count;
    auto forward = [=](uint32_t i) { return i < end ? i + (dest - first) : i - count; };
    auto backward = [=](uint32_t i) { return i >= first ? i - (first - dest) : i + count; };
    if (dest > first) remap(table, first, dest + count, forward, true);
    else remap(table, dest, end, backward, true);
}

Cell* put_key(NodeId table, NodeId key) {
    const Record& r = record(table);
    if (is_full(r)) rebuild_node_table(table, growth_target(r));
    return insert_key(table, key);
}

Cell* get_key(NodeId table, NodeId key) {
    View v = view(table);
    Slot s = search_key(v, key);
    return s.match < 0 ? nullptr : entry_at(*v.rec, v.buckets[s.match]) + 1;
}

Cell* remove_key(NodeId table, NodeId key) {
    View v = view(table);
    Slot s = search_key(v, key);
    if (s.match < 0) return nullptr;
    Cell* entry = entry_at(*v.rec, v.buckets[s.match]);
    drop_entry(v, uint32_t(s.match));
    return entry + 1;
}

namespace {

uint32_t add_symbol(NodeId table, uint32_t bucket, std::string_view name, int32_t alias) {
    NodeId block = record(table).block;
    memory::alloc_tail_cell(block);
    uint32_t index = block_length(block) - 1;
    occupy(view(table), bucket, int32_t(index));
    NodeId text = memory::alloc_series(uint64_t(name.size()) + 1, 1, 0);
    Series* s = series_of(text);
    std::memcpy(s->data(), name.data(), name.size());
    s->data()[name.size()] = 0;
    s->tail = uint32_t(name.size());
    Cell& symbol = block_cells(block)[index];
    symbol.s1 = uint32_t(alias);
    symbol.s2 = 0;
    symbol.s3 = text;
    symbol.header = TYPE_SYMBOL;
    return index + 1;
}

}  // namespace

uint32_t put_symbol(NodeId table, const uint8_t* name, uint32_t length, bool any_case) {
    std::string_view wanted(reinterpret_cast<const char*>(name), length);
    std::string stable;  // any allocation below may move the buffer the name lies in
    auto keep_name = [&] {
        stable.assign(wanted);
        wanted = stable;
    };
    if (is_full(record(table))) {
        keep_name();
        grow(table, GROWTH_FACTOR_WORDS);
    }
    uint32_t hash = hash_name(wanted);
    View v = view(table);
    const Cell* symbols = block_cells(v.rec->block);
    auto named = [&](bool fold) {
        return [&, fold](int32_t index) { return names_equal(symbol::name_of(symbols[index]), wanted, fold); };
    };
    Slot exact = search(v, hash, named(any_case));
    if (exact.match >= 0) return uint32_t(v.buckets[exact.match]) + 1;
    int32_t alias = -1;
    if (!any_case) {
        Slot variant = search(v, hash, named(true));
        if (variant.match >= 0) {
            const Cell& first = symbols[v.buckets[variant.match]];
            alias = int32_t(first.s1) > 0 ? int32_t(first.s1) : v.buckets[variant.match] + 1;
        }
    }
    if (stable.empty()) keep_name();
    return add_symbol(table, uint32_t(exact.free), wanted, alias);
}

int32_t get_ctx_word(NodeId table, uint32_t symbol, bool any_case, NodeId add_to, int32_t* added) {
    if (add_to && is_full(record(table))) grow(table, GROWTH_FACTOR_WORDS);
    uint32_t canonical = symbol::resolve(symbol);
    View v = view(table);
    const Cell* words = block_cells(v.rec->block);
    Slot s = search(v, hash_int(canonical), [&](int32_t index) {
        uint32_t id = words[index].s2;
        return any_case ? symbol::resolve(id) == canonical : id == symbol;
    });
    if (s.match >= 0) return v.buckets[s.match];
    if (!add_to) return -1;
    NodeId block = v.rec->block;
    Cell* word = memory::alloc_tail_cell(block);
    int32_t index = int32_t(block_length(block) - 1);
    *word = make_cell(TYPE_WORD, add_to, symbol, uint32_t(index));
    occupy(view(table), uint32_t(s.free), index);
    if (added) *added = index;
    return -1;
}

void mark(NodeId table, void (*mark_node)(NodeId)) {
    const Record r = record(table);
    for (NodeId node : {table, r.flags, r.buckets}) mark_node(node);
    if (holds_extra_node(r.kind)) mark_node(NodeId(r.extra));
    if (r.kind == Kind::hash_index) {
        if (r.chains) mark_node(r.chains);
        for (uint32_t n = 0; n < chain_slot_count(r); ++n)
            if (!(chain_slots(r)[n] & FREE_CHAIN_SLOT)) mark_node(chain_slots(r)[n]);
    }
    if (r.kind == Kind::node_scratch || r.kind == Kind::ownership) {
        View v = view(table);
        for (uint32_t b = 0; b <= v.mask; ++b)
            if (flag_of(v.flags, b) == LIVE) mark_node(entry_at(r, v.buckets[b])->s1);
    }
    mark_node(r.block);
}

void sweep(NodeId table) {
    View v = view(table);
    if (v.rec->kind != Kind::node_scratch && v.rec->kind != Kind::ownership) return;
    for (uint32_t b = 0; b <= v.mask; ++b) {
        if (flag_of(v.flags, b) != LIVE) continue;
        const Cell* entry = entry_at(*v.rec, v.buckets[b]);
        bool owner_gone = v.rec->kind == Kind::ownership && !is_marked(entry[2].s1);
        if (!is_marked(entry->s1) || owner_gone) drop_entry(v, b);
    }
}

}  // namespace vyn::hashtable
