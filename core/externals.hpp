// The externals registry: operating-system resources (bitmaps, fonts, COM objects) that values
// refer to by entry index. Each entry has a kind whose callback releases its handle; a collection
// marks the entries live values reach, and the sweep releases the rest. Indexes stay valid when
// the table grows, and the table always keeps at least one free entry.
#pragma once

#include <cstdint>
#include <optional>

namespace vyn::externals {

// Release callbacks must not throw.
using Release = void (*)(uintptr_t handle);
using Visit = void (*)(uintptr_t handle, void* context);

// An entry's kind word: the kind id in the low byte, and two state bits.
constexpr uint32_t KIND_MASK = 0xFF;
constexpr uint32_t ENTRY_FREE = 0x40000000;  // the whole kind word of a free entry
constexpr uint32_t ENTRY_MARK = 0x80000000;  // set by a collection's marking, cleared by sweep

constexpr int32_t INITIAL_ENTRIES = 1000;
constexpr int MAX_KINDS = 255;  // kind ids fit the kind word's low byte

void init();  // right after the memory manager

// The new kind's 1-based id; more than MAX_KINDS kinds is fatal error 98.
int register_kind(const char* name, Release release);
const char* kind_name(int kind);  // nullptr for an unknown id

int32_t store(uintptr_t handle, int kind);
// Calls the callback of the kind in the word's low byte; kind 0, an unknown kind, or a kind
// without a callback releases nothing.
void release_by_kind(uint32_t kind_word, uintptr_t handle);

// Operations on an entry. An index that is out of range or free (a stale reference) is ignored.
void release(int32_t index);
// Releases the old handle unless it equals the new one.
void replace_handle(int32_t index, uintptr_t handle);
void remove(int32_t index, bool release_handle);
// True when the entry was not marked yet. A given handle replaces the stored one.
bool mark(int32_t index, std::optional<uintptr_t> new_handle = std::nullopt);
uintptr_t handle_of(int32_t index);  // 0 for a free or unknown entry

// Visits the handle of every used entry of the kind, newest first.
void for_each_of_kind(int kind, Visit visit, void* context);
// Once per collection, after marking: unmarked entries are released through their kind and
// freed; kept entries lose their mark.
void sweep();

int32_t capacity();

}  // namespace vyn::externals
