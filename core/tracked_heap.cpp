// Tracked heap blocks carry a 16-byte header that links them into one doubly linked list, so
// the whole heap can be released at exit. Headers keep the payload 16-byte aligned.
#include "core/tracked_heap.hpp"

#include <cstdint>
#include <cstdlib>

#include "core/fatal.hpp"

namespace vyn::sys {
namespace {

struct BlockHeader {
    BlockHeader* prev;
    BlockHeader* next;
};
static_assert(sizeof(BlockHeader) == 16);

BlockHeader* heap_list = nullptr;
size_t block_count = 0;

void link(BlockHeader* b) {
    b->prev = nullptr;
    b->next = heap_list;
    if (heap_list) heap_list->prev = b;
    heap_list = b;
    ++block_count;
}

void unlink(BlockHeader* b) {
    if (b->prev) b->prev->next = b->next;
    else heap_list = b->next;
    if (b->next) b->next->prev = b->prev;
    --block_count;
}

[[noreturn]] void refused() {
    runtime_error(FATAL_OUT_OF_MEMORY, reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

}  // namespace

void* heap_alloc(size_t size) {
    auto* b = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (!b) refused();
    link(b);
    return b + 1;
}

void* heap_realloc(void* block, size_t size) {
    if (!block) return heap_alloc(size);
    BlockHeader* old = static_cast<BlockHeader*>(block) - 1;
    unlink(old);
    auto* b = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + size));
    if (!b) {
        link(old);
        refused();
    }
    link(b);
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
    block_count = 0;
}

size_t heap_block_count() { return block_count; }

}  // namespace vyn::sys
