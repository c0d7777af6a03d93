// The text terminal of the console engine: reading typed lines (echo off for hidden input),
// the window title, and the entry into the console's loop.
// Standard output is written through synchronously, so ending the process loses no output.
#include "console/terminal.hpp"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "core/fatal.hpp"
#include "core/os/console_out.hpp"
#include "core/rooted.hpp"
#include "core/runtime.hpp"
#include "core/stack.hpp"
#include "datatypes/string.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "eval/native_support.hpp"
#include "eval/os/clipboard.hpp"

namespace vyn::terminal {
namespace {

// Turns echo off for its lifetime when standard input is a terminal.
class EchoOff {
public:
    explicit EchoOff(bool hide) : active_(hide && tcgetattr(STDIN_FILENO, &saved_) == 0) {
        if (!active_) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    ~EchoOff() {
        if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool active() const { return active_; }

private:
    termios saved_{};
    bool active_;
};

// One line without its line end (LF or CR LF). False at the end of input with nothing read.
bool read_line(std::string& line, bool hide) {
    EchoOff echo(hide);
    line.clear();
    for (;;) {
        char c;
        clipboard::serve_until_readable(STDIN_FILENO);
        ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return !line.empty();
        if (c == '\n') break;
        line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (echo.active()) console::write_bytes("", 0, true);  // the typed line end was not echoed
    return true;
}

// read-stdin: the next line of standard input; the end of input ends the process with status 0.
void read_stdin(int32_t, const int32_t* refinements) {
    std::string line;
    if (!read_line(line, natives::used(refinements, 0))) sys::end_process(0);
    stack::set_result(string::from_utf8(line));
}

// system/console/init: the title of the terminal window, when standard output is a terminal.
void console_init(int32_t, const int32_t*) {
    if (isatty(STDOUT_FILENO)) {
        std::string title = "\x1b]0;" + string::to_utf8(natives::args()) + "\x07";
        console::write_bytes(title.data(), title.size(), false);
    }
    stack::set_result(unset_cell());
}

void eval_text(const std::string& text) {
    Rooted code;
    lexer::scan(code.get(), reinterpret_cast<const uint8_t*>(text.data()), text.size(), lexer::ScanOptions{});
    interp::eval(*code, false);
    stack::reset_all();
}

}  // namespace

const natives::Native natives_list[NATIVE_COUNT] = {read_stdin, console_init};

Size size_of_output() {
    winsize ws{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0)
        return {ws.ws_col, ws.ws_row};
    return {80, 25};
}

void register_natives() { natives::register_host(natives_list, NATIVE_COUNT); }

void launch() {
    Size size = size_of_output();
    eval_text("system/console/gui?: false system/console/size: " + std::to_string(size.columns) + "x" +
              std::to_string(size.rows) + " system/console/launch");
}

}  // namespace vyn::terminal
