// Process and machine facts on Linux. The OS text is parsed here from plain strings so that
// every rule can be checked without the machine it runs on.
#include "datatypes/os/sysinfo.hpp"

#include <sys/utsname.h>

#include <fstream>
#include <iterator>

#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "datatypes/block.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/object.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"

namespace vyn::sysinfo {
namespace {

bool needs_quotes(const std::string& arg) { return arg.empty() || arg.find_first_of(" \t") != std::string::npos; }

// A value of os-release: quoted in double quotes (with backslash escapes) or single quotes, or
// bare.
std::string unquoted(std::string_view value) {
    if (value.size() < 2 || (value.front() != '"' && value.front() != '\'') || value.back() != value.front())
        return std::string(value);
    std::string text;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        if (value.front() == '"' && value[i] == '\\' && i + 2 < value.size()) ++i;
        text += value[i];
    }
    return text;
}

std::string pretty_name(std::string_view os_release) {
    constexpr std::string_view key = "PRETTY_NAME=";
    while (!os_release.empty()) {
        size_t end = os_release.find('\n');
        std::string_view line = os_release.substr(0, end);
        if (line.substr(0, key.size()) == key) return unquoted(line.substr(key.size()));
        os_release = end == std::string_view::npos ? std::string_view() : os_release.substr(end + 1);
    }
    return std::string();
}

std::string arch_of(std::string_view machine) {
    if (machine == "x86_64" || machine == "amd64") return "x86-64";
    if (machine == "aarch64" || machine == "arm64") return "ARM64";
    if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86") return "x86-32";
    return "Unknown";
}

// The first three numbers of "6.1.0-18-amd64"; missing ones are 0, each capped at 255.
void version_of(std::string_view release, uint8_t* version) {
    size_t at = 0;
    for (int part = 0; part < 3; ++part) {
        unsigned n = 0;
        while (at < release.size() && release[at] >= '0' && release[at] <= '9') n = std::min(255u, n * 10 + unsigned(release[at++] - '0'));
        version[part] = uint8_t(n);
        if (at < release.size() && release[at] == '.') ++at;
        else at = release.size();
    }
}

std::string file_text(const char* path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void append_field(Cell* spec, std::string_view name, const Cell& value) {
    Rooted held(value);
    Rooted word(word::load(name, TYPE_SET_WORD));
    block::vs_append(spec, word.get());
    block::vs_append(spec, held.get());
}

}  // namespace

std::string command_line(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty()) line += ' ';
        line += needs_quotes(arg) ? '"' + arg + '"' : arg;
    }
    return line;
}

OsFacts os_facts(std::string_view os_release, std::string_view machine, std::string_view release) {
    OsFacts facts{pretty_name(os_release), arch_of(machine), {0, 0, 0}, 0};
    if (facts.name.empty()) facts.name = "Linux " + std::string(release);
    version_of(release, facts.version);
    return facts;
}

Cell os_info() {
    utsname system{};
    uname(&system);
    OsFacts facts = os_facts(file_text("/etc/os-release"), system.machine, system.release);
    Rooted spec;
    block::make_at(spec.get(), 8);
    append_field(spec.get(), "name", string::from_utf8(facts.name));
    append_field(spec.get(), "arch", word::load(facts.arch));
    append_field(spec.get(), "version", tokenizer::make_tuple(facts.version, 3));
    append_field(spec.get(), "build", integer_cell(facts.build));
    Cell info = *object::construct(*spec, nullptr, true);
    stack::pop(1);
    return info;
}

}  // namespace vyn::sysinfo
