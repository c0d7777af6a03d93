// TIFF through libtiff over an in-memory stream: the first directory of the file. 8-bit RGB and
// RGBA images with contiguous samples are read row by row as stored; any other layout goes
// through libtiff's RGBA reader, whose premultiplied result is made straight again. Encoding
// writes 8-bit RGBA with unassociated alpha, LZW-compressed. libtiff's messages are silenced:
// its failures come back as return values.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "datatypes/os/image_codecs.hpp"

namespace vyn::image_os {

namespace {

// A file in memory: bytes to read, or a growing string to write.
struct Stream {
    std::span<const uint8_t> input;
    std::string* output = nullptr;
    uint64_t at = 0;

    uint64_t size() const { return output ? output->size() : input.size(); }
};

Stream* stream_of(thandle_t h) { return static_cast<Stream*>(h); }

tmsize_t read_proc(thandle_t h, void* to, tmsize_t n) {
    Stream* s = stream_of(h);
    if (s->output || s->at >= s->input.size()) return 0;
    size_t count = size_t(std::min<uint64_t>(uint64_t(n), s->input.size() - s->at));
    std::memcpy(to, s->input.data() + s->at, count);
    s->at += count;
    return tmsize_t(count);
}

// Called from libtiff's C frames: a failed allocation must not unwind through them.
tmsize_t write_proc(thandle_t h, void* from, tmsize_t n) {
    Stream* s = stream_of(h);
    if (!s->output) return 0;
    try {
        if (s->output->size() < s->at + uint64_t(n)) s->output->resize(size_t(s->at + uint64_t(n)));
    } catch (...) {
        return 0;
    }
    std::memcpy(s->output->data() + s->at, from, size_t(n));
    s->at += uint64_t(n);
    return n;
}

toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
    Stream* s = stream_of(h);
    uint64_t base = whence == SEEK_CUR ? s->at : whence == SEEK_END ? s->size() : 0;
    s->at = base + offset;
    return s->at;
}

int close_proc(thandle_t) { return 0; }
toff_t size_proc(thandle_t h) { return stream_of(h)->size(); }
int map_proc(thandle_t, void**, toff_t*) { return 0; }
void unmap_proc(thandle_t, void*, toff_t) {}

void silence_libtiff() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

TIFF* open_stream(Stream* stream, const char* mode) {
    silence_libtiff();
    return TIFFClientOpen("memory", mode, stream, read_proc, write_proc, seek_proc, close_proc, size_proc, map_proc,
                          unmap_proc);
}

struct OpenTiff {
    TIFF* tiff;
    ~OpenTiff() {
        if (tiff) TIFFClose(tiff);
    }
};

uint16_t field16(TIFF* tiff, uint32_t tag) {
    uint16_t value = 0;
    TIFFGetFieldDefaulted(tiff, tag, &value);
    return value;
}

// Whether the fourth sample is a premultiplied alpha.
bool associated_alpha(TIFF* tiff) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    return TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0 && kinds[0] == EXTRASAMPLE_ASSOCALPHA;
}

// 8-bit RGB or straight RGBA, one plane, in strips: rows can be read as stored.
bool plain_rgb(TIFF* tiff) {
    uint16_t samples = field16(tiff, TIFFTAG_SAMPLESPERPIXEL);
    return !TIFFIsTiled(tiff) && !associated_alpha(tiff) && field16(tiff, TIFFTAG_BITSPERSAMPLE) == 8 &&
           field16(tiff, TIFFTAG_PHOTOMETRIC) == PHOTOMETRIC_RGB &&
           field16(tiff, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_CONTIG && (samples == 3 || samples == 4);
}

bool read_rows(TIFF* tiff, Pixels* out) {
    uint16_t samples = field16(tiff, TIFFTAG_SAMPLESPERPIXEL);
    tmsize_t line = TIFFScanlineSize(tiff);
    if (line < tmsize_t(out->width) * samples) return false;
    std::vector<uint8_t> row(static_cast<size_t>(line));
    for (uint32_t y = 0; y < out->height; ++y) {
        if (TIFFReadScanline(tiff, row.data(), y, 0) < 0) return false;
        uint32_t* to = out->argb.data() + size_t(y) * out->width;
        for (uint32_t x = 0; x < out->width; ++x) {
            const uint8_t* p = row.data() + size_t(x) * samples;
            to[x] = pack(p[0], p[1], p[2], samples == 4 ? p[3] : 255);
        }
    }
    return true;
}

uint8_t unpremultiplied(uint8_t c, uint8_t a) { return a == 0 ? 0 : uint8_t(std::min(255, (c * 255 + a / 2) / a)); }

bool read_rgba(TIFF* tiff, Pixels* out) {
    std::vector<uint32_t> raster(out->argb.size());
    if (!TIFFReadRGBAImageOriented(tiff, out->width, out->height, raster.data(), ORIENTATION_TOPLEFT, 0)) return false;
    for (size_t i = 0; i < raster.size(); ++i) {
        uint32_t p = raster[i];
        uint8_t a = uint8_t(TIFFGetA(p));
        out->argb[i] = pack(unpremultiplied(uint8_t(TIFFGetR(p)), a), unpremultiplied(uint8_t(TIFFGetG(p)), a),
                            unpremultiplied(uint8_t(TIFFGetB(p)), a), a);
    }
    return true;
}

bool write_tiff(TIFF* tiff, const Pixels& image) {
    uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    bool done = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, image.width) && TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, image.height) &&
                TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4) && TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) &&
                TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra) &&
                TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
                TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
                TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    std::vector<uint8_t> row(size_t(image.width) * 4);
    for (uint32_t y = 0; done && y < image.height; ++y) {
        const uint32_t* from = image.argb.data() + size_t(y) * image.width;
        for (uint32_t x = 0; x < image.width; ++x) {
            uint8_t* p = row.data() + size_t(x) * 4;
            p[0] = red(from[x]);
            p[1] = green(from[x]);
            p[2] = blue(from[x]);
            p[3] = alpha(from[x]);
        }
        done = TIFFWriteScanline(tiff, row.data(), y, 0) >= 0;
    }
    return done;
}

}  // namespace

bool decode_tiff(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels) {
    Stream stream{bytes};
    OpenTiff open{open_stream(&stream, "rm")};
    if (!open.tiff) return false;
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(open.tiff, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(open.tiff, TIFFTAG_IMAGELENGTH, &height))
        return false;
    if (width == 0 || height == 0 || !allocate(out, width, height, max_pixels)) return false;
    return plain_rgb(open.tiff) ? read_rows(open.tiff, out) : read_rgba(open.tiff, out);
}

bool encode_tiff(const Pixels& image, std::string* out) {
    Stream stream;
    stream.output = out;
    TIFF* tiff = open_stream(&stream, "w");
    if (!tiff) return false;
    bool written = write_tiff(tiff, image) && TIFFFlush(tiff) == 1;
    TIFFClose(tiff);
    return written;
}

}  // namespace vyn::image_os
