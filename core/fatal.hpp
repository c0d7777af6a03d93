// Fatal runtime errors: failures the language cannot turn into an error! value end the process
// through `runtime_error`, which writes the numbered report to standard error and exits with the
// number as status. Number 0 is the orderly, silent end.
#pragma once

#include <cstdint>

namespace vyn::sys {

enum FatalNumber : int {
    FATAL_NONE = 0,
    FATAL_ACCESS_VIOLATION = 1,
    FATAL_STACK_OVERFLOW = 19,
    FATAL_SEGMENTATION_FAULT = 32,
    FATAL_FPU_ERROR = 33,
    FATAL_BUS_ERROR = 34,
    FATAL_OUT_OF_MEMORY = 94,
    FATAL_NO_CATCH = 95,
    FATAL_ASSERTION = 98,
    FATAL_UNKNOWN = 99,
    FATAL_NO_CASE = 100,
    FATAL_NO_SWITCH = 101,
};

// The message of a fatal error number; "unknown error code!" for numbers outside the table.
const char* fatal_message(int number);

// The process exit status of a Vyn status: its low 8 bits, but never 0 for a non-zero status.
int exit_status(int status);

// Writes "*** Runtime Error N: message\n*** at: XXXXXXXXh" (nothing for 0) with async-signal-safe
// calls only, into a buffer; returns its length.
int format_report(char* out, int size, int number, uintptr_t address);

// Reports and ends the process. Frees the tracked heap first unless called from a signal handler.
[[noreturn]] void runtime_error(int number, uintptr_t address);

// Ends the process at once with the status's exit status after flushing the C streams; the
// tracked heap is not freed and no exit handler runs.
[[noreturn]] void end_process(int status);

// Ends the process after a start-up integrity failure whose message is printed: status 1, since
// the runtime could not stand (not the orderly end's 0), without a numbered report.
[[noreturn]] void integrity_failure();

// Ends the process with fatal error 98 "assertion failed" unless the condition holds.
#define VYN_REQUIRE(condition)                                                         \
    do {                                                                               \
        if (!(condition))                                                              \
            ::vyn::sys::runtime_error(::vyn::sys::FATAL_ASSERTION,                     \
                                      reinterpret_cast<uintptr_t>(__builtin_return_address(0))); \
    } while (0)

// The fatal number of a hardware signal and its si_code; in_stack_guard marks a fault address in
// the guard zone of the runtime thread's stack. Returns 0 for signals that end silently.
int signal_fatal_number(int signal, int si_code, bool in_stack_guard);

// Installs the handlers of the fatal signals, on an alternate stack of the calling thread.
void install_signal_handlers();
// Gives the calling thread an alternate signal stack (each thread that can fault needs one).
void install_alternate_stack();

// Marks the bounds of the runtime thread's stack guard zone for stack-overflow reports.
void set_stack_guard_zone(uintptr_t low, uintptr_t high);

// An optional message box for fatal errors outside signal handlers (installed by the GUI).
using FatalDialog = void (*)(const char* text);
void set_fatal_dialog(FatalDialog dialog);

}  // namespace vyn::sys
