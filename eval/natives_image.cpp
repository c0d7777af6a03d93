// The image codecs' encoder and decoder, which the codec objects of `system/codecs` call: an
// image! to the file of a format id (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF), and a binary!, file
// or URL to an image!, or none when the bytes are no image format.
#include <string>

#include "core/raise.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/image.hpp"
#include "datatypes/os/files.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

// The bytes of a file or URL, read whole.
std::string read_source(Cell* source) {
    if (source->is(TYPE_FILE) || source->is(TYPE_STRING)) return files::read_bytes(source);
    if (!source->is(TYPE_URL)) fire(err::invalid_arg, source);
    Cell* read = actions::handler_of<A_READ>(source)(source, nullptr, nullptr, true, false, false, nullptr);
    if (!read->is(TYPE_BINARY)) fire(err::bad_media);
    return bytes_of(*read);
}

}  // namespace

namespace entry {

void encode_image(int32_t, const int32_t*) {
    Cell* a = args();
    int32_t format = a[2].i32();
    if (format < 0 || format >= image_os::FORMAT_COUNT) fire(err::invalid_arg, &a[2]);
    image::encode(a, a[0], image_os::Format(format));
}

void decode_image(int32_t, const int32_t*) {
    Cell* a = args();
    // The decoder is done with the bytes before the result allocates.
    if (a->is(TYPE_BINARY)) {
        image::decode(a, binary::bytes_of(a));
        return;
    }
    std::string bytes = read_source(a);
    image::decode(a, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace entry
}  // namespace vyn::natives
