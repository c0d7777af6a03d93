// VYNBIN below the console: the exact bytes of the standard layout's words and padding and of
// the compact layout's short forms, sharing and binding through reference paths, the boot-image
// load with its definitions and start offset, compressed bodies, and the rejection of corrupt
// streams, crafted ones and every cut or changed byte of real ones, without a read outside them.
#include <string>
#include <vector>

#include "core/compressor.hpp"
#include "datatypes/binary.hpp"
#include "eval/vynbin.hpp"
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int INVALID_RECORD = err::vb_invalid_record;
constexpr int INVALID_DATA = err::invalid_data;

Bytes from_hex(std::string_view hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

std::string to_hex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// A compact stream of one root value with these records and no symbol table.
Bytes compact_stream(std::string_view records_hex) {
    Bytes records = from_hex(records_hex);
    Bytes out = from_hex("56594E42494E020101");
    out.push_back(uint8_t(records.size()));  // every crafted record list here is under 128 bytes
    out.insert(out.end(), records.begin(), records.end());
    return out;
}

class Vynbin : public NativesTest {
protected:
    Bytes encode(std::string_view source, bool compact) {
        Rooted value(run(source));
        return vynbin::encode_bytes(*value, compact);
    }
    // The records of a value's stream, after the header and the counts (compact, no symbols).
    std::string compact_records(std::string_view source) {
        Bytes all = encode(source, true);
        return to_hex(Bytes(all.begin() + 10, all.end()));
    }
    void set_data(const Bytes& bytes) {
        Rooted b;
        binary::make_at(b.get(), uint32_t(bytes.size()));
        binary::append_bytes(b.get(), bytes.data(), bytes.size());
        set_global("data", *b);
    }
    struct RecordCase {
        const char* source;
        const char* records;
    };
    void expect_records(std::initializer_list<RecordCase> cases) {
        for (const RecordCase& c : cases) EXPECT_EQ(compact_records(c.source), c.records) << c.source;
    }
    // The error code a boot load of the image raises, or 0.
    int boot_error(const Bytes& image) {
        Rooted root(run("copy []"));
        stack::reset_all();
        stack::mark(stack::FRAME_TRY, 0);
        int code = 0;
        try {
            vynbin::boot_load(image, root.get());
        } catch (const Unwind&) {
            code = code_of(*stack::last());
        }
        stack::reset_all();
        return code;
    }
    int decode_error(const Bytes& bytes) {
        set_data(bytes);
        return error_of("load/as data 'vynbin");
    }
    std::string decoded(const Bytes& bytes) {
        set_data(bytes);
        return mold_of("load/as data 'vynbin");
    }
};

}  // namespace

TEST_F(Vynbin, StandardLayoutWritesWordsAndPads) {
    EXPECT_EQ(to_hex(encode("[1]", false)),
              "56594E42494E0200" "0100000014000000" "0500000000000000010000000B00000001000000");
    // The block's 12 bytes end at 4 modulo 8, so a zero word comes before the float's header;
    // the float is its high word, then its low word.
    EXPECT_EQ(to_hex(encode("[1.0]", false)).substr(32),
              "050000000000000001000000" "00000000" "0C0000000000F03F00000000");
    // Five Latin-1 characters: header (unit 1), head, length, 5 bytes and 3 padding bytes.
    EXPECT_EQ(to_hex(encode("\"abcde\"", false)).substr(32), "07010000" "00000000" "05000000" "6162636465000000");
    // A name is padded to 8 bytes; the records follow the table, and a global word carries H
    // bit 25, its symbol index and its index.
    Bytes word = encode("'abc", false);
    EXPECT_EQ(to_hex(Bytes(word.begin(), word.begin() + 36)),
              "56594E42494E0204" "010000000C000000" "0100000008000000" "00000000" "6162630000000000");
    EXPECT_EQ(word.size(), 36u + 12u);
    EXPECT_EQ(word[36], TYPE_WORD);
    EXPECT_EQ(word[39], 0x02);
}

TEST_F(Vynbin, CompactLayoutShortForms) {
    expect_records({
        {"-1", "0B01"},
        {"1e10", "0C000000205FA00242"},
        {"1.2.3.4", "670401020304"},
        {"1.2.3", "27010203"},
        {"1-Jan-2000", "2F8010A00F"},
        {"next next [1 2 3]", "450203818283"},
        {"\"\xE2\x9C\x93\"", "07051327"},
        {"#{CAFE}", "2902CAFE"},
        {"make typeset! [integer!]", "21020010"},
    });
}

