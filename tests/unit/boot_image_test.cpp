// The boot image: what the build step writes (header, definitions), that start-up from it gives
// the environment start-up from the sources gives, and that a corrupt image ends the process with
// status 1 and its message, never with a runtime half built.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "console/terminal.hpp"
#include "core/context.hpp"
#include "core/type_registry.hpp"
#include "core/memory.hpp"
#include "core/symbol.hpp"
#include "startup/boot.hpp"
#include "startup/boot_image.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

using Image = std::vector<uint8_t>;

void boot_from(std::span<const uint8_t> image) {
    runtime::set_stack_bounds_of_current_thread();
    runtime::shutdown();
    terminal::register_natives();
    boot::set_image(image);
    runtime::init();
}

// Every global word that has a value: its name with the value's type, and its table slot for a
// native or action. (The image binds every word it holds, unbound refinements of the sources
// included, so the unset words differ.)
std::map<std::string, std::string> environment() {
    std::map<std::string, std::string> words;
    const NodeId global = context::global();
    const Cell* word = memory::series_of(context::words(global))->cells();
    const Cell* value = memory::series_of(context::context_cell(global).s2)->cells();
    for (uint32_t i = 0; i < context::word_count(global); ++i) {
        if (value[i].is(TYPE_UNSET)) continue;
        std::string kind = std::to_string(value[i].type());
        if (value[i].is(TYPE_NATIVE) || value[i].is(TYPE_ACTION)) kind += " slot " + std::to_string(value[i].s1);
        words[std::string(symbol::name(word[i].s2))] = kind;
    }
    return words;
}

size_t read_varint(const Image& image, size_t& at) {
    size_t value = 0;
    for (int shift = 0;; shift += 7) {
        uint8_t byte = image.at(at++);
        value |= size_t(byte & 0x7F) << shift;
        if (byte < 0x80) return value;
    }
}

// The offset of the first record: after the header, the counts and the symbol table.
size_t records_offset(const Image& image) {
    size_t at = 8;
    read_varint(image, at);  // root count
    read_varint(image, at);  // records size
    const size_t symbols = read_varint(image, at);
    const size_t names = read_varint(image, at);
    return at + 4 * symbols + names;
}

// Start-up in a child process, its output joined to standard error, where the death test reads.
void boot_in_child(const Image& image) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    boot_from(image);
}

class BootImage : public testing::Test {
protected:
    void TearDown() override {
        boot::set_image({});
        runtime::shutdown();
    }
};

}  // namespace

TEST_F(BootImage, HoldsTheDatatypeActionAndNativeDefinitionsThenTheScripts) {
    runtime::shutdown();
    terminal::register_natives();
    runtime::init_before("collector");
    boot::ImageContents contents;
    const Image image = boot::make_image(&contents);
    EXPECT_EQ(contents.datatypes, datatype::registered(TYPE_IMAGE) ? 50 : 49);  // image! registers later
    EXPECT_EQ(contents.actions, 59);
    EXPECT_EQ(contents.natives, 107);
    EXPECT_GT(contents.scripts, 0);
    ASSERT_GT(image.size(), 8u);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 6), "VYNBIN");
    EXPECT_EQ(image[6], 1);
    EXPECT_EQ(image[7], 0x05);  // compact, with a symbol table, not compressed
    EXPECT_EQ(image[records_offset(image)], 0xC4) << "the first record is a definition";
    EXPECT_EQ(Image(boot::embedded().begin(), boot::embedded().end()), image) << "the executable embeds this image";
}

TEST_F(BootImage, StartUpFromTheImageGivesTheEnvironmentOfTheSources) {
    boot_from({});
    const auto from_sources = environment();
    boot_from(boot::embedded());
    const auto from_image = environment();
    std::vector<std::string> differences;
    for (const auto& [word, kind] : from_sources) {
        auto found = from_image.find(word);
        if (found == from_image.end() || found->second != kind) differences.push_back(word);
    }
    for (const auto& [word, kind] : from_image)
        if (!from_sources.count(word)) differences.push_back(word);
    EXPECT_EQ(differences, std::vector<std::string>{});
}

TEST_F(BootImage, CorruptImageEndsStartUpWithStatusOne) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    const Image good(boot::embedded().begin(), boot::embedded().end());
    Image bad_magic = good;
    bad_magic[0] = 'X';
    EXPECT_EXIT(boot_in_child(bad_magic), testing::ExitedWithCode(1), "^Error: Not a Vynbin file!\n$");

    Image bad_record = good;
    bad_record[records_offset(good)] = 0x00;  // type id 0
    EXPECT_EXIT(boot_in_child(bad_record), testing::ExitedWithCode(1), "VYNBIN - invalid record at index");

    const Image cut(good.begin(), good.end() - 100);
    EXPECT_EXIT(boot_in_child(cut), testing::ExitedWithCode(1), "VYNBIN - invalid record at index");
}
