// GIF through giflib: the first image of the file, with the transparent colour of the graphic
// control block that precedes it. Encoding writes one image: the exact palette when the opaque
// colours number at most 255, else giflib's median-cut palette; a pixel more than half
// transparent takes the transparent index. giflib reports failures as return values.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "datatypes/os/image_codecs.hpp"

namespace vyn::image_os {

namespace {

struct Reader {
    std::span<const uint8_t> bytes;
    size_t at = 0;
};

int read_bytes(GifFileType* gif, GifByteType* to, int n) {
    auto* r = static_cast<Reader*>(gif->UserData);
    size_t count = std::min(size_t(n), r->bytes.size() - r->at);
    std::memcpy(to, r->bytes.data() + r->at, count);
    r->at += count;
    return int(count);
}

// Called from giflib's C frames: a failed allocation must not unwind through them.
int write_bytes(GifFileType* gif, const GifByteType* from, int n) {
    try {
        static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(from), size_t(n));
        return n;
    } catch (...) {
        return 0;
    }
}

// Closes the decoder however the reading ends.
struct OpenGif {
    GifFileType* gif;
    ~OpenGif() {
        if (gif) DGifCloseFile(gif, nullptr);
    }
};

// The rows of an interlaced image arrive in four passes.
std::vector<uint32_t> row_order(uint32_t height, bool interlaced) {
    std::vector<uint32_t> rows;
    if (!interlaced) {
        for (uint32_t y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    const uint32_t starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (uint32_t y = starts[pass]; y < height; y += steps[pass]) rows.push_back(y);
    return rows;
}

bool read_image(GifFileType* gif, int transparent, Pixels* out, uint64_t max_pixels) {
    if (DGifGetImageDesc(gif) != GIF_OK) return false;
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!map || desc.Width <= 0 || desc.Height <= 0) return false;
    if (!allocate(out, uint32_t(desc.Width), uint32_t(desc.Height), max_pixels)) return false;
    std::vector<GifPixelType> line(size_t(desc.Width));
    for (uint32_t y : row_order(out->height, desc.Interlace)) {
        if (DGifGetLine(gif, line.data(), desc.Width) != GIF_OK) return false;
        uint32_t* row = out->argb.data() + size_t(y) * out->width;
        for (uint32_t x = 0; x < out->width; ++x) {
            int index = line[x];
            if (index == transparent) row[x] = 0;
            else if (index < map->ColorCount) row[x] = pack(map->Colors[index].Red, map->Colors[index].Green, map->Colors[index].Blue, 255);
            else return false;
        }
    }
    return true;
}

// The transparent index of a graphic control block, or -1; other extensions are skipped.
bool read_extension(GifFileType* gif, int* transparent) {
    int code;
    GifByteType* block;
    if (DGifGetExtension(gif, &code, &block) != GIF_OK) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        GraphicsControlBlock gcb;
        if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) *transparent = gcb.TransparentColor;
    }
    while (block) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK) return false;
    }
    return true;
}

struct Palette {
    std::vector<GifColorType> colors;
    std::vector<GifPixelType> indexes;  // one per pixel
    int transparent = -1;
};

bool is_clear(uint32_t p) { return alpha(p) < 128; }

// The exact palette, when the opaque colours leave room for the transparent one.
bool exact_palette(const Pixels& image, Palette* palette) {
    std::unordered_map<uint32_t, int> index_of;
    bool any_clear = std::any_of(image.argb.begin(), image.argb.end(), is_clear);
    size_t room = any_clear ? 255 : 256;
    for (uint32_t p : image.argb) {
        if (is_clear(p)) continue;
        uint32_t rgb = p & 0xFFFFFF;
        if (index_of.count(rgb)) continue;
        if (index_of.size() == room) return false;
        index_of[rgb] = int(palette->colors.size());
        palette->colors.push_back(GifColorType{red(p), green(p), blue(p)});
    }
    if (any_clear) {
        palette->transparent = int(palette->colors.size());
        palette->colors.push_back(GifColorType{0, 0, 0});
    }
    palette->indexes.reserve(image.argb.size());
    for (uint32_t p : image.argb)
        palette->indexes.push_back(GifPixelType(is_clear(p) ? palette->transparent : index_of[p & 0xFFFFFF]));
    return true;
}

// giflib's median cut to 255 colours; index 255 is then free for transparent pixels.
bool quantised_palette(const Pixels& image, Palette* palette) {
    size_t n = image.argb.size();
    std::vector<GifByteType> r(n), g(n), b(n);
    for (size_t i = 0; i < n; ++i) {
        r[i] = red(image.argb[i]);
        g[i] = green(image.argb[i]);
        b[i] = blue(image.argb[i]);
    }
    int size = 255;
    palette->colors.assign(256, GifColorType{0, 0, 0});
    palette->indexes.assign(n, 0);
    if (GifQuantizeBuffer(image.width, image.height, &size, r.data(), g.data(), b.data(), palette->indexes.data(),
                          palette->colors.data()) != GIF_OK)
        return false;
    palette->colors.resize(256);
    palette->transparent = 255;
    for (size_t i = 0; i < n; ++i)
        if (is_clear(image.argb[i])) palette->indexes[i] = 255;
    return true;
}

// Colour tables hold a power of two entries, at least two.
int table_size(size_t count) {
    int size = 2;
    while (size_t(size) < count) size *= 2;
    return size;
}

bool write_gif(GifFileType* gif, const Pixels& image, Palette& palette) {
    int size = table_size(palette.colors.size());
    palette.colors.resize(size_t(size), GifColorType{0, 0, 0});
    ColorMapObject* map = GifMakeMapObject(size, palette.colors.data());
    if (!map) return false;
    bool done = EGifPutScreenDesc(gif, int(image.width), int(image.height), 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    if (done && palette.transparent >= 0) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        gcb.DelayTime = 0;
        gcb.TransparentColor = palette.transparent;
        GifByteType block[4];
        EGifGCBToExtension(&gcb, block);
        done = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block) == GIF_OK;
    }
    done = done && EGifPutImageDesc(gif, 0, 0, int(image.width), int(image.height), false, nullptr) == GIF_OK;
    for (uint32_t y = 0; done && y < image.height; ++y)
        done = EGifPutLine(gif, palette.indexes.data() + size_t(y) * image.width, int(image.width)) == GIF_OK;
    return done;
}

}  // namespace

bool decode_gif(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels) {
    Reader reader{bytes};
    OpenGif open{DGifOpen(&reader, read_bytes, nullptr)};
    if (!open.gif) return false;
    int transparent = -1;
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(open.gif, &record) != GIF_OK) return false;
        if (record == IMAGE_DESC_RECORD_TYPE) return read_image(open.gif, transparent, out, max_pixels);
        if (record == EXTENSION_RECORD_TYPE) {
            if (!read_extension(open.gif, &transparent)) return false;
        } else {
            return false;  // the end of the file before any image
        }
    }
}

bool encode_gif(const Pixels& image, std::string* out) {
    Palette palette;
    if (!exact_palette(image, &palette)) {
        palette = Palette{};
        if (!quantised_palette(image, &palette)) return false;
    }
    GifFileType* gif = EGifOpen(out, write_bytes, nullptr);
    if (!gif) return false;
    EGifSetGifVersion(gif, true);
    bool written = write_gif(gif, image, palette);
    return EGifCloseFile(gif, nullptr) == GIF_OK && written;
}

}  // namespace vyn::image_os
