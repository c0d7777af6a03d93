#include "tests/unit/natives_fixture.hpp"
namespace vyn::testing_support {
namespace {
class MapScratch : public NativesTest {
protected:
    static std::string text_of(std::string_view source) { return string::to_utf8(&*Rooted(run(source))); }
};
TEST_F(MapScratch, Probe) {
    const char* cases[] = {
        R"(m: make map! [a 1 "b" 2] m/a)",
        R"(m: make map! [a 1 "b" 2] select m "B")",
        R"(m: make map! [a 1 "b" 2] select/case m "B")",
        R"(m: make map! [a 1 "b" 2] find m 'a)",
        R"(m: make map! [a 1 "b" 2] m)",
        R"(m: make map! [a 1 "b" 2] m/a: none length? m)",
        R"(m: make map! [a 1 "b" 2] remove/key m 'a length? m)",
        R"(k: "x" m: make map! [] put m k 1 append k "y" select m "x")",
        R"(union [a b] make hash! [b c])",
        R"(unique/skip [1 2 1 2 3 4] 2)",
        R"(#[a: 1 b: [2 3]])",
        R"(form make map! [a 1 b 2])",
        R"(mold/flat make map! [a 1 b 2])",
        R"(mold/only make map! [a 1 b 2])",
        R"(make map! 0)",
        R"(reflect make map! [a 1 b 2] 'body)",
        R"(reflect make map! [a 1 b 2] 'words)",
        R"(m: make map! [a 1 b 2] c: copy m m/a: 5 reduce [c m])",
        R"(r: copy [] foreach [k v] make map! [a 1 b 2] [append r k append r v] r)",
        R"(m: make map! [a 1] extend m [b 2 a 3] m)",
        R"(make hash! [a b])",
        R"(h: make hash! [a b] append h 'c h)",
        R"(equal? make map! [a 1] make map! [a 1])",
        R"([#[a 1]])",
    };
    for (const char* c : cases) std::cout << c << "\n  => " << mold_of(c) << "\n";
    for (const char* c : {"remove make map! [a 1]", "make map! [a]", "make map! -1", "to map! 5", "make map! [[1] 2]", "put make map! [] [1] 2", "foreach k make map! [a 1] []", "foreach [k v w] make map! [a 1] []", "reflect make map! [] 'spec"})
        std::cout << c << "\n  => " << text_of(std::string("form try [") + c + "]") << "\n";
}
}  // namespace
}  // namespace vyn::testing_support
