// The tracked heap: raw blocks for tables, hook lists and buffers that must never move. Every
// block is linked into one list behind its header so that `free_all` can release all of them
// at exit. A refused block ends the process with fatal error 94 "out of memory".
#pragma once

#include <cstddef>

namespace vyn::sys {

void* heap_alloc(size_t size);
void* heap_realloc(void* block, size_t size);
void heap_free(void* block);
void free_all();
// The bytes of all blocks now allocated, headers not counted.
size_t heap_bytes();

}  // namespace vyn::sys
