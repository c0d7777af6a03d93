// The collector: a mark-and-compact cycle over the memory manager's buffers. Marking starts from
// the runtime's fixed roots and the registered root markers and follows cells iteratively, with
// an explicit mark stack; sweepers and the externals registry then drop what died; compaction
// slides live buffers down inside their frames. Node ids never move, so only the node table
// learns the new places. Outside a cycle no buffer carries SERIES_MARK.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::collector {

// Installs the collector as the memory manager's hook, with zeroed figures. Allocation collects
// only once `set_enabled(true)` has been called.
void init();
// Disables collection, unhooks the collector from the memory manager and drops every root
// marker, sweeper and the image visitor, so a later start-up registers its own from nothing.
void shutdown();

// The flag that lets allocation collect (`runtime::record.collector_enabled`).
bool enabled();
void set_enabled(bool on);
// True while a cycle runs.
bool active();

// One full cycle, enabled or not; nothing when a cycle is already running.
void collect();

// Marking, for root markers and sweepers. A node's buffer is marked and, when it holds cells,
// queued so that its cells are marked too; a cell marks the nodes its type refers to.
void mark_node(NodeId node);
// Keeps the buffer without visiting its cells: the entry block of a weak table, whose entries
// must not keep their keys alive.
void mark_buffer(NodeId node);
void mark_cell(const Cell& cell);
void mark_cells(const Cell* first, const Cell* end);
bool is_marked(NodeId node);

// Root markers run, in registration order, after the fixed roots (argument stack and call
// frames, rooted cells, symbols, global context, kept-value slots); the modules above this floor
// (the interpreter's code, the block holder) register theirs. Registering a marker twice keeps
// one entry.
using Marker = void (*)();
void add_root(Marker mark_roots);
void remove_root(Marker mark_roots);

// Sweepers run after marking, in registration order, before the externals registry is swept
// and before any node is freed: a table keyed by node ids drops its entries for unmarked nodes
// here, while those ids still name the dead buffers. A sweeper may mark what its surviving
// entries keep alive (weak tables); it must not allocate.
using Sweeper = void (*)();
void add_sweeper(Sweeper sweep);
void remove_sweeper(Sweeper sweep);

// Called once per cycle for every image! node found live, as soon as it is marked, so that an
// image can drop render caches it has not used since the previous cycle. Must not allocate.
using ImageVisitor = void (*)(NodeId image);
void set_image_visitor(ImageVisitor visit);

struct Figures {
    uint64_t cycles;        // completed since init
    uint64_t bytes_before;  // buffer bytes in use when the last cycle began
    uint64_t bytes_after;   // and when it ended
};
Figures figures();

}  // namespace vyn::collector
