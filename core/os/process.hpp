// External processes: a command run directly or through /bin/sh, its standard input fed from a
// buffer or a file, its output and error collected into buffers or appended to files. Works on
// bytes only; the natives turn values into bytes and back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyn::process {

// Where one standard stream of the child goes: nowhere (/dev/null), a buffer or a file.
struct Stream {
    enum class Kind : uint8_t { none, buffer, file };
    Kind kind = Kind::none;
    std::string bytes;  // input: what is sent; output: what was received
    std::string path;   // input: the file read; output: the file appended to
};

struct Call {
    std::string command;
    bool wait = false;
    bool shell = false;  // run as `/bin/sh -c command`
    Stream input, output, error;
};

// Runs the command: split into words (quotes and backslashes as a POSIX shell reads them, no
// expansion) unless `shell` is set, and run through /bin/sh -c when the program is not found.
// Any redirection makes the call wait. All streams are served at once, so a child that writes
// before it reads never blocks both sides. Gives the exit status (128 + the signal for a
// child killed by one), the process id when not waiting, or -1 when a pipe, a file or the
// process could not be made.
int32_t run(Call& call);

// Starts a program with these arguments without a shell and without waiting; false when it
// could not be started.
bool start_detached(const std::vector<std::string>& argv);

// The words of a command line: blanks separate; single quotes keep everything up to the next
// one; inside double quotes a backslash escapes only `"`, `\`, `$` and a backquote; elsewhere a
// backslash keeps the next character.
std::vector<std::string> split_command(std::string_view text);

}  // namespace vyn::process
