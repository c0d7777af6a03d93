// The image codecs: BMP, PNG, GIF, JPEG and TIFF files to and from straight (not premultiplied)
// 32-bit pixels, A in bits 24-31, R 16-23, G 8-15, B 0-7, rows top to bottom. No error of a codec
// library leaves this layer as anything but a failed result: a decoder that refuses the bytes,
// or one that would need more pixels than allowed, reports `corrupt` and allocates nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vyn::image_os {

// Encoder choice, in the order the codec objects number them.
enum class Format : int { bmp = 0, png = 1, gif = 2, jpeg = 3, tiff = 4 };
constexpr int FORMAT_COUNT = 5;

// Both sides of an image fit 16 bits.
constexpr uint32_t MAX_SIDE = 65535;
// The pixels of an image fit one series of bytes (four bytes each).
constexpr uint64_t MAX_PIXELS = 0x7FFFFFF0 / 4;

struct Pixels {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> argb;
};

enum class Decoded { ok, unknown, corrupt };

// Whether a width and height make an image within the limits.
bool fits(uint64_t width, uint64_t height, uint64_t max_pixels = MAX_PIXELS);

// The container the first bytes announce, or false.
bool sniff(std::span<const uint8_t> bytes, Format* format);

// The first frame of the file. `unknown` when no codec recognises the bytes (nothing decoded).
Decoded decode(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels = MAX_PIXELS);

// The whole file; false when the codec cannot write the pixels (an image without pixels).
bool encode(const Pixels& image, Format format, std::string* out);

// One decoder and encoder per container, each in its own file.
bool decode_bmp(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels);
bool decode_png(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels);
bool decode_gif(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels);
bool decode_jpeg(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels);
bool decode_tiff(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels);
bool encode_bmp(const Pixels& image, std::string* out);
bool encode_png(const Pixels& image, std::string* out);
bool encode_gif(const Pixels& image, std::string* out);
bool encode_jpeg(const Pixels& image, std::string* out);
bool encode_tiff(const Pixels& image, std::string* out);

// Pixel parts.
inline uint32_t pack(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }
inline uint8_t red(uint32_t p) { return uint8_t(p >> 16); }
inline uint8_t green(uint32_t p) { return uint8_t(p >> 8); }
inline uint8_t blue(uint32_t p) { return uint8_t(p); }
inline uint8_t alpha(uint32_t p) { return uint8_t(p >> 24); }

// Sizes the pixel store, refusing what a failed allocation would have refused.
bool allocate(Pixels* out, uint32_t width, uint32_t height, uint64_t max_pixels);

}  // namespace vyn::image_os
