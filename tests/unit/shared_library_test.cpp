// Libraries opened on first use: a missing library or function is reported, never fatal.
#include "core/os/shared_library.hpp"

#include <gtest/gtest.h>


namespace {

TEST(SharedLibrary, BindsFunctionsOfAPresentLibraryAndReportsWhatIsMissing) {
    vyn::os::SharedLibrary libc("libc.so.6");
    size_t (*length)(const char*) = nullptr;
    ASSERT_TRUE(libc.bind(length, "strlen"));
    EXPECT_EQ(length("four"), 4u);
    void (*nothing)() = nullptr;
    EXPECT_FALSE(libc.bind(nothing, "no_such_function_here"));

    vyn::os::SharedLibrary missing("libno-such-library.so.9");
    EXPECT_FALSE(missing.open());
    EXPECT_FALSE(missing.bind(length, "strlen"));
    EXPECT_EQ(length, nullptr);
}

}  // namespace
