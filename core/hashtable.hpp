// One open-addressing hashtable for every keyed lookup of the runtime. Kinds 0-2 index the cells
// of a block and store cell indexes in their buckets; kinds 3-4 key entries of an owned entry
// block by node id. Buckets are a power of two, probed at offsets 0, 1, 3, 6 ... from the hash.
// Node ids never move, so no key ever needs placing again after a collection. The record and its
// arrays live in series buffers: pointers into them last only until the next allocation.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::hashtable {

enum class Kind : int32_t {
    hash_index = 0,    // hash! block: every cell is a key; equal cells share a duplicate chain
    map_index = 1,     // map! block: every second cell is a key, the value follows it
    words = 2,         // symbol table and context word tables
    node_scratch = 3,  // node-keyed scratch table
    ownership = 4,     // node-keyed, three value cells per entry
};

// How two keys compare: `equal?` ignores letter case, `strict-equal?` does not, `same?` asks
// for identity.
enum class Mode : int32_t { equal = 0, strict = 2, same = 9 };

// The table record, at the head of the table node's buffer.
struct Record {
    int32_t live_count;
    int32_t extra;       // kind 0: cell-to-bucket array node; kind 1: node of the hash of each bucket's
                         // key; kinds 3-4: entry size in bytes
    NodeId chains;       // kind 0: the duplicate-chain store
    NodeId flags;        // 2 bits per bucket: 2 empty, 1 deleted, 0 live
    NodeId buckets;      // one 32-bit word per bucket
    NodeId block;        // the indexed block, or the entry block of kinds 3-4
    int32_t occupied;    // buckets that are not empty
    int32_t bucket_count;
    int32_t growth_limit;
    Kind kind;
    int32_t free_chain;  // kind 0: first free slot of the chain store + 1, or 0
};

// Valid until the next allocation.
Record& record(NodeId table);

// The seed of every hash: set once at start-up, before the first table is made.
void set_seed(uint32_t seed);
uint32_t seed();

// Key logic per type. A type's hash must agree with its `equal?`: keys equal in any mode hash
// alike. Types added later register their own pair; the defaults work on the cell layouts.
struct KeyOps {
    uint32_t (*hash)(const Cell& key);
    bool (*equal)(const Cell& a, const Cell& b, Mode mode);  // both of the same type
};
void set_key_ops(TypeId type, KeyOps ops);
KeyOps key_ops_of(TypeId type);
uint32_t hash_value(const Cell& key);
bool keys_equal(const Cell& a, const Cell& b, Mode mode);
// Code points from the head to the tail, each as one 32-bit block, upper-cased when folding.
uint32_t hash_string(const Cell& string, bool fold_case);

// Prepares the stored key of a new map! entry (key cell, its value cell); called by put_all with
// cells that stay in place even when the preparer allocates.
void set_map_key_preparer(void (*prepare)(Cell* key, Cell* value));

// Tables and blocks given by node are the caller's to keep alive; a new table comes back unrooted.
// Kinds 0-2: a table for `size` keys over a block, putting its cells from the block's head index
// (every second cell for a map); with no block, over a new block with room for `size` cells. A
// words table for 4000 keys or more starts with twice the room.
NodeId make(uint32_t size, Kind kind, const Cell* block = nullptr);
// Kinds 3-4: a node-keyed table of `size` entries of `value_cells` cells after the key cell.
NodeId make_node_table(uint32_t size, int value_cells, Kind kind = Kind::node_scratch);
// A copy of the table over another block (0: a copy of the table's own block).
NodeId copy(NodeId table, NodeId block);

// Puts the block cell at `index` (kinds 0-2). Kinds 1 and 2 keep one cell per strictly equal key.
struct PutResult {
    int32_t index;  // the cell now holding the key: for kinds 1-2 an equal key already present
    bool rebuilt;   // kind 0: the table was rebuilt from its block, which put the cell too
};
PutResult put(NodeId table, uint32_t index);
// Puts the cells of the block from `first`, every `step` cells. A map folds a repeated key into
// the first: its value replaces the first's and the repeated pair leaves the block.
void put_all(NodeId table, uint32_t first, uint32_t step);

