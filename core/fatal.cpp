// The fatal report and the mapping of hardware signals to fatal numbers. Everything reachable
// from a signal handler uses only write(2) and _exit(2).
#include "core/fatal.hpp"

#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <initializer_list>

#include "core/tracked_heap.hpp"

namespace vyn::sys {
namespace {

struct FatalText {
    int number;
    const char* text;
};

constexpr FatalText fatal_texts[] = {
    {1, "access violation"},
    {2, "invalid alignment"},
    {3, "breakpoint"},
    {4, "single step"},
    {5, "bounds exceeded"},
    {6, "float denormal operan"},
    {7, "float divide by zero"},
    {8, "float inexact result"},
    {9, "float invalid operation"},
    {10, "float overflow"},
    {11, "float stack check"},
    {12, "float underflow"},
    {13, "integer divide by zero"},
    {14, "integer overflow"},
    {15, "privileged instruction"},
    {16, "invalid virtual address"},
    {17, "illegal instruction"},
    {18, "non-continuable exception"},
    {19, "stack error or overflow"},
    {20, "invalid disposition"},
    {21, "guard page"},
    {22, "invalid handle"},
    {23, "illegal operand"},
    {24, "illegal addressing mode"},
    {25, "illegal trap"},
    {26, "coprocessor error"},
    {27, "non-existent physical address"},
    {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"},
    {30, "hardware memory error consumed AO"},
    {31, "privileged register"},
    {32, "segmentation fault"},
    {33, "FPU error"},
    {34, "Bus error"},
    {94, "out of memory"},
    {95, "no CATCH for THROW"},
    {98, "assertion failed"},
    {99, "unknown error"},
    {100, "no value matched in CASE"},
    {101, "no value matched in SWITCH"},
};

struct SignalCode {
    int signal;
    int si_code;
    int number;
};

constexpr SignalCode signal_codes[] = {
    {SIGSEGV, SEGV_MAPERR, 1}, {SIGSEGV, SEGV_ACCERR, 1},
    {SIGBUS, BUS_ADRALN, 2},   {SIGBUS, BUS_ADRERR, 27},     {SIGBUS, BUS_OBJERR, 28},
    {SIGBUS, BUS_MCEERR_AR, 29}, {SIGBUS, BUS_MCEERR_AO, 30},
    {SIGILL, ILL_ILLOPC, 17},  {SIGILL, ILL_ILLOPN, 23},     {SIGILL, ILL_ILLADR, 24},
    {SIGILL, ILL_ILLTRP, 25},  {SIGILL, ILL_PRVOPC, 15},     {SIGILL, ILL_PRVREG, 31},
    {SIGILL, ILL_COPROC, 26},  {SIGILL, ILL_BADSTK, 19},
    {SIGFPE, FPE_INTDIV, 13},  {SIGFPE, FPE_INTOVF, 14},     {SIGFPE, FPE_FLTDIV, 7},
    {SIGFPE, FPE_FLTOVF, 10},  {SIGFPE, FPE_FLTUND, 12},     {SIGFPE, FPE_FLTRES, 8},
    {SIGFPE, FPE_FLTINV, 9},   {SIGFPE, FPE_FLTSUB, 5},
    {SIGTRAP, TRAP_BRKPT, 3},  {SIGTRAP, TRAP_TRACE, 4},
};

// The number of a signal whose si_code is not in the table.
int other_code_number(int signal) {
    switch (signal) {
    case SIGSEGV: return FATAL_SEGMENTATION_FAULT;
    case SIGBUS: return FATAL_BUS_ERROR;
    case SIGILL: return 17;
    case SIGFPE: return FATAL_FPU_ERROR;
    default: return FATAL_UNKNOWN;
    }
}

uintptr_t guard_low = 0;
uintptr_t guard_high = 0;
FatalDialog fatal_dialog = nullptr;

int append_text(char* out, int pos, int size, const char* text) {
    while (*text && pos < size) out[pos++] = *text++;
    return pos;
}

int append_decimal(char* out, int pos, int size, int value) {
    char digits[12];
    int n = 0;
    unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0 && pos < size) out[pos++] = '-';
    while (n && pos < size) out[pos++] = digits[--n];
    return pos;
}

// At least eight upper-case digits, more when the address needs them.
int append_hex_address(char* out, int pos, int size, uintptr_t address) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[address & 15];
        address >>= 4;
    } while (address || n < 8);
    while (n && pos < size) out[pos++] = digits[--n];
    return pos;
}

