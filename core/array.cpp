// Array items are read and written with memcpy: a removal of an odd byte count may leave later
// items unaligned. Nothing here keeps a buffer address across a call that can allocate.
#include "core/array.hpp"

#include <cstring>

#include "core/fatal.hpp"
#include "core/memory.hpp"

namespace vyn::array {
namespace {

// The 1-based item of `size` bytes, which must lie within the used bytes.
uint8_t* item_at(Series* s, uint32_t index, uint32_t size) {
    VYN_REQUIRE(index >= 1 && uint64_t(index) * size <= s->used_bytes());
    return s->head_ptr() + uint64_t(index - 1) * size;
}

template <typename T>
T load(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void save(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

template <typename T>
void append_item(NodeId node, T value) {
    save(memory::alloc_tail_bytes(node, sizeof(T)), value);
}

template <typename T>
T pick_item(NodeId node, uint32_t index) {
    return load<T>(item_at(memory::series_of(node), index, sizeof(T)));
}

template <typename T>
int32_t find_item(NodeId node, T value) {
    Series* s = memory::series_of(node);
    for (uint32_t offset = 0; offset + sizeof(T) <= s->used_bytes(); offset += sizeof(T))
        if (load<T>(s->head_ptr() + offset) == value) return int32_t(offset);
    return -1;
}

}  // namespace

NodeId make(uint32_t count, int unit) {
    VYN_REQUIRE(unit >= 1 && unit <= int(SERIES_UNIT_MASK));
    NodeId node = memory::alloc_bytes(uint64_t(count) * uint64_t(unit));
    Series* s = memory::series_of(node);
    s->flags = (s->flags & ~SERIES_UNIT_MASK) | uint32_t(unit);
    return node;
}

uint32_t length(NodeId node) { return memory::series_of(node)->length(); }

void clear(NodeId node) {
    Series* s = memory::series_of(node);
    s->tail = s->head;
}

void set_tail(NodeId node, uint32_t index) {
    Series* s = memory::series_of(node);
    VYN_REQUIRE(index >= 1);
    uint64_t tail = s->head + uint64_t(index - 1) * uint64_t(s->unit());
    VYN_REQUIRE(tail <= s->capacity);
    s->tail = uint32_t(tail);
}

NodeId copy(NodeId node) { return memory::copy_buffer(node); }

uint32_t flags(NodeId node) { return memory::series_of(node)->flags; }

void append_byte(NodeId node, uint8_t byte) { append_item(node, byte); }

uint8_t pick_byte(NodeId node, uint32_t index) { return pick_item<uint8_t>(node, index); }

void append_bytes(NodeId node, const void* bytes, uint32_t length) {
    if (length) std::memcpy(memory::alloc_tail_bytes(node, length), bytes, length);
}

void append_int(NodeId node, int32_t value) { append_item(node, value); }

int32_t pick_int(NodeId node, uint32_t index) { return pick_item<int32_t>(node, index); }

void poke_int(NodeId node, uint32_t index, int32_t value) {
    save(item_at(memory::series_of(node), index, sizeof value), value);
}

void insert_int(NodeId node, int32_t value, uint32_t position) {
    Series* s = memory::series_of(node);
    uint64_t offset = uint64_t(position) * sizeof value;
    VYN_REQUIRE(offset <= s->used_bytes());
    if (s->room_bytes() < sizeof value) s = memory::expand_copy(node, 0);
    uint8_t* at = s->head_ptr() + offset;
    std::memmove(at + sizeof value, at, s->used_bytes() - offset);
    save(at, value);
    s->tail += sizeof value;
}

int32_t find_int(NodeId node, int32_t value) { return find_item(node, value); }

void append_pointer(NodeId node, uintptr_t pointer) { append_item(node, pointer); }

uintptr_t pick_pointer(NodeId node, uint32_t index) { return pick_item<uintptr_t>(node, index); }

int32_t find_pointer(NodeId node, uintptr_t pointer) { return find_item(node, pointer); }

int32_t remove_pointer(NodeId node, uintptr_t pointer) {
    int32_t offset = find_item(node, pointer);
    if (offset >= 0) remove_at(node, uint32_t(offset), POINTER_SIZE);
    return offset;
}

void remove_at(NodeId node, uint32_t offset, uint32_t count) {
    Series* s = memory::series_of(node);
    VYN_REQUIRE(uint64_t(offset) + count <= s->used_bytes());
    uint8_t* at = s->head_ptr() + offset;
    std::memmove(at, at + count, s->used_bytes() - offset - count);
    s->tail -= count;
}

}  // namespace vyn::array
