// JPEG through the TurboJPEG interface of libjpeg-turbo, which keeps the library's error jumps
// inside it and reports failures as return values. A warning (a cut or damaged stream) stops
// decoding and counts as a failure. Encoding drops the alpha channel: 4:2:0 at quality 90.
#include <turbojpeg.h>

#include "datatypes/os/image_codecs.hpp"

namespace vyn::image_os {

namespace {

constexpr int QUALITY = 90;

// Frees the TurboJPEG instance however the call ends.
struct Instance {
    tjhandle handle;
    explicit Instance(tjhandle h) : handle(h) {}
    ~Instance() {
        if (handle) tjDestroy(handle);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
};

}  // namespace

bool decode_jpeg(std::span<const uint8_t> bytes, Pixels* out, uint64_t max_pixels) {
    Instance tj(tjInitDecompress());
    if (!tj.handle) return false;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.handle, bytes.data(), (unsigned long)bytes.size(), &width, &height, &subsampling,
                            &colorspace) != 0)
        return false;
    if (width <= 0 || height <= 0 || !allocate(out, uint32_t(width), uint32_t(height), max_pixels)) return false;
    auto* destination = reinterpret_cast<unsigned char*>(out->argb.data());
    return tjDecompress2(tj.handle, bytes.data(), (unsigned long)bytes.size(), destination, width, 0, height,
                         TJPF_BGRA, TJFLAG_STOPONWARNING) == 0;
}

bool encode_jpeg(const Pixels& pixels, std::string* out) {
    Instance tj(tjInitCompress());
    if (!tj.handle) return false;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const auto* source = reinterpret_cast<const unsigned char*>(pixels.argb.data());
    bool done = tjCompress2(tj.handle, source, int(pixels.width), 0, int(pixels.height), TJPF_BGRA, &jpeg, &size,
                            TJSAMP_420, QUALITY, 0) == 0;
    if (done) out->assign(reinterpret_cast<const char*>(jpeg), size);
    tjFree(jpeg);
    return done;
}

}  // namespace vyn::image_os