void write_all(int fd, const char* text, int length) {
    while (length > 0) {
        ssize_t n = write(fd, text, size_t(length));
        if (n <= 0) return;
        text += n;
        length -= int(n);
    }
}

[[noreturn]] void report_and_exit(int number, uintptr_t address, bool in_signal) {
    if (number != 0) {
        char text[512];
        int length = format_report(text, sizeof text, number, address);
        write_all(STDERR_FILENO, text, length);
        if (!in_signal && fatal_dialog) fatal_dialog(text);
    }
    if (!in_signal) free_all();
    _exit(exit_status(number));
}

uintptr_t fault_instruction(void* context) {
    auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
    return uintptr_t(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return uintptr_t(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

void on_fatal_signal(int signal, siginfo_t* info, void* context) {
    auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    bool in_guard = guard_high != 0 && address >= guard_low && address < guard_high;
    int number = signal_fatal_number(signal, info->si_code, in_guard);
    report_and_exit(number, fault_instruction(context), true);
}

void on_end_signal(int) { _exit(0); }

}  // namespace

const char* fatal_message(int number) {
    for (const FatalText& entry : fatal_texts)
        if (entry.number == number) return entry.text;
    return "unknown error code!";
}

void end_process(int status) {
    std::fflush(nullptr);
    _exit(exit_status(status));
}

int exit_status(int status) {
    int low = status & 0xFF;
    return (status != 0 && low == 0) ? 1 : low;
}

int format_report(char* out, int size, int number, uintptr_t address) {
    if (number == 0) return 0;
    int pos = append_text(out, 0, size, "*** Runtime Error ");
    pos = append_decimal(out, pos, size, number);
    pos = append_text(out, pos, size, ": ");
    pos = append_text(out, pos, size, fatal_message(number));
    pos = append_text(out, pos, size, "\n*** at: ");
    pos = append_hex_address(out, pos, size, address);
    pos = append_text(out, pos, size, "h\n");
    return pos;
}

void runtime_error(int number, uintptr_t address) { report_and_exit(number, address, false); }

void integrity_failure() {
    free_all();
    _exit(1);
}

int signal_fatal_number(int signal, int si_code, bool in_stack_guard) {
    if (signal == SIGTERM || signal == SIGHUP) return 0;
    if (signal == SIGSEGV && in_stack_guard) return FATAL_STACK_OVERFLOW;
    for (const SignalCode& entry : signal_codes)
        if (entry.signal == signal && entry.si_code == si_code) return entry.number;
    return other_code_number(signal);
}

void install_alternate_stack() {
    constexpr size_t size = 64 * 1024;
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return;
    stack_t alt{};
    alt.ss_sp = block;
    alt.ss_size = size;
    sigaltstack(&alt, nullptr);
}

void install_signal_handlers() {
    install_alternate_stack();
    struct sigaction fatal {};
    fatal.sa_sigaction = on_fatal_signal;
    fatal.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&fatal.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP}) sigaction(signal, &fatal, nullptr);

    struct sigaction end {};
    end.sa_handler = on_end_signal;
    sigemptyset(&end.sa_mask);
    for (int signal : {SIGTERM, SIGHUP}) sigaction(signal, &end, nullptr);
}

void set_stack_guard_zone(uintptr_t low, uintptr_t high) {
    guard_low = low;
    guard_high = high;
}

void set_fatal_dialog(FatalDialog dialog) { fatal_dialog = dialog; }

}  // namespace vyn::sys
