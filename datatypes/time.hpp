// time!: a signed duration or time of day, held as seconds in a binary64 in slots 2-3 of the cell
// (the float! layout, whose arithmetic, comparison and random it shares). Nothing normalises the
// value: negative times and times of 24 hours or more are kept as they are. The splitting and
// field rules here also serve date!, which keeps its local time of day as a time.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"

namespace vyn::time {

constexpr double SECONDS_PER_HOUR = 3600.0;
constexpr double SECONDS_PER_MINUTE = 60.0;

// Whole hours: floor of seconds / 3600 for a non-negative value, ceiling for a negative one.
int32_t get_hours(double seconds);
// Whole minutes of the magnitude within its hour.
int32_t get_minutes(double seconds);

Cell* make_at(Cell* cell, double seconds);

// Appends H:MM:SS with an optional fraction of the seconds; returns the budget minus its length.
int32_t form_seconds(double seconds, Cell* out, int32_t budget);

// The fields that paths and pick name: hour, minute and second.
enum class Field { hour = 0, minute = 1, second = 2 };
// The field an element names, the integers 1-3 or the field words; -1 when it names none.
int field_index(const Cell* element);
// A field's value: hours and minutes as integer!, the seconds within the minute as float!.
Cell field_value(double seconds, Field field);
// The seconds with one field replaced; `invalid-arg` for a value the field does not take. Hours
// and minutes are replaced in the magnitude, as get reads them, and the sign put back, so setting
// a field of a negative time to the value it reads keeps the time; a negative hour makes the
// time negative and hour 0 keeps its sign.
double with_field(double seconds, Field field, const Cell* value);

}  // namespace vyn::time

namespace vyn {

// Registers time!; float! must be registered first.
void time_init();

}  // namespace vyn
