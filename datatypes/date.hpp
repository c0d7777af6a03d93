// date!: a proleptic Gregorian date with an optional time of day and zone. Slot 1 holds the date
// word (year in bits 17-31, month 12-15, day 7-11, the time flag 16, the zone 0-6: sign bit 6,
// hours 2-5, quarter hours 0-1); slots 2-3 hold the seconds as a binary64. Year, month and day
// are the local date; the seconds are UTC counted from the start of that local day, and every
// routine keeps the local time of day (seconds + zone offset) in 0 <= t < 24 hours.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"

namespace vyn::date {

constexpr uint32_t TIME_FLAG = 1u << 16;
constexpr uint32_t ZONE_MASK = 0x7F;
constexpr int32_t MIN_YEAR = -16384;
constexpr int32_t MAX_YEAR = 16383;
constexpr double SECONDS_PER_DAY = 86400.0;

inline int32_t year_of(uint32_t word) { return int32_t(word) >> 17; }
inline int month_of(uint32_t word) { return int((word >> 12) & 0xF); }
inline int day_of(uint32_t word) { return int((word >> 7) & 0x1F); }
inline bool has_time(uint32_t word) { return (word & TIME_FLAG) != 0; }
inline uint32_t zone_of(uint32_t word) { return word & ZONE_MASK; }

bool leap_year(int32_t year);
int days_in_month(int32_t year, int month);

// Day numbers count days from 1 March of year 0; the day may exceed its month (it carries).
int64_t to_days(int32_t year, int month, int day);
int64_t to_days(uint32_t word);
// The Monday that starts ISO week 1 of the year: the week holding 4 January.
int64_t iso_week1(int32_t year);
// The date word of a day number; `out-of-range` when its year does not fit the word.
uint32_t from_days(int64_t days, uint32_t zone, bool time_flag);

// Zone bits from signed hours and minutes: hours by their remainder by 16, minutes in whole
// quarters; `west` sets the sign even when the hours are 0.
uint32_t zone_bits(int32_t hours, int32_t minutes, bool west);
// The zone's offset from UTC in seconds.
double zone_offset(uint32_t zone);

// Writes a date from its local fields: the seconds are a local time of day, stored as UTC and
// normalised; without the time flag the seconds and zone are cleared.
Cell* make_at(Cell* cell, int32_t year, int month, int day, double local_seconds, uint32_t zone, bool time_flag);
// A date with time flag and zone 0 from calendar and clock parts (file dates).
Cell* make_from_parts(Cell* cell, int32_t year, int month, int day, int hour, int minute, int second,
                      int32_t nanoseconds);
// Rebuilds a cell from a day number and UTC seconds, taking whole days out of the local time.
Cell* normalize(Cell* cell, int64_t days, double seconds, uint32_t zone, bool time_flag);

// Seconds since 1-Jan-1970/0:00 UTC, rounded to a whole second (integer conversion).
int64_t to_epoch(const Cell& date);
// Absolute seconds from the day-number origin, for differences.
double to_seconds(const Cell& date);
// The time! from `other` to `date`, written over `date` (the `difference` native).
Cell* difference(Cell* date, const Cell* other);

// The current date and time in the system's zone (its offset rounded to quarter hours);
// `precise` keeps the fraction of the second.
Cell* now(Cell* cell, bool precise);

}  // namespace vyn::date

namespace vyn {

// Registers date!; time! must be registered first.
void date_init();

}  // namespace vyn
