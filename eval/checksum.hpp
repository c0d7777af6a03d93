// Checksums and message digests of byte ranges, for the checksum native and the compression
// framings. CRC-32, Adler-32 and the Internet (TCP) checksum are our own code; MD5 and the SHA
// digests come from libcrypto, and HMAC is built here on those digests. A digest that cannot be
// computed raises an error: no result is ever made of a buffer the library did not fill.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::checksum {

// Method codes; adler32 and hash have none of their own in the digest tables, so they follow.
enum class Method : int8_t { tcp = 0, crc32, md5, sha1, sha256, sha384, sha512, adler32, hash, none = -1 };

// Makes the nine method words' symbols; start-up calls it once the symbol table exists.
void init();
// The method a word's symbol names (letter case aside), or none.
Method method_of(uint32_t symbol);
// A digest method: md5 to sha512.
constexpr bool is_digest(Method m) { return m >= Method::md5 && m <= Method::sha512; }
// Bytes in a digest of the method: 16, 20, 32, 48 or 64; 0 for the other methods.
int digest_size(Method m);

uint32_t crc32(const uint8_t* bytes, size_t length);
uint32_t adler32(const uint8_t* bytes, size_t length);
uint16_t tcp(const uint8_t* bytes, size_t length);

struct Digest {
    uint8_t bytes[64];
    int size;
};

// The digest of the bytes; a method that is not a digest raises `invalid-arg` with its code.
Digest digest(const uint8_t* bytes, size_t length, Method m);
// HMAC of the data under the key with the digest of the method.
Digest hmac(const uint8_t* data, size_t data_length, const uint8_t* key, size_t key_length, Method m);

}  // namespace vyn::checksum
