// The image codecs without the runtime: lossless round trips of every pixel value pattern
// through BMP, PNG, TIFF and GIF, the size kept by JPEG, hand-made BMP layouts the reference
// files do not cover, and the refusals: unknown bytes, cut files, sizes beyond the limits.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "datatypes/os/image_codecs.hpp"

namespace vyn::image_os {
namespace {

std::span<const uint8_t> bytes_of(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

Pixels random_pixels(uint32_t w, uint32_t h, uint32_t seed) {
    Pixels p;
    EXPECT_TRUE(allocate(&p, w, h, MAX_PIXELS));
    std::mt19937 gen(seed);
    for (uint32_t& px : p.argb) px = gen();
    return p;
}

Pixels round_trip(const Pixels& in, Format format) {
    std::string file;
    EXPECT_TRUE(encode(in, format, &file));
    Pixels out;
    EXPECT_EQ(decode(bytes_of(file), &out), Decoded::ok);
    return out;
}

TEST(ImageCodecs, LosslessFormatsGiveBackEveryPixelWithItsAlpha) {
    Pixels in = random_pixels(13, 7, 1);  // odd width: row padding in BMP
    for (Format f : {Format::bmp, Format::png, Format::tiff}) {
        Pixels out = round_trip(in, f);
        EXPECT_EQ(out.width, 13u);
        EXPECT_EQ(out.height, 7u);
        EXPECT_EQ(out.argb, in.argb) << int(f);
    }
}

TEST(ImageCodecs, GifKeepsFewColoursExactlyAndHalfTransparentPixelsBecomeClear) {
    Pixels in;
    allocate(&in, 20, 3, MAX_PIXELS);
    for (size_t i = 0; i < in.argb.size(); ++i) in.argb[i] = pack(uint32_t(i * 4), 7, 9, i % 5 ? 255 : 100);
    Pixels out = round_trip(in, Format::gif);
    for (size_t i = 0; i < in.argb.size(); ++i) EXPECT_EQ(out.argb[i], i % 5 ? in.argb[i] : 0u) << i;
}

TEST(ImageCodecs, GifOfManyColoursIsQuantisedToItsSize) {
    Pixels out = round_trip(random_pixels(40, 30, 2), Format::gif);
    EXPECT_EQ(out.width, 40u);
    EXPECT_EQ(out.height, 30u);
}

TEST(ImageCodecs, JpegKeepsTheSizeAndMakesEveryPixelOpaque) {
    Pixels out = round_trip(random_pixels(9, 17, 3), Format::jpeg);
    EXPECT_EQ(out.width, 9u);
    EXPECT_EQ(out.height, 17u);
    for (uint32_t p : out.argb) EXPECT_EQ(alpha(p), 255);
}

TEST(ImageCodecs, AnImageWithoutPixelsIsNotEncoded) {
    Pixels empty;
    std::string file;
    for (int f = 0; f < FORMAT_COUNT; ++f) EXPECT_FALSE(encode(empty, Format(f), &file));
}

TEST(ImageCodecs, EveryCutFileIsRefusedWithoutAReadPastItsEnd) {
    Pixels in = random_pixels(6, 5, 4);
    for (int f = 0; f < FORMAT_COUNT; ++f) {
        std::string file;
        ASSERT_TRUE(encode(in, Format(f), &file));
        for (size_t n : {file.size() / 2, file.size() * 3 / 4}) {
            std::string cut = file.substr(0, n);  // exactly sized: the sanitizer sees any overread
            Pixels out;
            EXPECT_EQ(decode(bytes_of(cut), &out), Decoded::corrupt) << f << " cut at " << n;
            EXPECT_TRUE(out.argb.empty());
        }
    }
}

TEST(ImageCodecs, SizesBeyondTheLimitAreRefusedBeforeAllocating) {
    Pixels in = random_pixels(64, 64, 5);
    for (Format f : {Format::bmp, Format::png, Format::gif, Format::jpeg, Format::tiff}) {
        std::string file;
        ASSERT_TRUE(encode(in, f, &file));
        Pixels out;
        EXPECT_EQ(decode(bytes_of(file), &out, 64 * 64 - 1), Decoded::corrupt) << int(f);
        EXPECT_EQ(decode(bytes_of(file), &out, 64 * 64), Decoded::ok) << int(f);
    }
    EXPECT_FALSE(fits(65536, 1));
    EXPECT_FALSE(fits(65535, 65535));  // more pixels than one binary can hold
    EXPECT_TRUE(fits(65535, 8000));
}

TEST(ImageCodecs, BytesOfNoKnownFormatAreUnknown) {
    Pixels out;
    for (std::string s : {std::string(""), std::string("GIF88a"), std::string("\x89PN"), std::string("MM*\0", 4)})
        EXPECT_EQ(decode(bytes_of(s), &out), Decoded::unknown) << s;
}

// ---- BMP layouts ----

void put(std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s.push_back(char(v >> (8 * i)));
}

// A file and info header; the caller appends masks or palette, then the rows.
std::string bmp_header(int32_t w, int32_t h, int bits, uint32_t compression, uint32_t data_offset) {
    std::string s = "BM";
    put(s, 0, 4);
    put(s, 0, 4);
    put(s, data_offset, 4);
    put(s, 40, 4);
    put(s, uint32_t(w), 4);
    put(s, uint32_t(h), 4);
    put(s, 1, 2);
    put(s, uint32_t(bits), 2);
    put(s, compression, 4);
    s.append(20, '\0');
    return s;
}

TEST(ImageCodecs, BmpTopDownRowsAndPadding) {
    std::string s = bmp_header(1, -2, 24, 0, 54);
    s += std::string("\x03\x02\x01\0", 4);  // first row: B G R, padded to 4 bytes
    s += std::string("\x06\x05\x04\0", 4);
    Pixels out;
    ASSERT_EQ(decode(bytes_of(s), &out), Decoded::ok);
    EXPECT_EQ(out.argb, (std::vector<uint32_t>{pack(1, 2, 3, 255), pack(4, 5, 6, 255)}));
}

TEST(ImageCodecs, BmpSixteenBitMasksScaleEachPartToEightBits) {
    std::string s = bmp_header(2, 1, 16, 3, 66);
    put(s, 0xF800, 4);
    put(s, 0x07E0, 4);
    put(s, 0x001F, 4);
    put(s, 0xF800, 2);  // pure red
    put(s, 0x07FF, 2);  // green and blue full
    Pixels out;
    ASSERT_EQ(decode(bytes_of(s), &out), Decoded::ok);
    EXPECT_EQ(out.argb, (std::vector<uint32_t>{pack(255, 0, 0, 255), pack(0, 255, 255, 255)}));
}

TEST(ImageCodecs, BmpRefusesAnIndexBeyondThePaletteAndMasksWithGaps) {
    std::string s = bmp_header(1, 1, 8, 0, 54 + 8);
    s.replace(46, 4, std::string("\x02\0\0\0", 4));  // two palette entries
    put(s, 0x00FF0000, 4);
    put(s, 0x0000FF00, 4);
    s += std::string("\x05\0\0\0", 4);  // index 5
    Pixels out;
    EXPECT_EQ(decode(bytes_of(s), &out), Decoded::corrupt);

    std::string gaps = bmp_header(1, 1, 32, 3, 66);
    put(gaps, 0x00FF00FF, 4);
    put(gaps, 0x0000FF00, 4);
    put(gaps, 0xFF000000, 4);
    put(gaps, 0, 4);
    EXPECT_EQ(decode(bytes_of(gaps), &out), Decoded::corrupt);
}

}  // namespace
}  // namespace vyn::image_os
