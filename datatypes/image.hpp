// image!: a two-dimensional series of pixels. The cell holds the head index (pixels from the
// top-left, row by row) in slot 1, the image node in slot 2 and height × 65536 + width in slot 3.
// The node's buffer holds the index of an externals entry whose handle owns the pixel store, so
// the collector frees the pixels of images no value reaches. A pixel is a tuple R.G.B.T whose
// fourth byte is the transparency, 255 minus the stored alpha.
#pragma once

#include <cstdint>
#include <span>

#include "core/cell.hpp"
#include "datatypes/os/image_codecs.hpp"

namespace vyn {

// Registers image! (type 53, parent series!) and the "image" externals kind.
void image_init();

}  // namespace vyn

namespace vyn::image {

// Data kinds of bulk access.
enum class Kind { alpha = 0, rgb = 1, argb = 2 };

inline uint32_t width_of(const Cell& image) { return image.s3 & 0xFFFF; }
inline uint32_t height_of(const Cell& image) { return image.s3 >> 16; }

// Makes the cell an image owning these pixels.
Cell* make_at(Cell* cell, image_os::Pixels&& pixels);
// The pixel store of an image value; valid until the next collection.
image_os::Pixels& pixels_of(const Cell& image);

// The image the bytes hold into `out`; none when no codec recognises them, `bad-media` when the
// codec cannot read them.
Cell* decode(Cell* out, std::span<const uint8_t> bytes);
// The file of the codec's format as a binary!; `bad-media` for an image without pixels.
Cell* encode(Cell* out, const Cell& image, image_os::Format format);

// A binary! of every pixel in that kind, written into `out`.
Cell* extract_data(const Cell& image, Kind kind, Cell* out);

}  // namespace vyn::image
