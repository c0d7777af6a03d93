// links[i] is the index of the next free slot after slot i (-1 ends the list) while slot i is
// free, and KEPT while it holds a value. Slots are reused last released first.
#include "core/value_slots.hpp"

#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/tracked_heap.hpp"

namespace vyn::value_slots {
namespace {

constexpr int32_t KEPT = -2;

NodeId slots = 0;
int32_t* links = nullptr;
int32_t slot_count = 0;
int32_t free_head = -1;

Cell* slot(int32_t index) { return memory::series_of(slots)->cells() + index; }

// Slots from `first` to the end become free, in index order, and all of them count as present.
void link_free(int32_t first) {
    Series* s = memory::series_of(slots);
    s->tail = s->head + uint32_t(slot_count) * sizeof(Cell);
    for (int32_t i = first; i < slot_count; ++i) {
        s->cells()[i] = unset_cell();
        links[i] = i + 1 < slot_count ? i + 1 : -1;
    }
    free_head = first;
}

void grow() {
    int32_t old_count = slot_count;
    slot_count *= 2;
    memory::expand_copy(slots, uint64_t(slot_count) * sizeof(Cell));
    links = static_cast<int32_t*>(sys::heap_realloc(links, size_t(slot_count) * sizeof(int32_t)));
    link_free(old_count);
}

bool kept(int32_t handle) {
    return handle >= 1 && handle <= slot_count && links[handle - 1] == KEPT;
}

}  // namespace

void init() {
    shutdown();  // a collection while the block is made must not mark the block of an earlier memory
    slot_count = INITIAL_CAPACITY;
    slots = memory::alloc_cells(uint64_t(slot_count));
    links = static_cast<int32_t*>(sys::heap_alloc(size_t(slot_count) * sizeof(int32_t)));
    link_free(0);
}

void shutdown() {
    slots = 0;
    sys::heap_free(links);
    links = nullptr;
    slot_count = 0;
    free_head = -1;
}

int32_t store(Cell value) {
    Rooted kept(value);  // the value may be a temporary, and growing can collect
    if (free_head < 0) grow();
    int32_t index = free_head;
    free_head = links[index];
    links[index] = KEPT;
    *slot(index) = *kept;
    return index + 1;
}

Cell* get(int32_t handle) { return kept(handle) ? slot(handle - 1) : nullptr; }

void release(int32_t handle) {
    if (!kept(handle)) return;
    int32_t index = handle - 1;
    *slot(index) = unset_cell();
    links[index] = free_head;
    free_head = index;
}

int32_t capacity() { return slot_count; }

NodeId node() { return slots; }

}  // namespace vyn::value_slots
