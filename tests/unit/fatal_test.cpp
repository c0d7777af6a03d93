#include <gtest/gtest.h>
#include <signal.h>

#include <csignal>

#include "core/fatal.hpp"

using namespace vyn::sys;

TEST(FatalDeathTest, UnknownNumberReportsAndExitsWithIt) {
    EXPECT_EXIT(runtime_error(96, 0x1234), testing::ExitedWithCode(96),
                "^\\*\\*\\* Runtime Error 96: unknown error code!\n\\*\\*\\* at: 00001234h\n$");
}

TEST(FatalDeathTest, NumberZeroIsTheSilentOrderlyEnd) {
    EXPECT_EXIT(runtime_error(0, 0), testing::ExitedWithCode(0), "^$");
}

TEST(Fatal, MessagesAreKeptExactly) {
    EXPECT_STREQ(fatal_message(6), "float denormal operan");
    EXPECT_STREQ(fatal_message(95), "no CATCH for THROW");
    EXPECT_STREQ(fatal_message(101), "no value matched in SWITCH");
    EXPECT_STREQ(fatal_message(35), "unknown error code!");
}

TEST(Fatal, ReportShowsTheWholeAddressWithAtLeastEightDigits) {
    char text[256];
    int n = format_report(text, sizeof text, 13, 0x7F00DEADBEEFu);
    EXPECT_EQ(std::string(text, size_t(n)),
              "*** Runtime Error 13: integer divide by zero\n*** at: 7F00DEADBEEFh\n");
}

TEST(Fatal, ExitStatusKeepsTheLowByteButNeverHidesAFailure) {
    EXPECT_EQ(exit_status(0), 0);
    EXPECT_EQ(exit_status(34), 34);
    EXPECT_EQ(exit_status(-2), 254);
    EXPECT_EQ(exit_status(256), 1);
}

TEST(Fatal, SignalCodesMapToNumbers) {
    struct Case {
        int signal, code;
        bool guard;
        int number;
    } cases[] = {
        {SIGSEGV, SEGV_MAPERR, false, 1},  {SIGSEGV, SEGV_MAPERR, true, 19},
        {SIGSEGV, SI_USER, false, 32},     {SIGBUS, BUS_ADRALN, false, 2},
        {SIGBUS, BUS_ADRERR, false, 27},   {SIGBUS, SI_USER, false, 34},
        {SIGILL, ILL_PRVOPC, false, 15},   {SIGILL, SI_USER, false, 17},
        {SIGFPE, FPE_INTDIV, false, 13},   {SIGFPE, FPE_FLTINV, false, 9},
        {SIGFPE, SI_USER, false, 33},      {SIGTRAP, TRAP_BRKPT, false, 3},
        {SIGTERM, SI_USER, false, 0},      {SIGHUP, SI_USER, false, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(signal_fatal_number(c.signal, c.code, c.guard), c.number)
            << "signal " << c.signal << " code " << c.code;
}

namespace {

[[noreturn]] void die_by_signal(int signal) {
    install_signal_handlers();
    raise(signal);
    _exit(200);
}

volatile int divisor = 0;
int* volatile null_address = nullptr;

// The sanitizers would report these faults themselves; the test wants the processor's.
__attribute__((no_sanitize("undefined", "address"))) void store_through_null() {
    install_signal_handlers();
    *null_address = 1;
}

__attribute__((no_sanitize("undefined"))) void divide_by_zero() {
    install_signal_handlers();
    volatile int x = 7 / divisor;
    (void)x;
}

}  // namespace

TEST(FatalDeathTest, SignalsSentToTheProcessUseTheirOtherRows) {
    const char* address_line = "\n\\*\\*\\* at: [0-9A-F]{8,}h\n$";
    EXPECT_EXIT(die_by_signal(SIGBUS), testing::ExitedWithCode(34),
                std::string("^\\*\\*\\* Runtime Error 34: Bus error") + address_line);
    EXPECT_EXIT(die_by_signal(SIGFPE), testing::ExitedWithCode(33),
                std::string("^\\*\\*\\* Runtime Error 33: FPU error") + address_line);
    EXPECT_EXIT(die_by_signal(SIGSEGV), testing::ExitedWithCode(32),
                std::string("^\\*\\*\\* Runtime Error 32: segmentation fault") + address_line);
    EXPECT_EXIT(die_by_signal(SIGTERM), testing::ExitedWithCode(0), "^$");
}

TEST(FatalDeathTest, HardwareFaultsReportTheirKernelCodes) {
    EXPECT_EXIT(store_through_null(), testing::ExitedWithCode(1), "^\\*\\*\\* Runtime Error 1: access violation\n");
    EXPECT_EXIT(divide_by_zero(), testing::ExitedWithCode(13), "^\\*\\*\\* Runtime Error 13: integer divide by zero\n");
}
