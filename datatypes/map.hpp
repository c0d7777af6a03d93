// map!: key/value pairs in insertion order, kept in an entry block (slot 2) and indexed by a
// hashtable of the map kind (slot 3). A removed entry stays in the block with its value cell's
// header at 0 and is skipped by every walk; setting its key again revives it in place. Keys are
// checked and normalised on the way in: words become set-words, text and bytes are copied. Every
// path that gives a key out (reflect, find, foreach, set) gives text and bytes as a new copy.
#pragma once

#include <cstdint>

#include "core/cell.hpp"
#include "core/hashtable.hpp"

namespace vyn::map {

// Whether values of the type can be map keys.
bool is_key_type(TypeId type);

// An empty map with room for `pairs` entries, written into `cell`.
Cell* make_at(Cell* cell, uint32_t pairs);
// The number of live entries.
int32_t count(const Cell& m);

// The value of a key, or none when it is missing or removed.
Cell get_value(const Cell& m, const Cell& key, hashtable::Mode mode);
// Stores a value under a key (adding or reviving the entry). A key of another type than the
// key types raises invalid-path with `where` (the map or the path being set).
void set_value(const Cell& m, const Cell& key, const Cell& value, hashtable::Mode mode, const Cell& where);

// Sets each pair of a block from its head (an odd count raises invalid-arg), growing the entry
// block once for all of them, or each live entry of another map.
void extend(const Cell& m, const Cell& spec, bool case_sensitive);

// One step of a key/value walk: from the entry at `position` (a cell index), skips removed
// entries, sets the first word to the key (a set-word key as a word, text and bytes as a copy) and
// the second to the value; past the last entry the words left get none. Advances `position` past
// the entry used; false when no word was set.
bool foreach_assign(const Cell& m, const Cell& words, uint32_t& position);

}  // namespace vyn::map

namespace vyn {

// Registers map! (type 40, no parent) and the key preparation the map literal's loader uses.
void map_init();

}  // namespace vyn
