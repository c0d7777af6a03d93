// Non-local exits. Errors, break, continue, return, exit and throw leave a computation as one C++
// exception carrying the exit's code; the codes are ordered, and a catching place with marker M
// takes every exit whose code is at most M and passes the others on. The values an exit carries
// travel on the argument stack, not in the exception.
#pragma once

#include <cstdint>

namespace vyn {

enum ExitCode : uint32_t {
    EXIT_NONE = 0,
    EXIT_THROW = 0x7FFFFFFA,
    EXIT_EXIT = 0x7FFFFFFB,      // exit: return without a value
    EXIT_RETURN = 0x7FFFFFFC,
    EXIT_CONTINUE = 0x7FFFFFFD,
    EXIT_BREAK = 0x7FFFFFFE,
    EXIT_ERROR = 0x7FFFFFFF,
    EXIT_HALT = 0x80000000,      // above every marker but the entry's: halts the evaluation
    EXIT_QUIT = 0xBADCAFE0,      // the orderly end of the process
};

struct Unwind {
    uint32_t code;
};

// Whether a catching place with this marker takes the exit.
inline bool catches(uint32_t marker, const Unwind& exit) { return exit.code <= marker; }

}  // namespace vyn
