// libFuzzer target of the inflater: every input is decoded raw, as zlib and as gzip, and also
// compressed and decoded back. Invariants checked: a measuring call (capacity 0) and a full call
// agree on the status and the length, an undersized destination is never written past, and
// compressed data always comes back as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "eval/os/deflate.hpp"

using namespace vyn;
using Codec = deflate::Status (*)(uint8_t*, size_t&, const uint8_t*, size_t);

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// Decodes with capacity 0, then with the measured length and with half of it.
void decode(Codec codec, const uint8_t* data, size_t size) {
    size_t measured = 0;
    deflate::Status first = codec(nullptr, measured, data, size);
    if (first != deflate::TOO_SMALL && first != deflate::DONE) return;
    // a crafted stream can promise much; the inflater must still hold to the capacity
    if (measured > (size_t(1) << 24)) return;
    const size_t guard = 64;
    std::vector<uint8_t> out(measured + guard, 0xA5);
    size_t full = measured;
    deflate::Status s = codec(out.data(), full, data, size);
    check(s == deflate::DONE ? full == measured : s != deflate::TOO_SMALL);
    for (size_t i = measured; i < out.size(); ++i) check(out[i] == 0xA5);
    std::vector<uint8_t> half(measured / 2 + guard, 0x5A);
    size_t part = measured / 2;
    codec(half.data(), part, data, size);
    for (size_t i = measured / 2; i < half.size(); ++i) check(half[i] == 0x5A);
}

void round_trip(Codec wrap, Codec unwrap, const uint8_t* data, size_t size) {
    size_t packed_size = 0;
    wrap(nullptr, packed_size, data, size);
    std::vector<uint8_t> packed(packed_size);
    check(wrap(packed.data(), packed_size, data, size) == deflate::DONE);
    size_t back_size = size;
    std::vector<uint8_t> back(size + 1);
    check(unwrap(back.data(), back_size, packed.data(), packed.size()) == deflate::DONE);
    check(back_size == size && (size == 0 || std::memcmp(back.data(), data, size) == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decode(deflate::decompress, data, size);
    decode(deflate::zlib_unwrap, data, size);
    decode(deflate::gzip_unwrap, data, size);
    round_trip(deflate::compress, deflate::decompress, data, size);
    round_trip(deflate::gzip_wrap, deflate::gzip_unwrap, data, size);
    return 0;
}
