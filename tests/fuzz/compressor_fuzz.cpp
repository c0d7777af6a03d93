// libFuzzer target of the runtime compressor: every input is decoded as a container, and also
// compressed and decoded back. Invariants checked: a decoded container never holds more than its
// stated size plus 8 bytes, and compressed data always comes back as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/compressor.hpp"

using namespace vyn;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

uint32_t stated_size(const uint8_t* data) { return data[4] | data[5] << 8 | data[6] << 16 | uint32_t(data[7]) << 24; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (auto out = compress::decompress(data, size)) check(out->size() <= size_t(stated_size(data)) + 8);
    std::vector<uint8_t> packed(size);
    int64_t packed_size = compress::compress(data, size, packed.data());
    if (packed_size < 0) return 0;
    check(packed_size <= int64_t(size));
    auto back = compress::decompress(packed.data(), size_t(packed_size));
    check(back && back->size() == size && std::memcmp(back->data(), data, size) == 0);
    return 0;
}
