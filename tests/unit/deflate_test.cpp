// The deflate codecs over byte ranges: known streams, malformed and cut input, undersized
// destinations, round trips, and cross-checks with Python's zlib and gzip modules both ways.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "eval/os/deflate.hpp"
#include "tests/unit/random_bytes.hpp"

using namespace vyn;
using Bytes = std::vector<uint8_t>;
using vyn::testing_support::random_bytes;
using Codec = deflate::Status (*)(uint8_t*, size_t&, const uint8_t*, size_t);

namespace {

Bytes hex(std::string_view digits) {
    Bytes b;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) b.push_back(uint8_t(std::stoi(std::string(digits.substr(i, 2)), nullptr, 16)));
    return b;
}
Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

struct Result {
    deflate::Status status;
    Bytes out;
};

// Measures with capacity 0, then runs with the measured capacity, as the natives do.
Result run(Codec codec, const Bytes& in) {
    size_t size = 0;
    deflate::Status s = codec(nullptr, size, in.data(), in.size());
    if (s != deflate::TOO_SMALL && s != deflate::DONE) return {s, {}};
    Bytes out(size);
    s = codec(out.data(), size, in.data(), in.size());
    out.resize(s == deflate::DONE ? size : 0);
    return {s, out};
}

Bytes text_like(size_t n, uint32_t seed) {
    static const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dog ", "\n", "compress ",
                                  "42 ", "deflate ", "[block] ", "value: "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        std::string_view w = words[rng() % 14];
        b.insert(b.end(), w.begin(), w.end());
    }
    b.resize(n);
    return b;
}
TEST(Deflate, EmptyInputGivesTheShortestStreams) {
    const struct {
        Codec codec;
        const char* expected;
    } cases[] = {
        {deflate::compress, "0300"},
        {deflate::zlib_wrap, "7801030000000001"},
        {deflate::gzip_wrap, "1F8B080000000000040403000000000000000000"},
    };
    for (const auto& c : cases) {
        Result r = run(c.codec, {});
        EXPECT_EQ(r.status, deflate::DONE);
        EXPECT_EQ(r.out, hex(c.expected)) << c.expected;
    }
}

TEST(Inflate, DecodesKnownStreams) {
    const struct {
        Codec codec;
        const char* stream;
        std::string expected;
    } cases[] = {
        // stored, with the complement right and with it wrong (not compared)
        {deflate::decompress, "010300FCFF616263", "abc"},
        {deflate::decompress, "0103000000616263", "abc"},
        // two stored blocks, the first not final
        {deflate::decompress, "000200FDFF6162010100FEFF63", "abc"},
        {deflate::decompress, "4B4C84802420484E4E49C4CB4D058234204807820C10C804822C200000",
         "aaaaaaaabbbbccdaaaaaaaabbbbccdaaaaaaaabbbbccdeeeeffffgggghhhhhiiiijjjj"},
        // a dynamic block
        {deflate::decompress,
         "258CC11100400C015BD11A92FE5B38720F19B308A92557D19A247AA850DB139380B28CA8BC48578F4B59EEC21278EDF3AD24F5E41DB"
         "AB350F01793F001",
         "aabeaaebaaeecaaa caaaababecccdabaaaeabcbc cbcabababaabbaaeeabacaabccaaacbb aabaaaaacbbaabbbaccd ca bcabcb "
         "bbacbacaabdbbb"},
        // gzip with FEXTRA, FNAME, FCOMMENT and a header CRC
        {deflate::gzip_unwrap,
         "1F8B081E000000000003030078797A6E616D652E747874006120636F6D6D656E7400B5E6CB48CDC9C957C84090008088F9E51100"
         "0000",
         "hello hello hello"},
    };
    for (const auto& c : cases) {
        Result r = run(c.codec, hex(c.stream));
        EXPECT_EQ(r.status, deflate::DONE) << c.stream;
        EXPECT_EQ(r.out, bytes_of(c.expected)) << c.stream;
    }
}

