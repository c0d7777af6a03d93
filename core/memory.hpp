// The memory manager. A series buffer is reached from its node id through the node table (one
// indexed load) and records its node id, so buffers can move while every value keeps its node.
// Buffers are carved from series frames by bumping a pointer; a buffer of 2 MiB or more gets a
// big frame of its own; buffers that must never move come from the tracked heap. Any allocation
// may run a collection, which may move every buffer in the series frames: re-read a buffer
// address through its node after anything that can allocate.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/cell.hpp"

namespace vyn {

// Buffer flag bits. Bits 0-4 hold the unit size (1, 2 or 4 for text and bytes, 16 for cells);
// bits 5-16 are free for the types.
constexpr uint32_t SERIES_UNIT_MASK = 0x1F;
constexpr uint32_t SERIES_OWNED = 0x20000;        // owned by an object (ownership table)
constexpr uint32_t SERIES_COMPLEMENT = 0x80000;   // bitset! complement
constexpr uint32_t SERIES_FIXED = 0x100000;       // on the tracked heap: never moves
constexpr uint32_t SERIES_BIG = 0x1000000;        // alone in a big frame
constexpr uint32_t SERIES_MARK = 0x8000000;       // collector mark, clear outside a collection
constexpr uint32_t SERIES_MIDDLE = 0x10000000;    // head and tail started in the middle
constexpr uint32_t SERIES_ALLOCATED = 0x20000000; // set on every buffer at allocation
constexpr uint32_t SERIES_LIVE = 0x80000000;      // cleared when expansion abandons a buffer
constexpr uint32_t SERIES_LOCATION = SERIES_FIXED | SERIES_BIG;

// The largest capacity of a buffer in bytes: indexes in units always fit a signed 32-bit integer.
constexpr uint64_t SERIES_MAX_CAPACITY = 0x7FFFFFF0;

struct Series {
    uint32_t flags;
    NodeId node;        // 0 once the buffer is abandoned
    uint32_t capacity;  // data bytes, a multiple of 16
    uint32_t head;      // byte offset of the first used byte from the data start
    uint32_t tail;      // byte offset one past the last used byte
    uint32_t spare[3];  // keeps the data 16-byte aligned

    uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
    uint8_t* head_ptr() { return data() + head; }
    uint8_t* tail_ptr() { return data() + tail; }
    uint8_t* end_ptr() { return data() + capacity; }
    Cell* cells() { return reinterpret_cast<Cell*>(head_ptr()); }
    Cell* cell_tail() { return reinterpret_cast<Cell*>(tail_ptr()); }
    int unit() const { return int(flags & SERIES_UNIT_MASK); }
    uint32_t used_bytes() const { return tail - head; }
    uint32_t length() const { return (tail - head) / uint32_t(flags & SERIES_UNIT_MASK); }
    uint32_t room_bytes() const { return capacity - tail; }
    // Size in bytes of the buffer with its header, as laid out in a frame.
    uint32_t footprint() const { return uint32_t(sizeof(Series)) + capacity; }
};
static_assert(sizeof(Series) == 32, "series headers keep cells 16-byte aligned");

namespace memory {

extern Series** node_table;

inline Series* series_of(NodeId node) { return node_table[node]; }

// Counts the events after which a buffer address read earlier may be stale: a live buffer
// moved (growth, compaction) or a node freed or given another buffer. A raw pointer cached with
// the count stays valid while the count is unchanged. 64 bits: it never wraps in a run.
extern uint64_t move_epoch;
// Counts the starts of the memory manager: a node id kept from an earlier start means nothing.
extern uint32_t generation;

void init();

// Allocation. `count` is in units; `offset` is the byte offset of head and tail in the data, or
// -1 for the middle of the buffer. Sizes beyond SERIES_MAX_CAPACITY raise `no-memory`.
NodeId alloc_series(uint64_t count, int unit, int32_t offset);
NodeId alloc_fixed_series(uint64_t count, int unit, int32_t offset);  // never moves
NodeId alloc_cells(uint64_t count);
NodeId alloc_unset_cells(uint64_t count);      // every cell of the capacity set to unset!
NodeId alloc_bytes(uint64_t size);             // 0 gives 16 bytes
NodeId alloc_codepoints(uint64_t count, int unit);  // 0 gives 16 bytes
NodeId alloc_bytes_filled(uint64_t size, uint8_t byte);

NodeId alloc_node();
void free_node(NodeId node);
// Binds a node to a buffer (both directions).
void link(NodeId node, Series* buffer);

// Expansion: a new capacity in bytes, 0 for twice the current one. The used part keeps its
// length and moves to the start of the new buffer; the node then refers to the new buffer.
Series* expand(NodeId node, uint64_t new_capacity);
Series* expand_copy(NodeId node, uint64_t new_capacity);
Series* expand_fill(NodeId node, uint64_t new_capacity, uint8_t byte);
// Gives the node a new, empty buffer of another unit; the old buffer stays readable (abandoned)
// until `release_abandoned`, so its contents can be converted into the new one.
struct Rebuffered {
    Series* fresh;
    Series* old;
};
Rebuffered rebuffer(NodeId node, uint64_t count, int unit);
void release_abandoned(Series* old);
// A new node whose buffer has the same capacity, flags, used length and contents.
NodeId copy_buffer(NodeId node);
// Makes sure at least `bytes` more bytes fit after the tail, growing by doubling.
Series* ensure_room(NodeId node, uint64_t bytes);

void set_flags(NodeId node, uint32_t bits);

// Tail reservation: one unset! cell, or n bytes; the buffer grows when full.
Cell* alloc_tail_cell(NodeId node);
uint8_t* alloc_tail_bytes(NodeId node, uint32_t n);

void fill(uint8_t* start, uint8_t* end, uint8_t byte);

// The collector's view of the memory manager. The hook runs once the bytes carved since the last
// collection pass the allowance, before a big frame is made, and (in the stress build) before
// every carve.
using CollectHook = void (*)();
void set_collect_hook(CollectHook hook);
bool collecting();

// A collection's sweep, once every live buffer carries SERIES_MARK. Compaction slides the marked
// buffers of each series frame down over the unmarked and abandoned ones, repoints their nodes
// and clears their marks; the nodes of unmarked buffers are freed. The big-frame sweep clears the
// marks of live big buffers and releases the others with their nodes; an abandoned big buffer is
// left to `release_abandoned`. Neither touches buffers of the tracked heap.
void compact_series_frames();
void sweep_big_frames();
// After a sweep: free node ids are handed out lowest first again (ids above the highest one in
// use are forgotten), the next allowance follows what survived, empty frames beyond it go back to
// the system (the last frame stays), and carving restarts in the lowest frame with room to spare.
void review();
// Bytes taken by buffers in series frames and big frames, headers included.
uint64_t bytes_in_use();
// One past the highest node id handed out: a walk of the node table stops here. An entry below
// it refers to a buffer unless its low bit is set (a free id).
NodeId node_limit();
inline bool node_is_free(NodeId node) { return reinterpret_cast<uintptr_t>(node_table[node]) & 1; }

struct FrameInfo {
    uint64_t free;
    uint64_t used;
    uint64_t total;
};
struct Stats {
    uint64_t total_bytes;  // obtained from the system for frames
    uint32_t node_chunks;  // node ids come in chunks of 10000
    uint32_t nodes_used;
    uint32_t series_frames;
    uint32_t big_frames;
};
Stats stats();
// Per node chunk and per series frame: free, used and total (nodes, or bytes).
int node_chunk_info(FrameInfo* out, int max);
int series_frame_info(FrameInfo* out, int max);
// The size of each big frame.
int big_frame_sizes(uint64_t* out, int max);

void free_all();

}  // namespace memory
}  // namespace vyn
