// The platform layer of the runtime: start-up of the OS services, frame memory, the current
// directory, environment variables, sleeping, the clock and the calendar date with its zone.
// Text crosses this boundary as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vyn::os {

void init();

// Zeroed read-write memory for frames; nullptr when the system refuses. A populated block has its
// pages in place at once, rather than one fault at a time as they are first touched.
void* alloc_virtual(size_t size, bool populate = false);
bool free_virtual(void* block, size_t size);

std::string get_current_dir();
bool set_current_dir(const std::string& path);

bool set_env(const std::string& name, const std::string& value);
bool unset_env(const std::string& name);
std::optional<std::string> get_env(const std::string& name);
// The environment's entries, each "name=value", in the order the process holds them.
std::vector<std::string> environment();

// Every sleep lasts at least 1 ms; NaN counts as 0 and durations are capped at 2^31-1 ms.
void sleep(double seconds);
int32_t sleep_milliseconds(double seconds);

// Seconds since midnight UTC; with `precise`, to the 100-ns tick.
double get_time(bool precise);
// The calendar date packed as year << 17 | month << 12 | day << 7 | zone, where the zone holds
// the sign in bit 6, the hours in bits 2-5 and the quarter hours in bits 0-1.
uint32_t get_date(bool utc);
// The zone field of an offset from UTC in minutes.
uint32_t pack_zone(int offset_minutes);

}  // namespace vyn::os
