// image! under the collector: images made, copied, changed, encoded and decoded while every
// allocation may collect keep their pixels, and the pixel stores of images no value reaches are
// released by a collection. The console transcripts cover the texts and errors.
#include "core/externals.hpp"
#include "tests/unit/natives_fixture.hpp"

namespace vyn::testing_support {
namespace {

using ImageTest = NativesTest;

int live_images() {
    int n = 0;
    int kind = 0;
    for (int k = 1; externals::kind_name(k); ++k)
        if (std::string(externals::kind_name(k)) == "image") kind = k;
    externals::for_each_of_kind(kind, [](uintptr_t, void* count) { ++*static_cast<int*>(count); }, &n);
    return n;
}

TEST_F(ImageTest, ImagesMadeWhileCollectingKeepTheirPixels) {
    const MoldCase cases[] = {
        {"make image! [2x1 #{010203040506} #{0A}]", "make image! [2x1 #{010203040506} #{\n0A00}]"},
        {"copy/part at make image! [3x2 #{010101020202030303040404050505060606}] 2 2x2",
         "make image! [2x2 #{020202030303050505060606}]"},
        {"head change next make image! 3x1 make image! [2x1 1.2.3]", "make image! [3x1 #{FFFFFF010203010203}]"},
        {"to binary! make image! [1x1 1.2.3.4]", "#{030201FB}"},
        {"i: make image! [2x1 9.8.7] i/rgb: #{010203} i/alpha: #{FF} i", "make image! [2x1 #{010203090807} #{\nFF00}]"},
        {"i: make image! [3x1 1.2.3.4] j: load/as system/codecs/png/encode i none 'png j/argb = i/argb", "true"},
        {"i: make image! [3x1 5.6.7] j: load/as system/codecs/bmp/encode i none 'bmp j", "make image! [3x1 #{050607050607050607}]"},
    };
    expect_molds(cases);
}

TEST_F(ImageTest, ACollectionReleasesThePixelsOfUnreachedImages) {
    run("keep: make image! 2x2 loop 20 [make image! 8x8]");
    run("recycle");
    EXPECT_EQ(live_images(), 1);
    EXPECT_EQ(mold_of("keep/size"), "2x2");
}

}  // namespace
}  // namespace vyn::testing_support
