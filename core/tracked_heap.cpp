// Tracked heap blocks carry a header that links them into one doubly linked list, so the whole
// heap can be released at exit, and records the block's size for the memory report. Headers keep
// the payload 16-byte aligned.
#include "core/tracked_heap.hpp"

#include <cstdint>
#include <cstdlib>

#include "core/fatal.hpp"

namespace vyn::sys {
namespace {

struct alignas(16) BlockHeader {
    BlockHeader* prev;
    BlockHeader* next;
    size_t size;  // of the payload
};
static_assert(sizeof(BlockHeader) % 16 == 0);

BlockHeader* heap_list = nullptr;
size_t payload_bytes = 0;

void link(BlockHeader* b, size_t size) {
    b->prev = nullptr;
    b->next = heap_list;
    b->size = size;
    if (heap_list) heap_list->prev = b;
    heap_list = b;
    payload_bytes += size;
}

void unlink(BlockHeader* b) {
    if (b->prev) b->prev->next = b->next;
    else heap_list = b->next;
    if (b->next) b->next->prev = b->prev;
    payload_bytes -= b->size;
}

[[noreturn]] void refused() {
    runtime_error(FATAL_OUT_OF_MEMORY, reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

}  // namespace

void* heap_alloc(size_t size) {
    auto* b = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (!b) refused();
    link(b, size);
    return b + 1;
}

void* heap_realloc(void* block, size_t size) {
    if (!block) return heap_alloc(size);
    BlockHeader* old = static_cast<BlockHeader*>(block) - 1;
    unlink(old);
    auto* b = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + size));
    if (!b) {
        link(old, old->size);
        refused();
    }
    link(b, size);
    return b + 1;
}

void heap_free(void* block) {
    if (!block) return;
    BlockHeader* b = static_cast<BlockHeader*>(block) - 1;
    unlink(b);
    std::free(b);
}

void free_all() {
    while (heap_list) {
        BlockHeader* next = heap_list->next;
        std::free(heap_list);
        heap_list = next;
    }
    payload_bytes = 0;
}

size_t heap_bytes() { return payload_bytes; }

}  // namespace vyn::sys
