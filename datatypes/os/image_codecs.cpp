// Choosing an image codec: the container is recognised from its first bytes, and each codec is
// called through the table of its format. Any exception a codec lets out (an allocation that
// failed) is a decoding or encoding failure, never a crash.
#include "datatypes/os/image_codecs.hpp"

#include <cstring>
#include <new>

namespace vyn::image_os {

namespace {

using Decoder = bool (*)(std::span<const uint8_t>, Pixels*, uint64_t);
using Encoder = bool (*)(const Pixels&, std::string*);

// In the order of Format.
constexpr Decoder decoders[FORMAT_COUNT] = {decode_bmp, decode_png, decode_gif, decode_jpeg, decode_tiff};
constexpr Encoder encoders[FORMAT_COUNT] = {encode_bmp, encode_png, encode_gif, encode_jpeg, encode_tiff};

bool starts_with(std::span<const uint8_t> bytes, const char* magic, size_t n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), magic, n) == 0;
}

}  // namespace

bool fits(uint64_t width, uint64_t height, uint64_t max_pixels) {
    return width <= MAX_SIDE && height <= MAX_SIDE && width * height <= max_pixels;
}

bool allocate(Pixels* out, uint32_t width, uint32_t height, uint64_t max_pixels) {
    if (!fits(width, height, max_pixels)) return false;
    out->argb.assign(size_t(width) * height, 0);
    out->width = width;
    out->height = height;
    return true;
}

bool sniff(std::span<const uint8_t> bytes, Format* format) {
    if (starts_with(bytes, "\x89PNG", 4)) *format = Format::png;
    else if (starts_with(bytes, "\xFF\xD8\xFF", 3)) *format = Format::jpeg;
    else if (starts_with(bytes, "BM", 2)) *format = Format::bmp;
    else if (starts_with(bytes, "GIF87a", 6) || starts_with(bytes, "GIF89a", 6)) *format = Format::gif;
    else if (starts_with(bytes, "II*\0", 4) || starts_with(bytes, "MM\0*", 4)) *format = Format::tiff;
    else return false;
    return true;
}

Decoded decode(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels) {
    Format format;
    if (!sniff(bytes, &format)) return Decoded::unknown;
    bool done;
    try {
        done = decoders[int(format)](bytes, out, max_pixels);
    } catch (const std::bad_alloc&) {
        done = false;
    }
    if (!done) *out = Pixels{};
    return done ? Decoded::ok : Decoded::corrupt;
}

bool encode(const Pixels& image, Format format, std::string* out) {
    if (image.width == 0 || image.height == 0 || int(format) < 0 || int(format) >= FORMAT_COUNT) return false;
    out->clear();
    try {
        return encoders[int(format)](image, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace vyn::image_os
