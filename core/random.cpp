// The generator's state is 624 words and the position of the next one to temper; reaching 624
// regenerates the whole state at once. Words are kept unsigned so the wrapping products are
// defined; the arithmetic shifts go through `shift_right`.
#include "core/random.hpp"

#include <sys/random.h>

#include <cerrno>

#include "core/raise.hpp"

namespace vyn::random {
namespace {

constexpr int STATE_WORDS = 624;
constexpr int SHIFT_DISTANCE = 397;
constexpr uint32_t INITIAL_SEED = 19650218;
constexpr uint32_t TWIST_XOR = 0x9908B0DF;
constexpr int32_t LARGEST_DRAW = 2147483647;

uint32_t state[STATE_WORDS];
int position = STATE_WORDS;  // of the next word to temper

// Sign-propagating shift of the word taken as a signed 32-bit value.
inline uint32_t shift_right(uint32_t word, int bits) { return uint32_t(int32_t(word) >> bits); }

inline uint32_t twist(uint32_t upper, uint32_t lower, uint32_t far) {
    uint32_t y = (upper & 0x80000000u) | (lower & 0x7FFFFFFFu);
    uint32_t mixed = far ^ shift_right(y, 1);
    return (y & 1) ? mixed ^ TWIST_XOR : mixed;
}

void regenerate() {
    for (int k = 0; k < STATE_WORDS - 1; ++k)
        state[k] = twist(state[k], state[k + 1], state[(k + SHIFT_DISTANCE) % STATE_WORDS]);
    state[STATE_WORDS - 1] =
        twist(state[STATE_WORDS - 1], state[0], state[SHIFT_DISTANCE - 1]);
    position = 0;
}

uint32_t temper(uint32_t y) {
    y ^= shift_right(y, 11);
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= shift_right(y, 18);
    return y;
}

}  // namespace

void init() { seed(int32_t(INITIAL_SEED)); }

void seed(int32_t value) {
    state[0] = uint32_t(value);
    for (int i = 1; i < STATE_WORDS; ++i)
        state[i] = 1812433253u * (state[i - 1] ^ shift_right(state[i - 1], 30)) + uint32_t(i);
    position = 0;
}

int32_t next() {
    if (position == STATE_WORDS) regenerate();
    return int32_t(temper(state[position++]));
}

int32_t secure_next() {
    uint32_t word = 0;
    ssize_t got;
    do got = getrandom(&word, sizeof word, 0);
    while (got < 0 && errno == EINTR);
    if (got != ssize_t(sizeof word)) fire(err::feature_na);
    return int32_t(word & 0x7FFFFFFFu);
}

int32_t draw(bool secure) { return secure ? secure_next() : next(); }

int32_t int_in_range(int32_t n, bool secure) {
    if (n == 0) return 0;
    if (n == INT32_MIN) return -1 - draw(secure);
    int32_t size = n < 0 ? -n : n;
    int32_t limit = (LARGEST_DRAW / size) * size;
    int32_t d;
    do d = draw(secure);
    while (d >= limit);
    int32_t result = d % size + 1;
    return n < 0 ? -result : result;
}

}  // namespace vyn::random
