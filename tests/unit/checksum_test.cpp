// Checksums, digests and HMAC against published vectors (ISO 3309 / zlib CRC-32, RFC 1950
// Adler-32, RFC 1071, RFC 1321, FIPS 180, RFC 2202 and RFC 4231), long inputs checked against a
// plain reference that reduces after every byte, and the bytes the checksum native gives for
// strings, binaries and files.
#include <fstream>
#include <string>
#include <vector>

#include "eval/checksum.hpp"
#include "tests/unit/natives_fixture.hpp"
#include "tests/unit/raised_error.hpp"

using namespace vyn;
using checksum::Method;

namespace {

const uint8_t* bytes(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

std::string hex(const uint8_t* data, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::string hex(const checksum::Digest& d) { return hex(d.bytes, size_t(d.size)); }

std::string digest_of(std::string_view text, Method m) { return hex(checksum::digest(bytes(text), text.size(), m)); }

std::string hmac_of(std::string_view data, std::string_view key, Method m) {
    return hex(checksum::hmac(bytes(data), data.size(), bytes(key), key.size(), m));
}

const std::string fox = "The quick brown fox jumps over the lazy dog";

}  // namespace

TEST(Checksum, Crc32AndAdler32MatchTheirVectors) {
    struct {
        std::string text;
        uint32_t crc, adler;
    } cases[] = {
        {"", 0, 1},
        {"abc", 0x352441C2, 0x024D0127},
        {"123456789", 0xCBF43926, 0x091E01DE},
        {"Wikipedia", 0xADAAC02E, 0x11E60398},
        {fox, 0x414FA339, 0x5BDC0FDA},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checksum::crc32(bytes(c.text), c.text.size()), c.crc) << c.text;
        EXPECT_EQ(checksum::adler32(bytes(c.text), c.text.size()), c.adler) << c.text;
    }
}

TEST(Checksum, LongInputsKeepEveryCarry) {
    // All 0xFF bytes push both Adler sums and the Internet sum as fast as anything can.
    for (size_t n : {3853u, 3854u, 3855u, 100000u, 300001u}) {
        std::vector<uint8_t> data(n, 0xFF);
        uint32_t a = 1, b = 0;
        uint32_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
            a = (a + data[i]) % 65521;
            b = (b + a) % 65521;
            uint32_t word = i % 2 ? data[i] : uint32_t(data[i]) << 8;
            sum += word;
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
        EXPECT_EQ(checksum::adler32(data.data(), n), b << 16 | a) << n;
        EXPECT_EQ(checksum::tcp(data.data(), n), uint16_t(~sum)) << n;
    }
}

TEST(Checksum, TcpIsTheInternetChecksum) {
    const uint8_t rfc_example[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(checksum::tcp(rfc_example, sizeof rfc_example), 0x220D);
    const uint8_t odd[] = {0x01};  // the last byte is the high half of a word
    EXPECT_EQ(checksum::tcp(odd, 1), 0xFEFF);
    EXPECT_EQ(checksum::tcp(nullptr, 0), 0xFFFF);
}

TEST(Checksum, DigestsMatchTheirVectors) {
    struct {
        Method method;
        const char* text;
        const char* digest;
    } cases[] = {
        {Method::md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {Method::md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {Method::sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {Method::sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {Method::sha384, "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
        {Method::sha512, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
         "454d4423643ce80e2a9ac94fa54ca49f"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(digest_of(c.text, c.method), c.digest) << c.text;
        EXPECT_EQ(checksum::digest_size(c.method) * 2, int(std::string_view(c.digest).size()));
    }
    for (Method m : {Method::tcp, Method::crc32, Method::adler32, Method::hash}) EXPECT_EQ(checksum::digest_size(m), 0);
}

TEST(Checksum, HmacMatchesTheRfcVectors) {
    std::string key20(20, '\x0b'), key131(131, '\xaa');
    std::string large_key_data = "Test Using Larger Than Block-Size Key - Hash Key First";
    struct {
        Method method;
        std::string data, key;
        const char* mac;
    } cases[] = {
        {Method::md5, "Hi There", std::string(16, '\x0b'), "9294727a3638bb1c13f48ef8158bfc9d"},
        {Method::md5, "what do ya want for nothing?", "Jefe", "750c783e6ab0b503eaa86e310a5db738"},
        {Method::md5, fox, "key", "80070713463e7749b90c2dc24911e275"},
        {Method::sha1, "Hi There", key20, "b617318655057264e28bc0b6fb378c8ef146be00"},
        {Method::sha256, "Hi There", key20, "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {Method::sha256, fox, "key", "f7bc83f430538424b13298e6aa6fb143ef4d59a14946175997479dbc2d1a3cd8"},
        {Method::sha384, "what do ya want for nothing?", "Jefe",
         "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649"},
        {Method::sha512, "Hi There", key20,
         "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4be"
         "9d914eeb61f1702e696c203a126854"},
        // Keys longer than the block (64 bytes, 128 for the 384 and 512 digests) are digested first.
        {Method::sha256, large_key_data, key131, "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {Method::sha512, large_key_data, key131,
         "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e52"
         "95e64f73f63f0aec8b915a985d786598"},
    };
    for (const auto& c : cases) EXPECT_EQ(hmac_of(c.data, c.key, c.method), c.mac) << c.data;
}

TEST(Checksum, AKeyLongerThanTheBlockActsAsItsDigest) {
    for (Method m : {Method::md5, Method::sha1, Method::sha384}) {
        std::string key(200, 'k');
        checksum::Digest d = checksum::digest(bytes(key), key.size(), m);
        std::string digested(reinterpret_cast<const char*>(d.bytes), size_t(d.size));
        EXPECT_EQ(hmac_of("data", key, m), hmac_of("data", digested, m));
        EXPECT_EQ(hmac_of("data", "", m), hmac_of("data", std::string(10, '\0'), m));  // zero padded
    }
}

TEST(Checksum, DigestOfAPlainChecksumIsRefused) {
    set_error_raiser(testing_errors::record_error);
    for (Method m : {Method::tcp, Method::crc32}) {
        auto e = testing_errors::raised([m] { checksum::digest(bytes("abc"), 3, m); });
        EXPECT_EQ(e.code, err::invalid_arg);
        ASSERT_EQ(e.args.size(), 1u);
        EXPECT_EQ(e.args[0].i32(), int32_t(m));
    }
    set_error_raiser(nullptr);
}

namespace {

class ChecksumNative : public testing_support::NativesTest {
protected:
    // The bytes of a binary! result, as lower-case hex.
    static std::string binary_hex(std::string_view source) {
        Cell value = run(source);
        if (!value.is(TYPE_BINARY)) {
            ADD_FAILURE() << "no binary from: " << source;
            return {};
        }
        Series* s = memory::series_of(value.s2);
        return hex(s->head_ptr() + value.s1, s->length() - value.s1);
    }
};

}  // namespace

TEST_F(ChecksumNative, DigestsAndHmacsAreBinaries) {
    struct {
        const char* code;
        std::string bytes;
    } cases[] = {
        {"checksum \"abc\" 'md5", "900150983cd24fb0d6963f7d28e17f72"},
        {"checksum next #{00616263} 'SHA1", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"checksum \"abc\" 'sha256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"checksum/with \"The quick brown fox jumps over the lazy dog\" 'md5 \"key\"",
         "80070713463e7749b90c2dc24911e275"},
        {"checksum/with \"The quick brown fox jumps over the lazy dog\" 'sha256 #{6B6579}",
         "f7bc83f430538424b13298e6aa6fb143ef4d59a14946175997479dbc2d1a3cd8"},
        // A string's text goes in as UTF-8.
        {"checksum \"\u00e9\" 'md5", digest_of("\xc3\xa9", Method::md5)},
    };
    for (const auto& c : cases) EXPECT_EQ(binary_hex(c.code), c.bytes) << c.code;
    run("k: append/dup copy \"\" \"k\" 100");
    EXPECT_EQ(binary_hex("checksum/with \"d\" 'sha1 k"), binary_hex("checksum/with \"d\" 'sha1 checksum k 'sha1"));
}

TEST_F(ChecksumNative, AFileIsReadWhole) {
    std::string path = ::testing::TempDir() + "checksum-data.bin";
    std::ofstream(path, std::ios::binary) << "abc";
    EXPECT_EQ(mold_of("checksum %" + path + " 'crc32"), "891568578");
    EXPECT_EQ(binary_hex("checksum %" + path + " 'md5"), "900150983cd24fb0d6963f7d28e17f72");
    std::remove(path.c_str());
}