TEST_F(Vynbin, SharedValuesAndCyclesKeepTheirShape) {
    // The same string twice, a block inside itself, an object that holds itself.
    EXPECT_EQ(mold_of("s: \"x\" x: load/as save/as none reduce [s s] 'vynbin 'vynbin append x/1 \"y\" x/2"), "\"xy\"");
    EXPECT_EQ(mold_of("b: copy [] append/only b b x: load/as save/as none b 'vynbin 'vynbin same? x first x"), "true");
    EXPECT_EQ(mold_of("o: make object! [me: none] o/me: o p: load/as save/as none o 'vynbin 'vynbin same? p p/me"),
              "true");
    // A word bound to an object before and after the object itself: both name one context.
    for (const char* order : {"reduce [in o 'a o]", "reduce [o in o 'a]"}) {
        std::string code = std::string("o: make object! [a: 5] x: load/as save/as none ") + order +
                           " 'vynbin 'vynbin w: either word? x/1 [x/1] [x/2] p: either object? x/1 [x/1] [x/2]"
                           " set w 7 p/a";
        EXPECT_EQ(mold_of(code), "7") << order;
    }
    // A method keeps its binding to its object; a function's words to its own arguments.
    EXPECT_EQ(mold_of("o: make object! [n: 2 f: func [x] [x * n]] p: load/as save/as none o 'vynbin 'vynbin"
                      " p/n: 5 p/f 3"),
              "15");
    // The standard layout shares the same way.
    EXPECT_EQ(mold_of("system/codecs/vynbin/compact?: false b: copy [] append/only b b"
                      " x: load/as save/as none b 'vynbin 'vynbin system/codecs/vynbin/compact?: true same? x first x"),
              "true");
}

TEST_F(Vynbin, BootLoadRunsDefinitionsAndCountsPathsFromItsStart) {
    Rooted block(run("[1 2]"));
    Rooted word(run("'vynbin-boot-test"));
    vynbin::ImageWriter writer;
    writer.add_definition(*word, integer_cell(42));
    writer.add_value(*block);
    writer.add_value(*block);
    Bytes image = writer.finish();
    EXPECT_EQ(image[6], 1);
    EXPECT_EQ(image[7], 0x05);

    Rooted root(run("copy [a b]"));
    uint32_t start = vynbin::boot_load(image, root.get());
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(vynbin::boot_literal_base(), 2u);
    EXPECT_EQ(mold(*root), "[a b [1 2] [1 2]]");
    EXPECT_EQ(mold_of("vynbin-boot-test"), "42");
    Series* s = memory::series_of(root->s2);
    EXPECT_EQ(s->cells()[2].s2, s->cells()[3].s2);  // the reference names the value after the start
}

// A boot image names object contexts by root values: a context! record, then a definition of
// its word `a` (F set: context reference 0, index 0) to 5. A bad record raises the error.
TEST_F(Vynbin, BootWordsNameTheContextsOfRootValues) {
    Bytes image = from_hex("56594E42494E0105" "010A" "0102" "00000000" "6100" "0E0A0100" "C44F000000" "85");
    Rooted root(run("copy [x]"));
    EXPECT_EQ(vynbin::boot_load(image, root.get()), 1u);
    EXPECT_EQ(mold(*root), "[x make object! [\n    a: 5\n]]");

    // A bad record; a definition whose value is another definition; one inside a block.
    image.back() = 0x00;
    EXPECT_EQ(boot_error(image), INVALID_RECORD);
    EXPECT_EQ(boot_error(from_hex("56594E42494E0105" "0108" "0102" "00000000" "6100" "C40F00C40F0081")), INVALID_RECORD);
    EXPECT_EQ(boot_error(from_hex("56594E42494E0105" "0106" "0102" "00000000" "6100" "0501C40F0081")), INVALID_RECORD);
}

TEST_F(Vynbin, BootHeaderFaultsEndTheProcessWithStatusOne) {
    Bytes bad = from_hex("00594E42494E01050100");
    EXPECT_EXIT(
        {
            Rooted root(run("copy []"));
            vynbin::boot_load(bad, root.get());
        },
        testing::ExitedWithCode(1), "");
}

TEST_F(Vynbin, CompressedBodiesAreReadAfterDecompression) {
    // A body long enough for the compressor: a string of 300 letters.
    Bytes plain = encode("append/dup copy \"\" \"abc\" 100", true);
    Bytes body(plain.begin() + 8, plain.end());
    Bytes container(body.size());
    int64_t size = compress::compress(body.data(), body.size(), container.data());
    ASSERT_GT(size, 0);
    Bytes stream(plain.begin(), plain.begin() + 8);
    stream[7] |= vynbin::FLAG_COMPRESSED;
    stream.insert(stream.end(), container.begin(), container.begin() + size);
    EXPECT_EQ(decoded(stream), decoded(plain));
    stream[stream.size() / 2] ^= 0xFF;
    stream.resize(stream.size() - 3);
    EXPECT_EQ(decode_error(stream), INVALID_DATA);
}

