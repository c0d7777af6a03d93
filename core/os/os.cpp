// POSIX implementations of the platform services. None of them uses the C locale.
#include "core/os/os.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/os/console_out.hpp"

namespace vyn::os {

void init() { console::init_output(); }

void* alloc_virtual(size_t size, bool populate) {
    int flags = MAP_PRIVATE | MAP_ANONYMOUS | (populate ? MAP_POPULATE : 0);
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

bool free_virtual(void* block, size_t size) { return munmap(block, size) == 0; }

std::string get_current_dir() {
    std::vector<char> path(256);
    while (!getcwd(path.data(), path.size())) {
        if (errno != ERANGE) return std::string();
        path.resize(path.size() * 2);
    }
    return std::string(path.data());
}

bool set_current_dir(const std::string& path) { return chdir(path.c_str()) == 0; }

bool set_env(const std::string& name, const std::string& value) {
    return setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool unset_env(const std::string& name) { return unsetenv(name.c_str()) == 0; }

std::vector<std::string> environment() {
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
    return entries;
}

std::optional<std::string> get_env(const std::string& name) {
    if (name.empty() || name.find('=') != std::string::npos) return std::nullopt;  // no such name can be set
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

int32_t sleep_milliseconds(double seconds) {
    double ms = seconds * 1000.0;
    if (!(ms >= 1.0)) return 1;  // also NaN
    if (ms >= double(INT32_MAX)) return INT32_MAX;
    return int32_t(ms);
}

void sleep(double seconds) {
    int32_t ms = sleep_milliseconds(seconds);
    timespec wanted{ms / 1000, long(ms % 1000) * 1000000L};
    timespec left{};
    while (nanosleep(&wanted, &left) != 0 && errno == EINTR) wanted = left;
}

double get_time(bool precise) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    double seconds = double(now.tv_sec % 86400);
    if (!precise) return seconds;
    long ticks = now.tv_nsec / 100;
    return seconds + double(ticks) * 100 / 1e9;
}

uint32_t pack_zone(int offset_minutes) {
    bool negative = offset_minutes < 0;
    int magnitude = negative ? -offset_minutes : offset_minutes;
    uint32_t hours = uint32_t(magnitude / 60) & 0xF;
    uint32_t quarters = uint32_t(magnitude % 60 / 15) & 3;
    return ((negative ? 0x10u : 0u) | hours) * 4 + quarters;
}

uint32_t get_date(bool utc) {
    time_t now = time(nullptr);
    tm parts{};
    if (utc) gmtime_r(&now, &parts);
    else localtime_r(&now, &parts);
    uint32_t zone = utc ? 0 : pack_zone(int(parts.tm_gmtoff / 60));
    return uint32_t(parts.tm_year + 1900) << 17 | uint32_t(parts.tm_mon + 1) << 12 |
           uint32_t(parts.tm_mday) << 7 | zone;
}

}  // namespace vyn::os
