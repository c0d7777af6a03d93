// Facts about the process and the machine: the command line as one text and the operating
// system's name, architecture, version and build. Linux gives them through argv, uname and
// /etc/os-release.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/cell.hpp"

namespace vyn::sysinfo {

// The arguments joined by blanks, each one that is empty or holds a blank or tab in double
// quotes.
std::string command_line(const std::vector<std::string>& args);

struct OsFacts {
    std::string name;
    std::string arch;
    uint8_t version[3];
    int32_t build;
};

// The facts from the text of /etc/os-release, the machine name and the kernel release of uname:
// the name is PRETTY_NAME, else "Linux " and the release; the version is the release's first
// three numbers; the build is 0.
OsFacts os_facts(std::string_view os_release, std::string_view machine, std::string_view release);

// An object! with the words `name` (string!), `arch` (word!), `version` (tuple!) and `build`
// (integer!) for this machine.
Cell os_info();

}  // namespace vyn::sysinfo
