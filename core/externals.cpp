// Both lists thread the entries through `next`. Entries leave the used list and join the free list
// before their release callback runs, so a callback that stores or removes entries (the table may
// move) never sees a half-unlinked list, and a handle is released at most once.
#include "core/externals.hpp"

#include "core/fatal.hpp"
#include "core/tracked_heap.hpp"

namespace vyn::externals {
namespace {

struct Kind {
    const char* name;
    Release release;
};

struct Entry {
    uint32_t kind_word;
    int32_t next;  // -1 ends either list
    uintptr_t handle;
};

constexpr int INITIAL_KINDS = 20;

Kind* kinds = nullptr;
int kind_count = 0;
int kind_room = 0;

Entry* entries = nullptr;
int32_t entry_count = 0;
int32_t free_head = -1;
int32_t used_head = -1;

template <typename T>
T* heap_array(T* old, size_t count) {
    return static_cast<T*>(sys::heap_realloc(old, count * sizeof(T)));
}

// Entries from `first` to the end become one run of free entries, in index order.
void link_free_run(int32_t first) {
    for (int32_t i = first; i < entry_count; ++i)
        entries[i] = Entry{ENTRY_FREE, i + 1 < entry_count ? i + 1 : -1, 0};
}

// The new run goes behind the last free entry, which stays the head.
void grow_entries() {
    int32_t old_count = entry_count;
    entry_count *= 2;
    entries = heap_array(entries, size_t(entry_count));
    link_free_run(old_count);
    entries[free_head].next = old_count;
}

Entry* used_entry(int32_t index) {
    if (index < 0 || index >= entry_count || entries[index].kind_word & ENTRY_FREE) return nullptr;
    return &entries[index];
}

int32_t predecessor(int32_t index) {
    int32_t prev = -1;
    for (int32_t i = used_head; i != index; i = entries[i].next) prev = i;
    return prev;
}

// `prev` is the used entry before `index`, or -1 when `index` is the head.
void unlink_used(int32_t index, int32_t prev) {
    if (prev < 0) used_head = entries[index].next;
    else entries[prev].next = entries[index].next;
}

void push_free(int32_t index) {
    entries[index] = Entry{ENTRY_FREE, free_head, 0};
    free_head = index;
}

}  // namespace

// A repeated init (tests) leaves the previous tables to the tracked heap's release at exit.
void init() {
    kinds = heap_array<Kind>(nullptr, INITIAL_KINDS);
    kind_room = INITIAL_KINDS;
    kind_count = 0;
    entry_count = INITIAL_ENTRIES;
    entries = heap_array<Entry>(nullptr, size_t(entry_count));
    link_free_run(0);
    free_head = 0;
    used_head = -1;
}

int register_kind(const char* name, Release release) {
    VYN_REQUIRE(kind_count < MAX_KINDS);
    if (kind_count == kind_room) {
        kind_room = kind_room * 2 < MAX_KINDS ? kind_room * 2 : MAX_KINDS;
        kinds = heap_array(kinds, size_t(kind_room));
    }
    kinds[kind_count++] = Kind{name, release};
    return kind_count;
}

const char* kind_name(int kind) {
    return kind >= 1 && kind <= kind_count ? kinds[kind - 1].name : nullptr;
}

int32_t store(uintptr_t handle, int kind) {
    if (entries[free_head].next < 0) grow_entries();
    int32_t index = free_head;
    free_head = entries[index].next;
    entries[index] = Entry{uint32_t(kind) & KIND_MASK, used_head, handle};
    used_head = index;
    return index;
}

void release_by_kind(uint32_t kind_word, uintptr_t handle) {
    int kind = int(kind_word & KIND_MASK);
    if (kind >= 1 && kind <= kind_count && kinds[kind - 1].release) kinds[kind - 1].release(handle);
}

void release(int32_t index) {
    if (Entry* e = used_entry(index)) release_by_kind(e->kind_word, e->handle);
}

void replace_handle(int32_t index, uintptr_t handle) {
    Entry* e = used_entry(index);
    if (!e || e->handle == handle) return;
    uintptr_t old = e->handle;
    e->handle = handle;
    release_by_kind(e->kind_word, old);
}

void remove(int32_t index, bool release_handle) {
    Entry* e = used_entry(index);
    if (!e) return;
    Entry gone = *e;
    unlink_used(index, predecessor(index));
    push_free(index);
    if (release_handle) release_by_kind(gone.kind_word, gone.handle);
}

bool mark(int32_t index, std::optional<uintptr_t> new_handle) {
    Entry* e = used_entry(index);
    if (!e) return false;
    if (new_handle) e->handle = *new_handle;
    bool fresh = !(e->kind_word & ENTRY_MARK);
    e->kind_word |= ENTRY_MARK;
    return fresh;
}

uintptr_t handle_of(int32_t index) {
    Entry* e = used_entry(index);
    return e ? e->handle : 0;
}

void for_each_of_kind(int kind, Visit visit, void* context) {
    for (int32_t i = used_head; i >= 0;) {
        Entry e = entries[i];
        i = e.next;
        if (int(e.kind_word & KIND_MASK) == kind) visit(e.handle, context);
    }
}

// Unmarked entries move from the used list to a list of their own first; only then are they
// freed and released one by one, in used-list order.
void sweep() {
    int32_t dead_head = -1;
    int32_t dead_tail = -1;
    int32_t kept = -1;
    for (int32_t i = used_head; i >= 0;) {
        int32_t next = entries[i].next;
        if (entries[i].kind_word & ENTRY_MARK) {
            entries[i].kind_word &= ~ENTRY_MARK;
            kept = i;
        } else {
            unlink_used(i, kept);
            entries[i].next = -1;
            if (dead_tail < 0) dead_head = i;
            else entries[dead_tail].next = i;
            dead_tail = i;
        }
        i = next;
    }
    while (dead_head >= 0) {
        Entry gone = entries[dead_head];
        push_free(dead_head);
        dead_head = gone.next;
        release_by_kind(gone.kind_word, gone.handle);
    }
}

int32_t capacity() { return entry_count; }

}  // namespace vyn::externals
