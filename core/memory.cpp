// Node ids index one table reserved once in virtual memory, so a buffer is one load away from
// its node. Free ids are linked through their table entries (odd values: id << 1 | 1). Series
// frames are kept sorted by address, buffers lie back to back in them, and only the collector
// reclaims the space of abandoned buffers. All size arithmetic is done in 64 bits.
#include "core/memory.hpp"

#include <sys/mman.h>

#include "core/fatal.hpp"
#include "core/os/os.hpp"
#include "core/raise.hpp"
#include "core/tracked_heap.hpp"

namespace vyn::memory {

Series** node_table = nullptr;
uint64_t move_epoch = 0;
uint32_t generation = 0;

namespace {

constexpr uint32_t MAX_NODES = 1u << 28;
constexpr uint32_t NODE_CHUNK = 10000;
constexpr uint64_t INITIAL_FRAME_SIZE = 0x100000;  // 1 MiB
constexpr uint64_t MAX_FRAME_SIZE = 0x200000;      // 2 MiB, also the big-buffer threshold
constexpr uint64_t NEARLY_FULL = 0xCCCC;           // frames with less room are not reused
// Frames get their pages when mapped, which costs far less than a fault per page as they fill;
// a larger big frame, perhaps room reserved that is never used, gets them as it is touched.
constexpr uint64_t POPULATED_BIG_FRAME = 0x4000000;  // 64 MiB
// Allocation collects once the bytes carved since the last collection exceed what survived it
// (times COLLECTION_GROWTH), so the heap stays within a small multiple of the live data; the
// floor spares small heaps from collecting all the time.
constexpr uint64_t COLLECTION_FLOOR = 0x400000;  // 4 MiB
constexpr uint64_t COLLECTION_GROWTH = 1;

struct SeriesFrame {
    SeriesFrame* next;
    SeriesFrame* prev;
    uint64_t size;  // the whole mapping, header included
    uint8_t* heap;  // first free byte
    uint8_t* end;   // one past the buffer area
    uint64_t pad;
    uint8_t* area() { return reinterpret_cast<uint8_t*>(this + 1); }
};
static_assert(sizeof(SeriesFrame) % 16 == 0);

struct BigFrame {
    BigFrame* next;
    BigFrame* prev;
    uint64_t size;
    uint64_t pad;
    Series* buffer() { return reinterpret_cast<Series*>(this + 1); }
};
static_assert(sizeof(BigFrame) % 16 == 0);

struct NodeState {
    uint32_t high_water = 1;  // ids below it were handed out at least once; 0 is never used
    uint32_t free_head = 0;   // 0: no freed id to reuse
    uint32_t used = 0;
    uint32_t* chunk_used = nullptr;  // per chunk of NODE_CHUNK ids
};

NodeState nodes;
SeriesFrame* frames_head = nullptr;
SeriesFrame* frames_tail = nullptr;
SeriesFrame* current_frame = nullptr;
BigFrame* big_frames = nullptr;
uint64_t next_frame_size = INITIAL_FRAME_SIZE;
uint64_t total_bytes = 0;
CollectHook collect_hook = nullptr;
bool in_collection = false;
uint64_t allocated_since_collection = 0;
uint64_t collection_allowance = COLLECTION_FLOOR;

[[noreturn]] void no_memory() { fire(err::no_memory); }

void run_collection() {
    allocated_since_collection = 0;  // a disabled collector waits a full allowance before asking again
    if (!collect_hook || in_collection) return;
    in_collection = true;
    try {
        collect_hook();
    } catch (...) {
        in_collection = false;
        throw;
    }
    in_collection = false;
}

uint64_t checked_size(uint64_t count, int unit) {
    if (count > SERIES_MAX_CAPACITY) no_memory();
    uint64_t size = align_up(count * uint64_t(unit), 16);
    if (size > SERIES_MAX_CAPACITY) no_memory();
    return size;
}

void* map_block(uint64_t size, bool populate) {
    void* block = os::alloc_virtual(size, populate);
    if (!block) no_memory();
    total_bytes += size;
    return block;
}

void unmap_block(void* block, uint64_t size) {
    if (!os::free_virtual(block, size)) fire(err::wrong_mem);
    total_bytes -= size;
}

void insert_frame_in_address_order(SeriesFrame* frame) {
    SeriesFrame* after = nullptr;
    for (SeriesFrame* f = frames_head; f && f < frame; f = f->next) after = f;
    frame->prev = after;
    frame->next = after ? after->next : frames_head;
    if (frame->next) frame->next->prev = frame;
    else frames_tail = frame;
    if (after) after->next = frame;
    else frames_head = frame;
}

SeriesFrame* new_series_frame(uint64_t need) {
    if (need >= next_frame_size) next_frame_size = MAX_FRAME_SIZE;
    uint64_t size = align_up(sizeof(SeriesFrame) + next_frame_size, 4096);
    auto* frame = static_cast<SeriesFrame*>(map_block(size, true));
    frame->size = size;
    frame->heap = frame->area();
    frame->end = reinterpret_cast<uint8_t*>(frame) + size;
    if (next_frame_size < MAX_FRAME_SIZE) next_frame_size *= 2;
    insert_frame_in_address_order(frame);
    return frame;
}

// An exact fit is refused, as the frames' heap never reaches their end.
bool fits(const SeriesFrame* frame, uint64_t need) {
    return uint64_t(frame->end - frame->heap) > need;
}

SeriesFrame* first_frame_with_room(uint64_t need) {
    for (SeriesFrame* f = frames_head; f; f = f->next)
        if (fits(f, need)) return f;
    return nullptr;
}

SeriesFrame* frame_for(uint64_t need) {
    if (current_frame && fits(current_frame, need)) return current_frame;
    SeriesFrame* found = first_frame_with_room(need);
    // Collections follow the allowance that charge() counts, not the frames' room: a full
    // frame takes a new one while the allowance lasts.
    if (!found || uint64_t(found->end - found->heap) < NEARLY_FULL) found = new_series_frame(need);
    current_frame = found;
    return found;
}

// Counts what every allocation takes, and collects once the allowance is spent.
void charge(uint64_t need) {
    allocated_since_collection += need;
    if (allocated_since_collection > collection_allowance) run_collection();
}

Series* carve_from_frame(uint64_t need) {
#ifdef VYN_GC_STRESS
    run_collection();
#endif
    charge(need);
    SeriesFrame* frame = frame_for(need);
    auto* buffer = reinterpret_cast<Series*>(frame->heap);
    frame->heap += need;
    return buffer;
}

Series* alloc_big_buffer(uint64_t need) {
    run_collection();
    allocated_since_collection = need;
    uint64_t size = align_up(sizeof(BigFrame) + need, 4096);
    auto* frame = static_cast<BigFrame*>(map_block(size, size <= POPULATED_BIG_FRAME));
    frame->size = size;
    frame->prev = nullptr;
    frame->next = big_frames;
    if (big_frames) big_frames->prev = frame;
    big_frames = frame;
    return frame->buffer();
}

void release_big_buffer(Series* buffer) {
    BigFrame* frame = reinterpret_cast<BigFrame*>(buffer) - 1;
    if (frame->prev) frame->prev->next = frame->next;
    else big_frames = frame->next;
    if (frame->next) frame->next->prev = frame->prev;
    unmap_block(frame, frame->size);
}

void init_header(Series* buffer, uint64_t size, int unit, int32_t offset, uint32_t location) {
    buffer->flags = uint32_t(unit) | SERIES_LIVE | SERIES_ALLOCATED | location;
    buffer->node = 0;
    buffer->capacity = uint32_t(size);
    uint32_t start = uint32_t(offset);
    if (offset < 0) {
        start = uint32_t(size / 2);
        buffer->flags |= SERIES_MIDDLE;
    }
    buffer->head = buffer->tail = start;
}

// A buffer with no node, in a series frame or a big frame.
Series* alloc_series_buffer(uint64_t count, int unit, int32_t offset) {
    uint64_t size = checked_size(count, unit);
    uint64_t need = sizeof(Series) + size;
    bool big = need >= MAX_FRAME_SIZE;
    Series* buffer = big ? alloc_big_buffer(need) : carve_from_frame(need);
    init_header(buffer, size, unit, offset, big ? SERIES_BIG : 0);
    return buffer;
}

// Free ids are linked through their table entries, odd so that no buffer address can match.
void push_free_id(NodeId node) {
    node_table[node] = reinterpret_cast<Series*>(uintptr_t(nodes.free_head) << 1 | 1);
    nodes.free_head = node;
}

void count_node(NodeId node, int delta) {
    nodes.used += uint32_t(delta);
    nodes.chunk_used[node / NODE_CHUNK] += uint32_t(delta);
}

// The node table gets its pages ahead of the ids, a step at a time, rather than one fault for
// each page as new ids reach it. Where the system cannot, the faults come as before.
constexpr uint32_t TABLE_STEP = 0x10000;  // ids: 512 KiB of the table

void populate_table(NodeId from) {
    uint32_t count = std::min(TABLE_STEP, MAX_NODES - from);
    madvise(node_table + from, count * sizeof(Series*), MADV_POPULATE_WRITE);
}

}  // namespace

void init() {
    if (!node_table) {
        void* table = mmap(nullptr, uint64_t(MAX_NODES) * sizeof(Series*), PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (table == MAP_FAILED) fire(err::no_memory);
        node_table = static_cast<Series**>(table);
    }
    free_all();
    ++generation;
    uint32_t chunks = MAX_NODES / NODE_CHUNK + 1;
    uint32_t* chunk_used = nodes.chunk_used;
    if (!chunk_used) chunk_used = static_cast<uint32_t*>(sys::heap_alloc(chunks * sizeof(uint32_t)));
    std::memset(chunk_used, 0, chunks * sizeof(uint32_t));
    nodes = NodeState{};
    nodes.chunk_used = chunk_used;
    populate_table(0);
    frames_head = frames_tail = current_frame = nullptr;
    big_frames = nullptr;
    next_frame_size = INITIAL_FRAME_SIZE;
    allocated_since_collection = 0;
    collection_allowance = COLLECTION_FLOOR;
    current_frame = new_series_frame(0);
}

NodeId alloc_node() {
    NodeId node;
    if (nodes.free_head) {
        node = nodes.free_head;
        nodes.free_head = uint32_t(reinterpret_cast<uintptr_t>(node_table[node]) >> 1);
    } else {
        if (nodes.high_water >= MAX_NODES) no_memory();
        node = nodes.high_water++;
        if (node % TABLE_STEP == 0) populate_table(node);
    }
    node_table[node] = nullptr;
    count_node(node, 1);
    return node;
}

void free_node(NodeId node) {
    ++move_epoch;
    push_free_id(node);
    count_node(node, -1);
}

void link(NodeId node, Series* buffer) {
    node_table[node] = buffer;
    buffer->node = node;
}

NodeId alloc_series(uint64_t count, int unit, int32_t offset) {
    Series* buffer = alloc_series_buffer(count, unit, offset);
    NodeId node = alloc_node();
    link(node, buffer);
    return node;
}

NodeId alloc_fixed_series(uint64_t count, int unit, int32_t offset) {
    uint64_t size = checked_size(count, unit);
    auto* buffer = static_cast<Series*>(sys::heap_alloc(sizeof(Series) + size));
    init_header(buffer, size, unit, offset, SERIES_FIXED);
    NodeId node = alloc_node();
    link(node, buffer);
    return node;
}

NodeId alloc_cells(uint64_t count) { return alloc_series(count, 16, 0); }

NodeId alloc_unset_cells(uint64_t count) {
    NodeId node = alloc_cells(count);
    Series* s = series_of(node);
    auto* cells = reinterpret_cast<Cell*>(s->data());
    for (uint32_t i = 0; i < s->capacity / 16; ++i) cells[i] = unset_cell();
    return node;
}

NodeId alloc_bytes(uint64_t size) { return alloc_series(size ? size : 16, 1, 0); }

NodeId alloc_codepoints(uint64_t count, int unit) {
    return alloc_series(count ? count * uint64_t(unit) : 16, 1, 0);
}

NodeId alloc_bytes_filled(uint64_t size, uint8_t byte) {
    NodeId node = alloc_bytes(size);
    Series* s = series_of(node);
    fill(s->data(), s->end_ptr(), byte);
    return node;
}

void fill(uint8_t* start, uint8_t* end, uint8_t byte) {
    if (end > start) std::memset(start, byte, size_t(end - start));
}

// The old buffer is released at once when it has a mapping or heap block of its own; space in
// a series frame is reclaimed by the next compaction.
void release_abandoned(Series* old) {
    if (old->flags & SERIES_BIG) release_big_buffer(old);
    else if (old->flags & SERIES_FIXED) sys::heap_free(old);
}

namespace {

void abandon(Series* old) {
    old->node = 0;
    old->flags &= ~SERIES_LIVE;
}

// Moves the node to a new buffer; with `copy`, the bytes from the old head up to the end of
// the old data area come along, as far as the new capacity holds them.
Series* regrow(NodeId node, uint64_t new_capacity, bool copy) {
    Series* old = series_of(node);
    int unit = old->unit();
    // An empty buffer grows to 64 bytes rather than doubling nothing.
    if (new_capacity == 0) new_capacity = old->capacity ? uint64_t(old->capacity) * 2 : 64;
    if (new_capacity > SERIES_MAX_CAPACITY) no_memory();
    Series* fresh = alloc_series_buffer(new_capacity / uint64_t(unit), unit, 0);
    old = series_of(node);  // the allocation may have moved it
    fresh->flags = (old->flags & ~SERIES_LOCATION) | (fresh->flags & SERIES_LOCATION);
    fresh->head = 0;
    fresh->tail = old->used_bytes() < fresh->capacity ? old->used_bytes() : fresh->capacity;
    if (copy) {
        uint32_t bytes = old->capacity - old->head;
        std::memcpy(fresh->data(), old->head_ptr(), bytes < fresh->capacity ? bytes : fresh->capacity);
    }
    link(node, fresh);
    ++move_epoch;
    abandon(old);
    release_abandoned(old);
    return fresh;
}

}  // namespace

Rebuffered rebuffer(NodeId node, uint64_t count, int unit) {
    Series* fresh = alloc_series_buffer(count, unit, 0);
    Series* old = series_of(node);
    uint32_t kept = old->flags & ~(SERIES_LOCATION | SERIES_UNIT_MASK);
    fresh->flags = kept | (fresh->flags & (SERIES_LOCATION | SERIES_UNIT_MASK));
    link(node, fresh);
    ++move_epoch;
    abandon(old);
    return Rebuffered{fresh, old};
}

Series* expand(NodeId node, uint64_t new_capacity) { return regrow(node, new_capacity, false); }

Series* expand_copy(NodeId node, uint64_t new_capacity) { return regrow(node, new_capacity, true); }

Series* expand_fill(NodeId node, uint64_t new_capacity, uint8_t byte) {
    uint32_t kept = series_of(node)->capacity - series_of(node)->head;
    Series* fresh = regrow(node, new_capacity, true);
    if (kept < fresh->capacity) fill(fresh->data() + kept, fresh->end_ptr(), byte);
    return fresh;
}

NodeId copy_buffer(NodeId node) {
    NodeId copy = alloc_bytes(series_of(node)->capacity);
    Series* from = series_of(node);
    Series* to = series_of(copy);
    to->flags = (from->flags & ~SERIES_LOCATION) | (to->flags & SERIES_LOCATION);
    to->head = 0;
    to->tail = from->used_bytes();
    std::memcpy(to->data(), from->head_ptr(), from->capacity - from->head);
    return copy;
}

Series* ensure_room(NodeId node, uint64_t bytes) {
    Series* s = series_of(node);
    if (s->room_bytes() >= bytes) return s;
    uint64_t needed = uint64_t(s->used_bytes()) + bytes;
    uint64_t doubled = uint64_t(s->capacity) * 2;
    return expand_copy(node, align_up(needed > doubled ? needed : doubled, 16));
}

void set_flags(NodeId node, uint32_t bits) { series_of(node)->flags |= bits; }

Cell* alloc_tail_cell(NodeId node) {
    Series* s = series_of(node);
    if (s->tail == s->capacity) s = expand_copy(node, 0);
    auto* cell = reinterpret_cast<Cell*>(s->tail_ptr());
    *cell = unset_cell();
    s->tail += 16;
    return cell;
}

uint8_t* alloc_tail_bytes(NodeId node, uint32_t n) {
    Series* s = series_of(node);
    if (uint64_t(s->tail) + n > s->capacity)
        s = expand_copy(node, n > s->capacity ? uint64_t(n) * 2 : 0);
    uint8_t* at = s->tail_ptr();
    s->tail += n;
    return at;
}

void set_collect_hook(CollectHook hook) { collect_hook = hook; }
bool collecting() { return in_collection; }

namespace {

void release_series_frame(SeriesFrame* frame) {
    if (frame->prev) frame->prev->next = frame->next;
    else frames_head = frame->next;
    if (frame->next) frame->next->prev = frame->prev;
    else frames_tail = frame->prev;
    if (current_frame == frame) current_frame = frames_tail;
    unmap_block(frame, frame->size);
}

// An unmarked buffer is dead: its node goes back to the free ids. Abandoned buffers have none.
void bury(Series* buffer) {
    if (!buffer->node) return;
    VYN_REQUIRE(node_table[buffer->node] == buffer);
    free_node(buffer->node);
}

// Moves the live run [from, to) down to `dest` and repoints the nodes of its buffers; returns
// the end of the run at its new place.
uint8_t* slide_run(uint8_t* from, uint8_t* to, uint8_t* dest) {
    uint64_t bytes = uint64_t(to - from);
    if (dest == from) return to;
    ++move_epoch;
    std::memmove(dest, from, bytes);
    for (uint8_t* p = dest; p < dest + bytes;) {
        auto* buffer = reinterpret_cast<Series*>(p);
        node_table[buffer->node] = buffer;
        p += buffer->footprint();
    }
    return dest + bytes;
}

// Compacts one frame in a single walk: marked buffers gather into runs that move as one block.
void compact_frame(SeriesFrame* frame) {
    uint8_t* dest = frame->area();
    uint8_t* run = nullptr;  // start of the live run being walked
    uint8_t* p = frame->area();
    while (p < frame->heap) {
        auto* buffer = reinterpret_cast<Series*>(p);
        uint8_t* next = p + buffer->footprint();
        if (buffer->flags & SERIES_MARK) {
            buffer->flags &= ~SERIES_MARK;
            if (!run) run = p;
        } else {
            if (run) dest = slide_run(run, p, dest);
            run = nullptr;
            bury(buffer);
        }
        p = next;
    }
    if (run) dest = slide_run(run, p, dest);
    frame->heap = dest;
}

// Frames left empty stay mapped up to what the next cycle carves before it collects: their pages
// are touched already, where a fresh mapping costs a page fault for each. Beyond that, and once
// what survives no longer needs them, they go back to the system; the last frame always stays.
void release_empty_frames() {
    uint64_t kept = 0;
    for (SeriesFrame* frame = frames_head; frame && frame->next;) {
        SeriesFrame* next = frame->next;
        if (frame->heap == frame->area()) {
            if (kept + frame->size <= collection_allowance) kept += frame->size;
            else release_series_frame(frame);
        }
        frame = next;
    }
}

}  // namespace

void compact_series_frames() {
    for (SeriesFrame* frame = frames_head; frame; frame = frame->next) compact_frame(frame);
}

void sweep_big_frames() {
    for (BigFrame* frame = big_frames; frame;) {
        BigFrame* next = frame->next;
        Series* buffer = frame->buffer();
        if (buffer->flags & SERIES_MARK) {
            buffer->flags &= ~SERIES_MARK;
        } else if (buffer->node) {
            bury(buffer);
            release_big_buffer(buffer);
        }
        frame = next;
    }
}

void review() {
    while (nodes.high_water > 1 && node_is_free(nodes.high_water - 1)) --nodes.high_water;
    nodes.free_head = 0;
    for (NodeId node = nodes.high_water - 1; node >= 1; --node)
        if (node_is_free(node)) push_free_id(node);
    uint64_t survived = bytes_in_use() * COLLECTION_GROWTH;
    collection_allowance = survived > COLLECTION_FLOOR ? survived : COLLECTION_FLOOR;
    allocated_since_collection = 0;
    release_empty_frames();
    for (SeriesFrame* f = frames_head; f; f = f->next)
        if (uint64_t(f->end - f->heap) >= NEARLY_FULL) {
            current_frame = f;
            break;
        }
}

NodeId node_limit() { return nodes.high_water; }

uint64_t bytes_in_use() {
    uint64_t bytes = 0;
    for (SeriesFrame* f = frames_head; f; f = f->next) bytes += uint64_t(f->heap - f->area());
    for (BigFrame* b = big_frames; b; b = b->next) bytes += b->buffer()->footprint();
    return bytes;
}

Stats stats() {
    Stats st{};
    st.total_bytes = total_bytes;
    st.node_chunks = (nodes.high_water + NODE_CHUNK - 1) / NODE_CHUNK;
    st.nodes_used = nodes.used;
    for (SeriesFrame* f = frames_head; f; f = f->next) ++st.series_frames;
    for (BigFrame* b = big_frames; b; b = b->next) ++st.big_frames;
    return st;
}

int node_chunk_info(FrameInfo* out, int max) {
    int chunks = int((nodes.high_water + NODE_CHUNK - 1) / NODE_CHUNK);
    int n = 0;
    for (; n < chunks && n < max; ++n) {
        out[n].used = nodes.chunk_used[n];
        out[n].total = NODE_CHUNK;
        out[n].free = NODE_CHUNK - out[n].used;
    }
    return n;
}

int series_frame_info(FrameInfo* out, int max) {
    int n = 0;
    for (SeriesFrame* f = frames_head; f && n < max; f = f->next, ++n) {
        out[n].total = uint64_t(f->end - f->area());
        out[n].used = uint64_t(f->heap - f->area());
        out[n].free = out[n].total - out[n].used;
    }
    return n;
}

int big_frame_sizes(uint64_t* out, int max) {
    int n = 0;
    for (BigFrame* b = big_frames; b && n < max; b = b->next) out[n++] = b->size;
    return n;
}

void free_all() {
    ++move_epoch;
    for (SeriesFrame* f = frames_head; f;) {
        SeriesFrame* next = f->next;
        os::free_virtual(f, f->size);
        f = next;
    }
    for (BigFrame* b = big_frames; b;) {
        BigFrame* next = b->next;
        os::free_virtual(b, b->size);
        b = next;
    }
    frames_head = frames_tail = current_frame = nullptr;
    big_frames = nullptr;
    total_bytes = 0;
}

}  // namespace vyn::memory
