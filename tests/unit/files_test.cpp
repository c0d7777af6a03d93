// read of file!: text with its line ends folded, bytes, lines, /part and /seek, directory
// listings, and the error for what cannot be read; load of a file and of a directory. Writing,
// renaming, deleting and call's redirections run here too, where the stress build collects at
// every allocation while values are molded into files and output is taken into strings.
#include "tests/unit/natives_fixture.hpp"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class Files : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        char pattern[] = "/tmp/vyn-files-XXXXXX";
        dir_ = mkdtemp(pattern);
        write("text.txt", "a\r\nb\rc\n");
        write("bom.txt", "\xEF\xBB\xBF" "x");
        write("code.txt", "1 [2 3]");
        write("empty.txt", "");
        mkdir((dir_ + "/sub").c_str(), 0700);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        NativesTest::TearDown();
    }

    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
    }
    // The code with every "%dir/" made the temporary directory's path.
    std::string in_dir(std::string code) const {
        for (size_t at; (at = code.find("%dir/")) != std::string::npos;) code.replace(at, 5, "%" + dir_ + "/");
        return code;
    }

    std::string dir_;
};

TEST_F(Files, ReadGivesTextBytesOrLines) {
    const MoldCase cases[] = {
        {"read %dir/text.txt", "{a^/b^/c^/}"},
        {"read %dir/bom.txt", "\"x\""},
        {"read/lines %dir/text.txt", "[\"a\" \"b^Mc\"]"},
        {"read/lines %dir/empty.txt", "[]"},
        {"read %dir/empty.txt", "\"\""},
        {"read/part %dir/code.txt 1", "\"1\""},
        {"read/part %dir/code.txt 0", "\"\""},
        {"read/seek %dir/code.txt 2", "\"[2 3]\""},
        {"transcode read/binary %dir/code.txt", "[1 [2 3]]"},
        {"read %dir/", "[%bom.txt %code.txt %empty.txt %sub/ %text.txt]"},
        {"read %dir/sub/.", "[]"},
    };
    for (const MoldCase& c : cases) EXPECT_EQ(mold_of(in_dir(c.source)), c.molded) << c.source;
}

TEST_F(Files, WhatCannotBeReadRaisesCannotOpen) {
    for (const char* code : {"read %dir/missing.txt", "read %dir/missing/", "read %dir/sub"}) {
        EXPECT_EQ(error_of(in_dir(code)), err::cannot_open) << code;
        EXPECT_EQ(mold(arg(0)).substr(0, 1), "%") << code;
    }
}

TEST_F(Files, WritesMoldedValuesAndLinesThatReadBack) {
    const MoldCase cases[] = {
        {"write/lines %dir/w.txt reduce [[1 \"a\"] make object! [x: 2] \"é\"] read/lines %dir/w.txt",
         "[{[1 \"a\"]} \"make object! [\" \"    x: 2\" \"]\" \"é\"]"},
        {"write %dir/w.txt 1x2 write/append %dir/w.txt [c] read %dir/w.txt", "\"1x2[c]\""},
        {"write/seek %dir/w.txt \"X\" 2 read %dir/w.txt", "\"1xX[c]\""},
        {"reduce [rename %dir/w.txt %dir/text.txt rename %dir/w.txt %dir/v.txt delete %dir/v.txt delete %dir/sub/]",
         "[false true true true]"},
        {"read %dir/", "[%bom.txt %code.txt %empty.txt %text.txt]"},
    };
    for (const MoldCase& c : cases) EXPECT_EQ(mold_of(in_dir(c.source)), c.molded) << c.source;
}

TEST_F(Files, CallTakesOutputIntoStringsAndFiles) {
    const MoldCase cases[] = {
        {"o: copy \"<\" e: copy \"\" call/wait/input/output/error \"sh -c 'cat; echo x >&2'\" \"a^/b\" o e reduce [o e]",
         "[\"<a^/b\" \"x^/\"]"},
        {"call/wait/output \"printf z\" %dir/out.txt call/wait/output \"printf z\" %dir/out.txt read %dir/out.txt",
         "\"zz\""},
        {"o: copy \"\" call/wait/input/output \"cat\" %dir/text.txt o o", "{a^/b^/c^/}"},
        {"set-env \"VYN_FILES_T\" \"1=2\" select list-env \"VYN_FILES_T\"", "\"1=2\""},
    };
    for (const MoldCase& c : cases) EXPECT_EQ(mold_of(in_dir(c.source)), c.molded) << c.source;
}

TEST_F(Files, LoadLexesAFileAndListsADirectory) {
    EXPECT_EQ(mold_of(in_dir("load %dir/code.txt")), "[1 [2 3]]");
    EXPECT_EQ(mold_of(in_dir("load/next %dir/code.txt 'rest")), "1");
    EXPECT_EQ(mold_of(in_dir("load %dir/sub/")), "[]");
}

}  // namespace
