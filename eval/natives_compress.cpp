// compress and decompress: the bytes of the data, copied out of their series, go through the
// codec of the method word into a new binary!. A codec never writes past the buffer it is given
// and reports the length it needs, so a second call with a buffer of that length always fits;
// a result longer than a series can hold is refused by the allocation.
#include <algorithm>
#include <string>

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"
#include "eval/os/deflate.hpp"

namespace vyn::natives {
namespace {

using Codec = deflate::Status (*)(uint8_t*, size_t&, const uint8_t*, size_t);

// In the order of deflate::Method.
constexpr Codec wrappers[] = {deflate::compress, deflate::zlib_wrap, deflate::gzip_wrap};
constexpr Codec unwrappers[] = {deflate::decompress, deflate::zlib_unwrap, deflate::gzip_unwrap};

deflate::Method method_named(const Cell& word) {
    deflate::Method m = word.is(TYPE_WORD) ? deflate::method_of(word.s2) : deflate::Method::none;
    if (m == deflate::Method::none) fire(err::invalid_arg, &word);
    return m;
}

// Runs the codec into a new binary! of `capacity` bytes, and once more into one of the length
// it reports when that did not fit.
Cell run_codec(Codec codec, const std::string& data, size_t capacity, const Cell& method) {
    const uint8_t* from = reinterpret_cast<const uint8_t*>(data.data());
    for (int attempt = 0; attempt < 2; ++attempt) {
        NodeId node = memory::alloc_bytes(capacity);
        Series* out = memory::series_of(node);
        size_t size = capacity;
        deflate::Status status = codec(out->head_ptr(), size, from, data.size());
        if (status == deflate::DONE) {
            out->tail = out->head + uint32_t(size);
            return make_cell(TYPE_BINARY, 0, node, 0);
        }
        if (status != deflate::TOO_SMALL) break;
        capacity = size;
    }
    fire(err::invalid_data, &method);
}

}  // namespace

namespace entry {

void compress(int32_t, const int32_t*) {
    const Cell* a = args();
    deflate::Method m = method_named(a[1]);
    std::string data = bytes_of(a[0]);
    stack::set_result(run_codec(wrappers[int(m)], data, data.size() + data.size() / 2048 + 32, a[1]));
}

// Without a size, or with one no larger than the data (surely too small), the first call only
// measures. gzip always measures: its trailer holds the length. A size beyond what the data
// could ever give is not allocated.
void decompress(int32_t, const int32_t* refinements) {
    const Cell* a = args();
    deflate::Method m = method_named(a[1]);
    const Cell* sz = refinement_arg(refinements, 0);
    if (sz && int32_t(sz->s2) < 0) fire(err::out_of_range, sz);
    std::string data = bytes_of(a[0]);
    size_t capacity = 0;
    if (sz && m != deflate::Method::gzip && size_t(sz->s2) > data.size())
        capacity = std::min<size_t>(sz->s2, deflate::most_output(data.size()));
    stack::set_result(run_codec(unwrappers[int(m)], data, capacity, a[1]));
}

}  // namespace entry
}  // namespace vyn::natives