TEST(Inflate, RefusesMalformedAndCutInput) {
    const Bytes hello_gzip = hex(
        "1F8B081E000000000003030078797A6E616D652E747874006120636F6D6D656E7400B5E6CB48CDC9C957C84090008088F9E511000000");
    Bytes reserved_flag = hello_gzip;
    reserved_flag[3] |= 32;
    Bytes bad_header_crc = hello_gzip;
    bad_header_crc[35] ^= 1;
    Bytes bad_crc = hello_gzip;
    bad_crc[hello_gzip.size() - 8] ^= 1;
    Bytes bad_isize = hello_gzip;
    bad_isize[hello_gzip.size() - 4] = 16;  // one byte short of the real length
    Bytes huge_isize = hello_gzip;
    huge_isize[hello_gzip.size() - 1] = 0x7F;
    Bytes unterminated_name = hex("1F8B0808000000000003616263");
    unterminated_name.insert(unterminated_name.end(), 8, 'x');

    const struct {
        const char* what;
        Codec codec;
        Bytes stream;
        deflate::Status expected;
    } cases[] = {
        {"empty raw", deflate::decompress, {}, deflate::BAD_DATA},
        {"cut in a stored block", deflate::decompress, hex("010300FCFF6162"), deflate::STORED_PAST_END},
        {"stored length cut", deflate::decompress, hex("0103"), deflate::BAD_DATA},
        {"cut in a fixed block", deflate::decompress, hex("4B4C8480"), deflate::BAD_DATA},
        {"no final block", deflate::decompress, hex("000200FDFF6162"), deflate::BAD_DATA},
        {"reserved block type", deflate::decompress, hex("07"), deflate::RESERVED_BLOCK},
        // fixed: literal 'a', then length 3 at distance 2 with one byte of output
        {"distance past the start", deflate::decompress, hex("4B044200"), deflate::DISTANCE_TOO_FAR},
        // dynamic header whose first code-length symbol is a repeat with nothing to repeat
        {"repeat with no previous length", deflate::decompress, hex("050002240000"), deflate::BAD_DATA},
        {"over-subscribed code lengths", deflate::decompress, hex("050092000000"), deflate::BAD_DATA},
        {"zlib too short", deflate::zlib_unwrap, hex("78010300"), deflate::BAD_DATA},
        {"zlib bad header", deflate::zlib_unwrap, hex("0000"), deflate::BAD_DATA},
        {"zlib preset dictionary", deflate::zlib_unwrap, hex("7820000000000000"), deflate::BAD_DATA},
        {"zlib bad checksum", deflate::zlib_unwrap, hex("7801030000000002"), deflate::BAD_DATA},
        {"zlib cut", deflate::zlib_unwrap, hex("7801CB48CDC9C9062C0215"), deflate::BAD_DATA},
        {"gzip reserved flag", deflate::gzip_unwrap, reserved_flag, deflate::BAD_DATA},
        {"gzip header crc", deflate::gzip_unwrap, bad_header_crc, deflate::BAD_DATA},
        {"gzip data crc", deflate::gzip_unwrap, bad_crc, deflate::BAD_DATA},
        {"gzip length mismatch", deflate::gzip_unwrap, bad_isize, deflate::BAD_DATA},
        {"gzip impossible length", deflate::gzip_unwrap, huge_isize, deflate::BAD_DATA},
        {"gzip name into the trailer", deflate::gzip_unwrap, unterminated_name, deflate::BAD_DATA},
        {"gzip too short", deflate::gzip_unwrap, hex("1F8B08000000000000000300000000000000"), deflate::BAD_DATA},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.codec, c.stream).status, c.expected) << c.what;
}

// Every byte of every short prefix of a valid stream is refused without a read past its end
// (the sanitizer build watches the reads).
TEST(Inflate, EveryPrefixOfAStreamIsRefused) {
    Bytes data = text_like(3000, 7);
    for (Codec wrap : {deflate::compress, deflate::zlib_wrap, deflate::gzip_wrap}) {
        Bytes full = run(wrap, data).out;
        Codec unwrap = wrap == deflate::compress ? deflate::decompress
                       : wrap == deflate::zlib_wrap ? deflate::zlib_unwrap
                                                    : deflate::gzip_unwrap;
        for (size_t n = 0; n < full.size(); ++n) {
            Bytes cut(full.begin(), full.begin() + long(n));
            EXPECT_NE(run(unwrap, cut).status, deflate::DONE) << n;
        }
    }
}

TEST(Deflate, UndersizedDestinationIsNeverOverrun) {
    Bytes data = text_like(20000, 3);
    const struct {
        Codec codec;
        Bytes input;
    } cases[] = {
        {deflate::compress, data},
        {deflate::zlib_wrap, data},
        {deflate::gzip_wrap, data},
        {deflate::zlib_unwrap, run(deflate::zlib_wrap, data).out},
        {deflate::decompress, run(deflate::compress, data).out},
    };
    for (const auto& c : cases) {
        const size_t needed = run(c.codec, c.input).out.size();
        for (size_t capacity : {size_t(0), size_t(1), size_t(5), needed / 2, needed - 1}) {
            Bytes out(capacity + 16, 0xEE);
            size_t size = capacity;
            EXPECT_EQ(c.codec(out.data(), size, c.input.data(), c.input.size()), deflate::TOO_SMALL);
            EXPECT_EQ(size, needed);
            for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << capacity;
        }
    }
    // gzip learns its size from the trailer without decoding
    Bytes gz = run(deflate::gzip_wrap, data).out;
    size_t size = 0;
    EXPECT_EQ(deflate::gzip_unwrap(nullptr, size, gz.data(), gz.size()), deflate::TOO_SMALL);
    EXPECT_EQ(size, data.size());
}

