// The command line as one text and the OS facts read from os-release and uname.
#include "tests/unit/natives_fixture.hpp"

#include "datatypes/os/sysinfo.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

TEST(Sysinfo, CommandLineQuotesArgumentsThatAreEmptyOrHoldBlanks) {
    EXPECT_EQ(sysinfo::command_line({"vyn"}), "vyn");
    EXPECT_EQ(sysinfo::command_line({"/usr/bin/vyn", "a b", "", "c\td", "e"}), "/usr/bin/vyn \"a b\" \"\" \"c\td\" e");
}

TEST(Sysinfo, OsFactsComeFromOsReleaseAndUname) {
    struct Case {
        const char* os_release;
        const char* machine;
        const char* release;
        const char* name;
        const char* arch;
        int version[3];
    };
    const Case cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", "x86_64", "6.1.0-18-amd64",
         "Debian GNU/Linux 12 (bookworm)", "x86-64", {6, 1, 0}},
        {"PRETTY_NAME='Single \"quoted\"'", "aarch64", "5.15.148", "Single \"quoted\"", "ARM64", {5, 15, 148}},
        {"PRETTY_NAME=Bare\n", "i686", "4.19", "Bare", "x86-32", {4, 19, 0}},
        {"PRETTY_NAME=\"say \\\"hi\\\"\"", "riscv64", "6.8.0-rc1", "say \"hi\"", "Unknown", {6, 8, 0}},
        {"", "x86_64", "6.1.300", "Linux 6.1.300", "x86-64", {6, 1, 255}},
        {"NAME=x", "x86_64", "", "Linux ", "x86-64", {0, 0, 0}},
    };
    for (const Case& c : cases) {
        sysinfo::OsFacts f = sysinfo::os_facts(c.os_release, c.machine, c.release);
        EXPECT_EQ(f.name, c.name) << c.os_release;
        EXPECT_EQ(f.arch, c.arch) << c.machine;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(f.version[i], c.version[i]) << c.release;
        EXPECT_EQ(f.build, 0);
    }
}

class OsInfo : public NativesTest {};

TEST_F(OsInfo, IsAnObjectOfNameArchVersionAndBuild) {
    set_global("info", sysinfo::os_info());
    EXPECT_EQ(mold_of("reflect info 'words"), "[name arch version build]");
    EXPECT_EQ(mold_of("reduce [type? info/name type? info/arch type? info/version info/build]"),
              "[string! word! tuple! 0]");
    EXPECT_EQ(mold_of("empty? info/name"), "false");
}

}  // namespace