// Kinds 0-1: the index of a block cell equal to the key, or -1. Kind 0 picks among equal cells:
// the first at or after `start`, with `last` the last at or after it, with `reverse` the last
// before it, always a multiple of `skip` cells away from `start`.
struct Query {
    Mode mode = Mode::equal;
    int32_t start = 0;
    int32_t skip = 1;
    bool last = false;
    bool reverse = false;
};
int32_t get(NodeId table, const Cell& key, const Query& query = {});

// Kind 1: a lookup whose miss a put of the same key takes over, so that a new key is hashed and
// probed once.
struct Lookup {
    int32_t index = -1;  // the key cell found, or -1
    uint32_t hash = 0;
    int32_t free = -1;   // the bucket a new key of this hash takes while the table is unchanged
};
Lookup find(NodeId table, const Cell& key, Mode mode);
// Puts the block cell at `index`, which must hash as the key that `missed` did not find with no
// change to the table since. A miss in equal or strict mode leaves no strictly equal key present,
// so the cell takes a bucket of its own, as put would give it.
void put_missed(NodeId table, uint32_t index, const Lookup& missed);

// Kind 0: each cell of the same type `equal?` to the key, in turn; -1 when there are no more.
struct MatchCursor {
    int32_t bucket = -1;   // -1 starts a new search
    int32_t position = 0;  // in the bucket's duplicate chain
};
int32_t next_match(NodeId table, const Cell& key, MatchCursor& cursor);

// Kinds 0-1: takes the block cell at `index` out of the table. A map keeps the key in its bucket
// and marks the removed entry by writing 0 into its value cell's header.
void remove(NodeId table, uint32_t index);
void clear(NodeId table);
// Takes `count` cells from `first` out of the table (kinds 0-1).
void clear_range(NodeId table, uint32_t first, uint32_t count);
// Kind 0: places every cell of the block again, with room for `count` keys.
void rebuild(NodeId table, uint32_t count);

// Kind 0, after `count` block cells from `first` moved by `delta` cells: stored indexes follow
// them; with `move` the cell-to-bucket array moves too, and for a negative delta the cells that
// the move overwrote leave the table first. Returns 1 without doing anything above 30000 cells:
// the caller rebuilds instead.
int shift_indexes(NodeId table, int32_t delta, uint32_t first, uint32_t count, bool move);
// Kind 0, after `count` cells moved from `first` so that they start at `dest` (the cells between
// moved the other way).
void move_entries(NodeId table, uint32_t dest, uint32_t first, uint32_t count);

// Kinds 3-4. put_key finds or adds the entry of a node and sets its value cells to unset; all
// three return the entry's first value cell (valid until the next allocation), or null.
Cell* put_key(NodeId table, NodeId key);
Cell* get_key(NodeId table, NodeId key);
Cell* remove_key(NodeId table, NodeId key);

// The symbol table's find-or-add of a UTF-8 name; returns the symbol id. Without `any_case` a
// name that differs from a known one only in ASCII letter case is added with an alias to the
// first form; with it such a variant is returned as found.
uint32_t put_symbol(NodeId table, const uint8_t* name, uint32_t length, bool any_case);

// A context word table's lookup of a symbol: the position of its word cell, or -1. With
// `any_case` every ASCII case variant matches, and the first form added is found. With
// `add_to` (a context node) a missing word is appended to the word block, bound to that context
// at its new position, which `added` receives.
int32_t get_ctx_word(NodeId table, uint32_t symbol, bool any_case, NodeId add_to = 0, int32_t* added = nullptr);

// The collector's view: every node the table holds (record, arrays, chains, keys of kinds 3-4,
// the block), and the removal of entries whose key or owner node was not marked (kinds 3-4).
void mark(NodeId table, void (*mark_node)(NodeId));
void sweep(NodeId table);

}  // namespace vyn::hashtable
