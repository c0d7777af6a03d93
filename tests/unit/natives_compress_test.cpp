// compress and decompress as scripts call them: the bytes of their binary! results, the errors
// of unknown methods, bad data and negative sizes, run with the collector on (every allocation
// collects in the stress build).
#include "core/catalog.hpp"
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class Compress : public NativesTest {
protected:
    // The bytes of a binary! result from its head, as upper-case hexadecimal digits.
    static std::string hex_of(std::string_view source) {
        Cell b = run(source);
        if (!b.is(TYPE_BINARY)) return "not a binary!";
        Series* s = memory::series_of(b.s2);
        std::string out;
        for (uint32_t i = b.s1; i < s->length(); ++i) out += string::byte_to_hex(s->head_ptr()[i]);
        return out;
    }
};

TEST_F(Compress, GivesTheStreamsOfEachFraming) {
    const struct {
        const char* code;
        const char* bytes;
    } cases[] = {
        {"compress #{} 'deflate", "0300"},
        {"compress #{} 'zlib", "7801030000000001"},
        {"compress #{} 'gzip", "1F8B080000000000040403000000000000000000"},
        {"compress \"\" 'Deflate", "0300"},
        // a string goes in as UTF-8
        {"decompress compress \"é\" 'zlib 'zlib", "C3A9"},
        // the complement of a stored block's length is not compared
        {"decompress #{010300FCFF616263} 'deflate", "616263"},
        {"decompress #{0103000000616263} 'deflate", "616263"},
        {"decompress/size #{7801030000000001} 'zlib 0", ""},
        {"decompress/size compress #{616263} 'deflate 'deflate 1", "616263"},
        {"decompress/size compress #{616263} 'deflate 'deflate 100", "616263"},
    };
    for (const auto& c : cases) EXPECT_EQ(hex_of(c.code), c.bytes) << c.code;
}

TEST_F(Compress, TheSameDataAlwaysGivesTheSameBytes) {
    EXPECT_EQ(hex_of("compress \"aaaa\" 'gzip"), hex_of("compress \"aaaa\" 'gzip"));
}

TEST_F(Compress, RefusesUnknownMethodsBadDataAndNegativeSizes) {
    const struct {
        const char* code;
        int error;
    } cases[] = {
        {"compress \"x\" 'lzma", err::invalid_arg},
        {"decompress #{00} 'rar", err::invalid_arg},
        {"decompress #{0000} 'zlib", err::invalid_data},
        {"decompress #{7820000000000000} 'zlib", err::invalid_data},
        {"decompress #{} 'deflate", err::invalid_data},
        {"decompress #{4B4C8480} 'deflate", err::invalid_data},  // cut short inside a block
        {"decompress #{1F8B08} 'gzip", err::invalid_data},
        {"decompress/size #{0300} 'deflate -1", err::out_of_range},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of(c.code), c.error) << c.code;
    error_of("compress \"x\" 'lzma");
    EXPECT_EQ(arg_text(0), "lzma");
}

}  // namespace
