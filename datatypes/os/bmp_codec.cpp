// BMP, our own: files with the core, info, V4 or V5 header; 1, 4 and 8-bit palette images and
// 16, 24 and 32-bit ones, uncompressed or with bit-field masks; rows bottom-up or top-down.
// A 32-bit image has alpha only when a header gives an alpha mask. Every read is checked against
// the file's length before it is made. Encoding writes 32-bit BGRA with a V4 header and masks,
// so transparency survives a round trip.
#include <bit>
#include <cstring>

#include "datatypes/os/image_codecs.hpp"

namespace vyn::image_os {

namespace {

constexpr uint32_t FILE_HEADER = 14;
constexpr uint32_t CORE_HEADER = 12;
constexpr uint32_t INFO_HEADER = 40;
constexpr uint32_t V4_HEADER = 108;
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

uint32_t u16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t u32(const uint8_t* p) { return u16(p) | u16(p + 2) << 16; }

// One colour part under a mask, scaled to 8 bits; `absent` when the mask is empty.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t top = 0;  // the largest value of the part

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        top = m >> shift;
    }
    bool contiguous() const { return mask == 0 || (top & (top + 1)) == 0; }
    uint32_t of(uint32_t pixel, uint32_t absent) const {
        if (!mask) return absent;
        return uint32_t((uint64_t((pixel & mask) >> shift) * 255 + top / 2) / top);
    }
};

struct Header {
    int64_t width = 0, height = 0;
    bool top_down = false;
    uint32_t bits = 0, compression = BI_RGB, colors_used = 0, header_size = 0;
    Channel r, g, b, a;
};

bool read_header(std::span<const uint8_t> bytes, Header* h) {
    if (bytes.size() < FILE_HEADER + 4) return false;
    const uint8_t* p = bytes.data() + FILE_HEADER;
    h->header_size = u32(p);
    if (h->header_size < CORE_HEADER || bytes.size() - FILE_HEADER < h->header_size) return false;
    if (h->header_size == CORE_HEADER) {
        h->width = u16(p + 4);
        h->height = u16(p + 6);
        h->bits = u16(p + 10);
        return true;
    }
    if (h->header_size < INFO_HEADER) return false;
    h->width = int32_t(u32(p + 4));
    h->height = int32_t(u32(p + 8));
    h->top_down = h->height < 0;
    if (h->top_down) h->height = -h->height;
    h->bits = u16(p + 14);
    h->compression = u32(p + 16);
    h->colors_used = u32(p + 32);
    if (h->compression != BI_BITFIELDS && h->compression != BI_ALPHABITFIELDS) {
        if (h->bits == 16) h->r = Channel(0x7C00), h->g = Channel(0x03E0), h->b = Channel(0x001F);
        else h->r = Channel(0xFF0000), h->g = Channel(0xFF00), h->b = Channel(0xFF);
        return h->compression == BI_RGB;
    }
    // Masks follow an info header, or lie inside the longer ones.
    size_t masks = FILE_HEADER + INFO_HEADER;
    bool alpha_mask = h->compression == BI_ALPHABITFIELDS || h->header_size >= 56;
    if (bytes.size() < masks + (alpha_mask ? 16 : 12)) return false;
    const uint8_t* m = bytes.data() + masks;
    h->r = Channel(u32(m)), h->g = Channel(u32(m + 4)), h->b = Channel(u32(m + 8));
    if (alpha_mask) h->a = Channel(u32(m + 12));
    return h->r.contiguous() && h->g.contiguous() && h->b.contiguous() && h->a.contiguous();
}

// The palette after the headers: entries of 4 bytes (3 after a core header).
bool read_palette(std::span<const uint8_t> bytes, const Header& h, std::vector<uint32_t>* palette) {
    uint32_t entry = h.header_size == CORE_HEADER ? 3 : 4;
    uint64_t count = h.colors_used ? h.colors_used : uint64_t(1) << h.bits;
    if (count > 256) return false;
    uint64_t start = FILE_HEADER + h.header_size;
    if (start + count * entry > bytes.size()) return false;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* c = bytes.data() + start + i * entry;
        palette->push_back(pack(c[2], c[1], c[0], 255));
    }
    return true;
}

uint32_t packed_value(const uint8_t* row, uint32_t x, uint32_t bits) {
    switch (bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF;
    case 8: return row[x];
    case 16: return u16(row + x * 2);
    case 24: return uint32_t(row[x * 3]) | uint32_t(row[x * 3 + 1]) << 8 | uint32_t(row[x * 3 + 2]) << 16;
    default: return u32(row + x * 4);
    }
}

bool decode_rows(std::span<const uint8_t> bytes, const Header& h, const std::vector<uint32_t>& palette, Pixels* out) {
    uint64_t stride = (uint64_t(out->width) * h.bits + 31) / 32 * 4;
    uint64_t offset = u32(bytes.data() + 10);
    if (offset > bytes.size() || stride * out->height > bytes.size() - offset) return false;
    bool indexed = h.bits <= 8;
    for (uint32_t y = 0; y < out->height; ++y) {
        const uint8_t* row = bytes.data() + offset + stride * (h.top_down ? y : out->height - 1 - y);
        uint32_t* to = out->argb.data() + size_t(y) * out->width;
        for (uint32_t x = 0; x < out->width; ++x) {
            uint32_t v = packed_value(row, x, h.bits);
            if (indexed) {
                if (v >= palette.size()) return false;
                to[x] = palette[v];
            } else {
                to[x] = pack(h.r.of(v, 0), h.g.of(v, 0), h.b.of(v, 0), h.a.of(v, 255));
            }
        }
    }
    return true;
}

void put16(std::string* out, uint32_t v) {
    out->push_back(char(v & 0xFF));
    out->push_back(char(v >> 8 & 0xFF));
}
void put32(std::string* out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

bool decode_bmp(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels) {
    Header h;
    if (!read_header(bytes, &h)) return false;
    bool known_depth = h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32;
    if (!known_depth || (h.bits <= 8 && h.compression != BI_RGB)) return false;
    if (h.width <= 0 || h.height <= 0 || !fits(uint64_t(h.width), uint64_t(h.height), max_pixels)) return false;
    std::vector<uint32_t> palette;
    if (h.bits <= 8 && !read_palette(bytes, h, &palette)) return false;
    if (!allocate(out, uint32_t(h.width), uint32_t(h.height), max_pixels)) return false;
    return decode_rows(bytes, h, palette, out);
}

bool encode_bmp(const Pixels& image, std::string* out) {
    uint64_t data = uint64_t(image.width) * image.height * 4;
    uint64_t offset = FILE_HEADER + V4_HEADER;
    if (offset + data > UINT32_MAX) return false;
    out->reserve(size_t(offset + data));
    out->append("BM");
    put32(out, uint32_t(offset + data));
    put32(out, 0);
    put32(out, uint32_t(offset));
    put32(out, V4_HEADER);
    put32(out, image.width);
    put32(out, image.height);
    put16(out, 1);
    put16(out, 32);
    put32(out, BI_BITFIELDS);
    put32(out, uint32_t(data));
    put32(out, 2835);  // 72 dots per inch
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put32(out, mask);
    put32(out, 0x73524742);  // the colour space "sRGB"
    out->append(V4_HEADER - 60, '\0');  // end points and gamma, unused with sRGB
    for (uint32_t y = image.height; y-- > 0;) {
        const uint32_t* row = image.argb.data() + size_t(y) * image.width;
        for (uint32_t x = 0; x < image.width; ++x) put32(out, row[x]);
    }
    return true;
}

}  // namespace vyn::image_os
