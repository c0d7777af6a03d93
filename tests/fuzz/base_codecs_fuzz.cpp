// libFuzzer target of the base-N codecs. The first byte picks the base and the character width;
// the rest is read as text by the decoder and as bytes by the encoder. Invariants checked: each
// encoder writes within a buffer of exactly the reserved size (the sanitizer sees a write past
// it), decoding what an encoder wrote gives the bytes back, and what a decoder accepts encodes
// to a text that decodes to the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "datatypes/binary_codecs.hpp"

using namespace vyn;

namespace {

using Bytes = std::vector<uint8_t>;

void require(bool condition) {
    if (!condition) std::abort();
}

std::vector<uint8_t> encoded(int base, const Bytes& bytes) {
    std::vector<uint8_t> out(binary::encoded_capacity(base, bytes.size()));
    size_t n = binary::encode(base, bytes, out);
    require(n <= out.size());
    out.resize(n);
    return out;
}

void require_round_trip(int base, const Bytes& bytes) {
    std::vector<uint8_t> text = encoded(base, bytes);
    std::optional<Bytes> back = binary::decode(base, text.data(), uint32_t(text.size()), 1);
    require(back && *back == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    constexpr int bases[] = {2, 16, 58, 64};
    constexpr int units[] = {1, 2, 4};
    int base = bases[data[0] & 3];
    int unit = units[(data[0] >> 2) % 3];
    // Base 58 is quadratic: long inputs only slow the search down.
    size_t limit = base == 58 ? 2048 : size;
    Bytes rest(data + 1, data + std::min(size, limit));

    // The characters are copied into a buffer of their exact size, so a read past them is caught.
    uint32_t count = uint32_t(rest.size() / size_t(unit));
    std::vector<uint8_t> text(rest.begin(), rest.begin() + ptrdiff_t(count) * unit);
    std::optional<Bytes> decoded = binary::decode(base, text.data(), count, unit);
    if (decoded) require_round_trip(base, *decoded);

    require_round_trip(base, rest);
    return 0;
}
