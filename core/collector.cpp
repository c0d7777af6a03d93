// One cycle: mark the roots, drain the mark stack, let the sweepers and the externals registry
// drop their dead entries, compact the series frames, sweep the big frames, then the memory
// manager's review. The mark stack holds marked cell buffers whose cells are still to be
// visited, so nesting depth costs heap, never native stack. The cycle allocates nothing from
// series frames, so it never starts another.
#include "core/collector.hpp"

#include <algorithm>
#include <vector>

#include "core/context.hpp"
#include "core/externals.hpp"
#include "core/fatal.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/runtime.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/value_slots.hpp"

namespace vyn::collector {
namespace {

constexpr uint32_t FLAG_SYNTHETIC_EVENT = 0x1000;
constexpr int OP_SOURCE_SHIFT = 16;  // an op!'s source type, header bits 16-23

std::vector<NodeId> mark_stack;    // marked cell buffers whose cells are not visited yet
std::vector<NodeId> fixed_marked;  // marked tracked-heap buffers: no frame walk clears them
std::vector<Marker> markers;
std::vector<Sweeper> sweepers;
ImageVisitor image_visitor = nullptr;
Figures counts{};
bool running = false;

Series* buffer_of(NodeId node) {
    // A free id, or an id without a buffer, means a value outlived its node.
    VYN_REQUIRE(node < memory::node_limit() && !memory::node_is_free(node) && memory::series_of(node));
    return memory::series_of(node);
}

// Marks the buffer, queueing its cells with `visit_cells`; true when it was not marked before.
bool set_mark(NodeId node, bool visit_cells) {
    if (!node) return false;
    Series* s = buffer_of(node);
    if (s->flags & SERIES_MARK) return false;
    s->flags |= SERIES_MARK;
    if (s->flags & SERIES_FIXED) fixed_marked.push_back(node);
    if (visit_cells && s->unit() == int(sizeof(Cell))) mark_stack.push_back(node);
    return true;
}

void mark_table(NodeId table) {
    if (table && !is_marked(table)) hashtable::mark(table, mark_node);
}

void mark_image(NodeId image) {
    if (set_mark(image, true) && image_visitor) image_visitor(image);
}

bool op_of_function(const Cell& op) {
    auto source = TypeId((op.header >> OP_SOURCE_SHIFT) & 0xFF);
    return source == TYPE_FUNCTION || source == TYPE_ROUTINE;
}

void drain() {
    while (!mark_stack.empty()) {
        NodeId node = mark_stack.back();
        mark_stack.pop_back();
        Series* s = memory::series_of(node);
        mark_cells(s->cells(), s->cell_tail());
    }
}

void mark_frames() {
    for (const stack::Frame* f = stack::frame_bottom; f < stack::frame_top; ++f) {
        mark_node(f->word_context);
        if (!f->function_context) continue;
        mark_node(f->function_context);
        // The values slot saved by the frame is a node unless the context lives on the stack.
        if (!context::context_cell(f->function_context).has_flag(FLAG_CONTEXT_ON_STACK)) mark_node(f->saved_values);
    }
}

void mark_fixed_roots() {
    mark_cells(stack::bottom, stack::top);
    mark_frames();
    for (int i = 0; i < roots::depth; ++i) mark_cell(*roots::shadow[i]);
    mark_node(symbol::block_node);
    mark_table(symbol::table());
    mark_node(context::global());
    mark_node(value_slots::node());
}

void clear_fixed_marks() {
    for (NodeId node : fixed_marked) memory::series_of(node)->flags &= ~SERIES_MARK;
    fixed_marked.clear();
}

void run_cycle() {
    running = true;
    struct Done {
        ~Done() { running = false; }
    } done;
    counts.bytes_before = memory::bytes_in_use();
    mark_fixed_roots();
    drain();
    for (Marker marker : markers) {
        marker();
        drain();
    }
    for (Sweeper sweeper : sweepers) {
        sweeper();
        drain();
    }
    externals::sweep();
    memory::compact_series_frames();
    memory::sweep_big_frames();
    clear_fixed_marks();
    memory::review();
    counts.bytes_after = memory::bytes_in_use();
    ++counts.cycles;
}

// The memory manager's hook: allocation collects only when enabled.
void on_allocation_pressure() {
    if (enabled()) collect();
}

template <class F>
void add_once(std::vector<F>& list, F f) {
    if (std::find(list.begin(), list.end(), f) == list.end()) list.push_back(f);
}

template <class F>
void remove_from(std::vector<F>& list, F f) {
    list.erase(std::remove(list.begin(), list.end(), f), list.end());
}

}  // namespace

void init() {
    counts = Figures{};
    memory::set_collect_hook(on_allocation_pressure);
}

void shutdown() {
    set_enabled(false);
    memory::set_collect_hook(nullptr);
    markers.clear();
    sweepers.clear();
    image_visitor = nullptr;
    counts = Figures{};
}

bool enabled() { return runtime::record.collector_enabled; }
void set_enabled(bool on) { runtime::record.collector_enabled = on; }
bool active() { return running; }

void collect() {
    if (!running) run_cycle();
}

void mark_node(NodeId node) { set_mark(node, true); }
void mark_buffer(NodeId node) { set_mark(node, false); }

bool is_marked(NodeId node) { return node && (buffer_of(node)->flags & SERIES_MARK); }

void mark_cells(const Cell* first, const Cell* end) {
    for (const Cell* c = first; c < end; ++c) mark_cell(*c);
}

void mark_cell(const Cell& c) {
    switch (c.type()) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
    case TYPE_BINARY:
    case TYPE_VECTOR:
    case TYPE_BITSET: mark_node(c.s2); break;
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF:
    case TYPE_SYMBOL:  // the cached string! and the UTF-8 name
        mark_node(c.s2);
        mark_node(c.s3);
        break;
    case TYPE_HASH:
    case TYPE_MAP:
        mark_node(c.s2);
        mark_table(c.s3);
        break;
    case TYPE_WORD:
    case TYPE_SET_WORD:
    case TYPE_LIT_WORD:
    case TYPE_GET_WORD:
    case TYPE_REFINEMENT:
    case TYPE_ISSUE: mark_node(c.s1); break;
    case TYPE_CONTEXT:
        mark_table(c.s1);
        if (!c.has_flag(FLAG_CONTEXT_ON_STACK)) mark_node(c.s2);
        break;
    case TYPE_OBJECT:
    case TYPE_ERROR:
    case TYPE_PORT:  // the context and the on-set record
        mark_node(c.s1);
        mark_node(c.s3);
        break;
    case TYPE_OP:
        if (op_of_function(c)) mark_node(c.s1);
        [[fallthrough]];
    case TYPE_NATIVE:
    case TYPE_ACTION:  // slot 1 is a table index
        mark_node(c.s2);
        mark_node(c.s3);
        break;
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
        mark_node(c.s1);
        mark_node(c.s2);
        mark_node(c.s3);
        break;
    case TYPE_HANDLE:
        if (int32_t(c.s3) >= 0) externals::mark(int32_t(c.s3));
        break;
    case TYPE_IMAGE: mark_image(c.s2); break;
    case TYPE_EVENT:
        if (c.has_flag(FLAG_SYNTHETIC_EVENT)) mark_node(c.s2);
        break;
    default: break;
    }
}

void add_root(Marker mark_roots) { add_once(markers, mark_roots); }
void remove_root(Marker mark_roots) { remove_from(markers, mark_roots); }
void add_sweeper(Sweeper sweep) { add_once(sweepers, sweep); }
void remove_sweeper(Sweeper sweep) { remove_from(sweepers, sweep); }
void set_image_visitor(ImageVisitor visit) { image_visitor = visit; }

Figures figures() { return counts; }

}  // namespace vyn::collector
