// External processes on POSIX: posix_spawn with the child's standard streams on pipes, files or
// /dev/null. The parent serves every pipe in one poll loop with non-blocking ends, so neither
// side waits on a full pipe while the other waits on it. SIGPIPE is held back while the input
// is written (a child may exit without reading it). Children that are not waited for are
// reaped at the next call.
#include "core/os/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "core/os/descriptor.hpp"

extern char** environ;

namespace vyn::process {
namespace {

using os::Descriptor;

// Children started without waiting; each is reaped once it has ended.
std::vector<pid_t> detached;

void reap_detached() {
    std::erase_if(detached, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

// One standard stream of the child: the descriptor it gets, and the parent's end of its pipe.
struct Channel {
    Descriptor child;
    Descriptor parent;
};

bool make_pipe(Channel& c, bool child_reads) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    c.child.reset(ends[child_reads ? 0 : 1]);
    c.parent.reset(ends[child_reads ? 1 : 0]);
    return fcntl(c.parent.get(), F_SETFL, O_NONBLOCK) == 0;
}

bool open_channel(Channel& c, const Stream& s, bool input) {
    switch (s.kind) {
    case Stream::Kind::none:
        c.child.reset(open("/dev/null", (input ? O_RDONLY : O_WRONLY) | O_CLOEXEC));
        return c.child.ok();
    case Stream::Kind::file:
        c.child.reset(input ? open(s.path.c_str(), O_RDONLY | O_CLOEXEC)
                            : open(s.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
        return c.child.ok();
    case Stream::Kind::buffer: return make_pipe(c, input);
    }
    return false;
}

std::vector<char*> argv_of(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    return argv;
}

// posix_spawnp with the three channels as the child's standard streams and the default
// dispositions and mask for the signals the parent may hold back. Gives the error number.
int spawn(pid_t& pid, std::vector<std::string> words, Channel* channels) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (channels)
        for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_adddup2(&actions, channels[fd].child.get(), fd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv = argv_of(words);
    int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

std::vector<std::string> shell_words(const std::string& command) { return {"/bin/sh", "-c", command}; }

// Writes what it can of the input; true once all of it is written.
bool feed(int fd, const std::string& bytes, size_t& done) {
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += size_t(n);
        else if (n < 0 && errno == EINTR) continue;
        else return n < 0 && errno == EAGAIN ? false : true;  // a closed reader takes no more
    }
    return true;
}

// Reads what is there; true at the end of the stream.
bool drain(int fd, std::string& into) {
    char chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) into.append(chunk, size_t(n));
        else if (n < 0 && errno == EINTR) continue;
        else return !(n < 0 && errno == EAGAIN);
    }
}

// Serves the input, output and error pipes until the input is written and both outputs end.
void exchange(Channel* channels, Call& call) {
    sigset_t pipe_signal, previous;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
    size_t written = 0;
    std::string* received[3] = {nullptr, &call.output.bytes, &call.error.bytes};
    if (channels[0].parent.ok() && feed(channels[0].parent.get(), call.input.bytes, written)) channels[0].parent.reset();
    for (;;) {
        pollfd fds[3];
        int n = 0;
        for (int i = 0; i < 3; ++i)
            if (channels[i].parent.ok()) fds[n++] = {channels[i].parent.get(), short(i == 0 ? POLLOUT : POLLIN), 0};
        if (n == 0) break;
        if (poll(fds, nfds_t(n), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int k = 0; k < n; ++k) {
            if (!fds[k].revents) continue;
            int i = fds[k].fd == channels[0].parent.get() ? 0 : fds[k].fd == channels[1].parent.get() ? 1 : 2;
            bool done = i == 0 ? feed(fds[k].fd, call.input.bytes, written) : drain(fds[k].fd, *received[i]);
            if (done) channels[i].parent.reset();
        }
    }
    timespec now{0, 0};
    while (sigtimedwait(&pipe_signal, nullptr, &now) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

int32_t exit_status_of(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

bool redirected(const Call& call) {
    return call.input.kind != Stream::Kind::none || call.output.kind != Stream::Kind::none ||
           call.error.kind != Stream::Kind::none;
}

}  // namespace

std::vector<std::string> split_command(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
            continue;
        }
        in_word = true;
        if (c == '\'') {
            size_t end = text.find('\'', i + 1);
            if (end == std::string_view::npos) end = text.size();
            word.append(text.substr(i + 1, end - i - 1));
            i = end;
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size() && std::string_view("\"\\$`").find(text[i + 1]) != std::string_view::npos) ++i;
                word += text[i];
            }
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
        } else {
            word += c;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

int32_t run(Call& call) {
    reap_detached();
    Channel channels[3];
    if (!open_channel(channels[0], call.input, true) || !open_channel(channels[1], call.output, false) ||
        !open_channel(channels[2], call.error, false))
        return -1;
    std::vector<std::string> words = call.shell ? shell_words(call.command) : split_command(call.command);
    if (words.empty()) words = shell_words(call.command);
    pid_t pid = 0;
    int error = spawn(pid, words, channels);
    if (error == ENOENT && !call.shell) error = spawn(pid, shell_words(call.command), channels);
    if (error != 0) return -1;
    for (Channel& c : channels) c.child.reset();
    exchange(channels, call);
    if (call.wait || redirected(call)) return exit_status_of(pid);
    detached.push_back(pid);
    return int32_t(pid);
}

bool start_detached(const std::vector<std::string>& argv) {
    reap_detached();
    Channel channels[3];
    Stream nothing;
    for (int fd = 0; fd < 3; ++fd)
        if (!open_channel(channels[fd], nothing, fd == 0)) return false;
    pid_t pid = 0;
    if (spawn(pid, argv, channels) != 0) return false;
    detached.push_back(pid);
    return true;
}

}  // namespace vyn::process
