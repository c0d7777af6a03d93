// The CRC table is made at compile time. Each digest runs in an EVP context of its own that is
// freed on every path, an error's unwinding included; every libcrypto call is checked.
#include "eval/checksum.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <memory>

#include "core/raise.hpp"
#include "core/symbol.hpp"

namespace vyn::checksum {
namespace {

constexpr uint32_t CRC_POLYNOMIAL = 0xEDB88320u;

constexpr std::array<uint32_t, 256> make_crc_table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ CRC_POLYNOMIAL : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> crc_table = make_crc_table();

constexpr uint32_t ADLER_MODULUS = 65521;
// Short enough that neither sum can leave 32 bits before it is reduced.
constexpr size_t ADLER_RUN = 3854;

// In the order of Method.
constexpr const char* method_names[] = {"tcp", "crc32", "md5", "sha1", "sha256", "sha384", "sha512", "adler32", "hash"};
constexpr int METHOD_COUNT = int(sizeof method_names / sizeof method_names[0]);
uint32_t method_symbols[METHOD_COUNT];

const EVP_MD* algorithm(Method m) {
    switch (m) {
    case Method::md5: return EVP_md5();
    case Method::sha1: return EVP_sha1();
    case Method::sha256: return EVP_sha256();
    case Method::sha384: return EVP_sha384();
    case Method::sha512: return EVP_sha512();
    default: {
        Cell code = integer_cell(int32_t(m));
        fire(err::invalid_arg, &code);
    }
    }
}

[[noreturn]] void digest_failed() { fire(err::feature_na); }

class Hasher {
public:
    explicit Hasher(Method m) : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        if (!context_ || EVP_DigestInit_ex(context_.get(), algorithm(m), nullptr) != 1) digest_failed();
    }
    Hasher& add(const uint8_t* bytes, size_t length) {
        if (EVP_DigestUpdate(context_.get(), bytes, length) != 1) digest_failed();
        return *this;
    }
    Digest finish() {
        Digest d{};
        unsigned size = 0;
        if (EVP_DigestFinal_ex(context_.get(), d.bytes, &size) != 1) digest_failed();
        d.size = int(size);
        return d;
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context_;
};

}  // namespace

void init() {
    for (int i = 0; i < METHOD_COUNT; ++i) method_symbols[i] = symbol::make(method_names[i]);
}

Method method_of(uint32_t symbol) {
    uint32_t canonical = symbol::resolve(symbol);
    for (int i = 0; i < METHOD_COUNT; ++i)
        if (symbol::resolve(method_symbols[i]) == canonical) return Method(i);
    return Method::none;
}

int digest_size(Method m) {
    switch (m) {
    case Method::md5: return 16;
    case Method::sha1: return 20;
    case Method::sha256: return 32;
    case Method::sha384: return 48;
    case Method::sha512: return 64;
    default: return 0;
    }
}

uint32_t crc32(const uint8_t* bytes, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ crc_table[(crc ^ bytes[i]) & 0xFF];
    return ~crc;
}

uint32_t adler32(const uint8_t* bytes, size_t length) {
    uint32_t a = 1;
    uint32_t b = 0;
    while (length > 0) {
        size_t run = std::min(length, ADLER_RUN);
        for (size_t i = 0; i < run; ++i) {
            a += bytes[i];
            b += a;
        }
        a %= ADLER_MODULUS;
        b %= ADLER_MODULUS;
        bytes += run;
        length -= run;
    }
    return (b << 16) | a;
}

// The sum is kept in 64 bits so that no carry is lost however long the data.
uint16_t tcp(const uint8_t* bytes, size_t length) {
    uint64_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += uint32_t(bytes[i]) << 8 | bytes[i + 1];
    if (length % 2) sum += uint32_t(bytes[length - 1]) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

Digest digest(const uint8_t* bytes, size_t length, Method m) { return Hasher(m).add(bytes, length).finish(); }

Digest hmac(const uint8_t* data, size_t data_length, const uint8_t* key, size_t key_length, Method m) {
    size_t block = m == Method::sha384 || m == Method::sha512 ? 128 : 64;
    Digest key_digest;
    if (key_length > block) {
        key_digest = digest(key, key_length, m);
        key = key_digest.bytes;
        key_length = size_t(key_digest.size);
    }
    uint8_t inner_pad[128] = {};
    uint8_t outer_pad[128] = {};
    std::copy_n(key, key_length, inner_pad);
    std::copy_n(key, key_length, outer_pad);
    for (size_t i = 0; i < block; ++i) {
        inner_pad[i] ^= 0x36;
        outer_pad[i] ^= 0x5C;
    }
    Digest inner = Hasher(m).add(inner_pad, block).add(data, data_length).finish();
    return Hasher(m).add(outer_pad, block).add(inner.bytes, size_t(inner.size)).finish();
}

}  // namespace vyn::checksum
