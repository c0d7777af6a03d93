// Random numbers: one global Mersenne Twister of 624 words serving the random action of every
// datatype, and a secure source drawn from the operating system. Every right shift inside the
// generator is arithmetic, which with the final tempering keeps each output in 0..2147483647.
#pragma once

#include <cstdint>

namespace vyn::random {

// Seeds the generator with 19650218; start-up calls it before memory exists.
void init();

// Restarts the generator: the same seed gives the same sequence of outputs.
void seed(int32_t value);

// The next output of the generator, 0 to 2147483647.
int32_t next();

// Four bytes from the operating system, masked to 0..2147483647; a failing source raises an error.
int32_t secure_next();

// One draw from the secure source or from the generator.
int32_t draw(bool secure);

// A uniform integer from 1 to n (n > 0), from n to -1 (n < 0), or 0 for 0.
int32_t int_in_range(int32_t n, bool secure);

}  // namespace vyn::random
