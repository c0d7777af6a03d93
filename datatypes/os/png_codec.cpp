// PNG through libpng's simplified interface, which keeps libpng's error jumps inside libpng and
// reports a failure as a return value. Pixels are read and written as straight 8-bit BGRA, which
// is the pixel store's own byte order.
#include <png.h>

#include "datatypes/os/image_codecs.hpp"

namespace vyn::image_os {

bool decode_png(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    if (!allocate(out, image.width, image.height, max_pixels)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    return png_image_finish_read(&image, nullptr, out->argb.data(), 0, nullptr) != 0;
}

bool encode_png(const Pixels& pixels, std::string* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = pixels.width;
    image.height = pixels.height;
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.argb.data(), 0, nullptr)) return false;
    out->resize(size);
    if (!png_image_write_to_memory(&image, out->data(), &size, 0, pixels.argb.data(), 0, nullptr)) return false;
    out->resize(size);
    return true;
}

}  // namespace vyn::image_os
