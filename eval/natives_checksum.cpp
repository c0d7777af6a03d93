// The checksum native: the bytes of its data (a file read whole, a string as UTF-8, a binary!
// from its head) go to the checksum, digest or HMAC that the method word names. The bytes are
// copied out of their series before anything is allocated, so no buffer can move under them.
#include <string>

#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "datatypes/os/files.hpp"
#include "datatypes/string.hpp"
#include "datatypes/words.hpp"
#include "eval/checksum.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

using checksum::Method;

std::string data_bytes(const Cell& data) {
    if (data.is(TYPE_FILE)) {
        Rooted content(data);
        files::read(content.get(), nullptr, nullptr, true, false, false, nullptr);
        if (!content->is(TYPE_BINARY)) fire(err::invalid_arg, &data);  // a directory
        return bytes_of(*content);
    }
    if (data.is(TYPE_BINARY) || data.is(TYPE_STRING)) return bytes_of(data);
    fire(err::invalid_arg, &data);
}

// What /with may give for the method: nothing for the plain checksums, a string or binary key
// for a digest (its HMAC), a table size for hash.
void check_with(Method m, const Cell* with) {
    bool integer = with && with->is(TYPE_INTEGER);
    if (checksum::is_digest(m)) {
        if (integer) fire(err::invalid_refine_arg, &words::ref::with, with);
    } else if (m == Method::hash) {
        if (!with) fire(err::missing_arg);
        if (!integer) fire(err::invalid_refine_arg, &words::ref::with, with);
    } else if (with) {
        fire(err::bad_refines);
    }
}

const uint8_t* data_of(const std::string& bytes) { return reinterpret_cast<const uint8_t*>(bytes.data()); }

Cell digest_result(const std::string& data, const Cell* key, Method m) {
    checksum::Digest d;
    if (key) {
        std::string key_bytes = bytes_of(*key);
        d = checksum::hmac(data_of(data), data.size(), data_of(key_bytes), key_bytes.size(), m);
    } else {
        d = checksum::digest(data_of(data), data.size(), m);
    }
    return string::binary_of(d.bytes, size_t(d.size));
}

}  // namespace

namespace entry {

void checksum(int32_t, const int32_t* refinements) {
    const Cell* a = args();
    const Cell* with = refinement_arg(refinements, 0);
    Method m = a[1].is(TYPE_WORD) ? checksum::method_of(a[1].s2) : Method::none;
    if (m == Method::none) fire(err::invalid_arg, &a[1]);
    check_with(m, with);
    if (m == Method::hash) fire(err::not_done);  // no hashing algorithm is chosen yet
    std::string data = data_bytes(a[0]);
    switch (m) {
    case Method::tcp: return stack::set_result(integer_cell(checksum::tcp(data_of(data), data.size())));
    case Method::crc32: return stack::set_result(integer_cell(int32_t(checksum::crc32(data_of(data), data.size()))));
    case Method::adler32:
        return stack::set_result(integer_cell(int32_t(checksum::adler32(data_of(data), data.size()))));
    default: return stack::set_result(digest_result(data, with, m));
    }
}

}  // namespace entry
}  // namespace vyn::natives
