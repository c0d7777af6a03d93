// Natives that reach the runtime's own services: memory figures and the collector.
#include <vector>

#include "core/collector.hpp"
#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/tracked_heap.hpp"
#include "datatypes/block.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

// A memory figure as an integer!, or a float! beyond the integer range.
Cell number_or_float(uint64_t value) {
    return value <= INT32_MAX ? integer_cell(int32_t(value)) : float_cell(double(value));
}

Cell figure_block(std::initializer_list<uint64_t> figures) {
    Rooted block;
    block::make_at(block.get(), int64_t(figures.size()));
    for (uint64_t f : figures) {
        Cell n = number_or_float(f);
        block::vs_append(block.get(), &n);
    }
    return *block;
}

// One block of [free used total] per frame, each entry starting a new line.
template <typename Info>
Cell frames_block(const std::vector<Info>& frames) {
    Rooted block;
    block::make_at(block.get(), int64_t(frames.size()));
    for (const Info& f : frames) {
        Rooted entry(figure_block({f.free, f.used, f.total}));
        entry->set_flag(FLAG_NEW_LINE);
        block::vs_append(block.get(), entry.get());
    }
    return *block;
}

std::vector<memory::FrameInfo> frame_info(int (*read)(memory::FrameInfo*, int)) {
    std::vector<memory::FrameInfo> frames(4096);
    frames.resize(size_t(read(frames.data(), int(frames.size()))));
    return frames;
}

// The five entries of stats/info: node frames, series frames, big frames, the total of bytes
// obtained for frames, and the blocks on the tracked heap.
Cell memory_report() {
    Rooted report;
    block::make_at(report.get(), 5);
    Rooted nodes(frames_block(frame_info(memory::node_chunk_info)));
    block::vs_append(report.get(), nodes.get());
    Rooted series(frames_block(frame_info(memory::series_frame_info)));
    block::vs_append(report.get(), series.get());
    std::vector<uint64_t> sizes(4096);
    sizes.resize(size_t(memory::big_frame_sizes(sizes.data(), int(sizes.size()))));
    Rooted big;
    block::make_at(big.get(), int64_t(sizes.size()));
    for (uint64_t size : sizes) {
        Rooted entry(figure_block({size}));
        entry->set_flag(FLAG_NEW_LINE);
        block::vs_append(big.get(), entry.get());
    }
    block::vs_append(report.get(), big.get());
    Cell total = number_or_float(memory::stats().total_bytes);
    block::vs_append(report.get(), &total);
    Cell heap = number_or_float(sys::heap_block_count());
    block::vs_append(report.get(), &heap);
    return *report;
}

}  // namespace

namespace entry {

// stats: the bytes in use; /info the memory report. /show hands the report to the library's
// memory report, which does not exist yet.
void stats(int32_t, const int32_t* refinements) {
    if (used(refinements, 0)) fire(err::not_done);
    if (used(refinements, 1)) {
        stack::set_result(memory_report());
        return;
    }
    stack::set_result(number_or_float(memory::bytes_in_use()));
}

// recycle: /on and /off switch collections on allocation; without them one full cycle runs and
// the bytes still in use are returned.
void recycle(int32_t, const int32_t* refinements) {
    bool on = used(refinements, 0), off = used(refinements, 1);
    if (on || off) {
        collector::set_enabled(on);
        stack::set_result(unset_cell());
        return;
    }
    collector::collect();
    stack::set_result(number_or_float(memory::bytes_in_use()));
}

}  // namespace entry
}  // namespace vyn::natives