TEST(Deflate, RoundTripsEveryKindOfData) {
    Bytes runs(100000, 'a');
    for (size_t i = 0; i < runs.size(); i += 1000) runs[i] = 'b';
    Bytes mixed = text_like(60000, 11);
    Bytes noise = random_bytes(40000, 5);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    const Bytes inputs[] = {bytes_of("a"), bytes_of("ab"), bytes_of("abc"), bytes_of("aaaa"), text_like(1000, 1),
                            text_like(300000, 2), random_bytes(200000, 4), Bytes(70000, 0), runs, mixed};
    const struct {
        Codec wrap, unwrap;
    } codecs[] = {{deflate::compress, deflate::decompress},
                  {deflate::zlib_wrap, deflate::zlib_unwrap},
                  {deflate::gzip_wrap, deflate::gzip_unwrap}};
    for (const auto& c : codecs) {
        for (const Bytes& in : inputs) {
            Result packed = run(c.wrap, in);
            ASSERT_EQ(packed.status, deflate::DONE);
            Result back = run(c.unwrap, packed.out);
            ASSERT_EQ(back.status, deflate::DONE) << in.size();
            EXPECT_TRUE(back.out == in) << in.size();
        }
    }
    // Incompressible data costs little more than its size (stored blocks).
    EXPECT_LE(run(deflate::compress, random_bytes(200000, 4)).out.size(), 200000u + 200000u / 2048 + 32);
}

// ---- cross-checks with Python's zlib and gzip modules ----

struct Python {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vyn-deflate-" + std::to_string(getpid()));
    Python() { std::filesystem::create_directories(dir); }
    ~Python() { std::filesystem::remove_all(dir); }

    void write(const std::string& name, const Bytes& b) const {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), long(b.size()));
    }
    Bytes read(const std::string& name) const {
        std::ifstream f(dir / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }
    // Runs a script in the directory, with zlib and gzip imported and `r` and `w` reading and
    // writing the bytes of a file there (one interpreter start: it is slow).
    bool run(const std::string& script) const {
        std::ofstream(dir / "script.py") << "import zlib, gzip\n"
                                            "def r(name): return open(name, 'rb').read()\n"
                                            "def w(name, data): open(name, 'wb').write(data)\n"
                                         << script;
        std::string command = "cd '" + dir.string() + "' && python3 script.py";
        return std::system(command.c_str()) == 0;
    }
    static bool available() { return std::system("python3 -c 'import zlib, gzip' 2>/dev/null") == 0; }
};

const Bytes& cross_corpus() {
    static const Bytes corpus = [] {
        Bytes b = text_like(150000, 21);
        Bytes noise = random_bytes(30000, 22);
        b.insert(b.end(), noise.begin(), noise.end());
        b.insert(b.end(), 40000, 0);
        Bytes tail = text_like(100000, 23);
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    }();
    return corpus;
}

TEST(DeflateCrossCheck, PythonReadsOurStreams) {
    if (!Python::available()) GTEST_SKIP() << "python3 with zlib is not installed";
    Python py;
    const struct {
        Codec wrap;
        const char* reader;
    } framings[] = {
        {deflate::compress, "zlib.decompress(r(name), -15)"},
        {deflate::zlib_wrap, "zlib.decompress(r(name))"},
        {deflate::gzip_wrap, "gzip.decompress(r(name))"},
    };
    const Bytes inputs[] = {cross_corpus(), text_like(5000, 9), Bytes{}, bytes_of("x")};
    std::string script;
    for (size_t i = 0; i < std::size(inputs); ++i)
        for (size_t f = 0; f < std::size(framings); ++f) {
            std::string name = "s" + std::to_string(i) + "-" + std::to_string(f);
            py.write(name, run(framings[f].wrap, inputs[i]).out);
            script += "name = '" + name + "'\nw(name + '.out', " + framings[f].reader + ")\n";
        }
    ASSERT_TRUE(py.run(script));
    for (size_t i = 0; i < std::size(inputs); ++i)
        for (size_t f = 0; f < std::size(framings); ++f)
            EXPECT_TRUE(py.read("s" + std::to_string(i) + "-" + std::to_string(f) + ".out") == inputs[i])
                << framings[f].reader << " of input " << i;
}

TEST(DeflateCrossCheck, WeReadPythonStreams) {
    if (!Python::available()) GTEST_SKIP() << "python3 with zlib is not installed";
    Python py;
    const struct {
        Codec unwrap;
        const char* writer;
    } cases[] = {
        {deflate::zlib_unwrap, "zlib.compress(data, 6)"},
        {deflate::zlib_unwrap, "zlib.compress(data, 9)"},
        {deflate::zlib_unwrap, "zlib.compress(data, 0)"},
        {deflate::decompress, "(lambda c: c.compress(data) + c.flush())(zlib.compressobj(1, zlib.DEFLATED, -15))"},
        {deflate::gzip_unwrap, "gzip.compress(data, 6)"},
        {deflate::gzip_unwrap, "gzip.compress(data, 1)"},
    };
    py.write("in", cross_corpus());
    std::string script = "data = r('in')\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        script += "w('p" + std::to_string(i) + "', " + cases[i].writer + ")\n";
    ASSERT_TRUE(py.run(script));
    for (size_t i = 0; i < std::size(cases); ++i) {
        Result r = run(cases[i].unwrap, py.read("p" + std::to_string(i)));
        ASSERT_EQ(r.status, deflate::DONE) << cases[i].writer;
        EXPECT_TRUE(r.out == cross_corpus()) << cases[i].writer;
    }
}

}  // namespace