TEST_F(Vynbin, CorruptStreamsAreInvalidRecords) {
    struct Case {
        const char* what;
        const char* records;
    };
    const Case cases[] = {
        {"a varint of six bytes", "0BFFFFFFFF7F"},
        {"type id 0", "00"},
        {"symbol! (13), series! (42) and a typed logic!", "0D"},
        {"series!", "2A"},
        {"typed logic!", "04"},
        {"an escaped type id above the highest", "3F3C"},
        {"an unused header byte", "D0"},
        {"a definition in a script decode", "C40F00"},
        {"a reference prefix on a small integer", "C181"},
        {"datatype id 0", "0100"},
        {"datatype id 60", "013C"},
        {"a char above 10FFFF", "0A808044"},
        {"a string unit code of 3", "0703"},
        {"a string longer than the input", "0728616263"},
        {"a word without a symbol table", "0F00"},
        {"a path to nothing", "C1050100"},
        {"a path of no steps", "C10500"},
        {"a string referring to a block", "05020501" "81" "C107020000"},
        {"an odd map count", "280181"},
        {"a tuple of 13 bytes", "670D"},
        {"a typeset of 13 bytes", "210D"},
        {"a date whose F disagrees with its time bit", "2F8010A10F"},
        {"month 13", "2F80D0A00F"},
        {"a vector of 8-byte integers", "232F01"},
        {"action slot 0", "16000500"},
        {"native slot 200", "15C8010500"},
        {"an op of an integer", "1781"},
        {"an error code outside the catalogue", "22E7E701"},
        {"a block longer than the input", "05FFFFFFFF0F"},
    };
    for (const Case& c : cases) EXPECT_EQ(decode_error(compact_stream(c.records)), INVALID_RECORD) << c.what;
}

TEST_F(Vynbin, CorruptHeadersAndTables) {
    // Records size beyond the input; names not ending in NUL; a name offset outside the names.
    EXPECT_EQ(decode_error(from_hex("56594E42494E020101098181")), INVALID_RECORD);
    EXPECT_EQ(decode_error(from_hex("56594E42494E02050102010300000000616263" "0F00")), INVALID_RECORD);
    EXPECT_EQ(decode_error(from_hex("56594E42494E02050102010409000000616263000F00")), INVALID_RECORD);
    EXPECT_EQ(decode_error(from_hex("56594E42494E02050102010400000000616263000F05")), INVALID_RECORD);
    // A standard body under 8 bytes; a wrong magic; a compressed body that is not a container.
    EXPECT_EQ(decode_error(from_hex("56594E42494E0200010000")), INVALID_DATA);
    EXPECT_EQ(decode_error(from_hex("56594E42494F020101028181")), INVALID_DATA);
    EXPECT_EQ(decode_error(from_hex("56594E42494E020301028181")), INVALID_DATA);
    // Standard layout: a word of a script decode without a symbol table.
    EXPECT_EQ(decode_error(from_hex("56594E42494E0200" "010000000C000000" "0F000002" "00000000" "00000000")),
              INVALID_RECORD);
}

TEST_F(Vynbin, NestingBeyondTheLimitIsRefused) {
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "0501";
    Bytes records = from_hex(deep + "81");
    Bytes stream = from_hex("56594E42494E02010101");
    uint32_t n = uint32_t(records.size());
    stream.pop_back();
    while (n >= 0x80) {
        stream.push_back(uint8_t(n | 0x80));
        n >>= 7;
    }
    stream.push_back(uint8_t(n));
    stream.insert(stream.end(), records.begin(), records.end());
    EXPECT_EQ(decode_error(stream), INVALID_RECORD);
}

// Every prefix of a real stream, and every byte of it changed, decodes or raises an error.
TEST_F(Vynbin, CutOrChangedStreamsNeverReadOutside) {
    const char* value =
        "o: make object! [a: 1 f: func [x] [x + a]] b: [1 \"s\"] reduce [b b o in o 'a 1.5 50% #{00} %f"
        " 1-Jan-2000/1:00 $1 1.2.3.4 make typeset! [integer!] charset \"ab\" #[k: 1] :append make image! [2x2 1.2.3.4]]";
    for (bool compact : {true, false}) {
        Bytes stream = encode(value, compact);
        for (size_t n = 0; n < stream.size(); ++n) {
            Bytes cut(stream.begin(), stream.begin() + n);
            EXPECT_NE(decode_error(cut), 0) << "cut at " << n;
        }
        for (size_t i = 8; i < stream.size(); ++i) {
            for (uint8_t change : {uint8_t(0xFF), uint8_t(0x01)}) {
                Bytes changed = stream;
                changed[i] ^= change;
                decode_error(changed);
            }
        }
    }
}
