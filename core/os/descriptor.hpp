// A POSIX file descriptor owned by a scope: closed on every way out of it, so an error raised
// between open and close never leaks one.
#pragma once

#include <unistd.h>

namespace vyn::os {

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

}  // namespace vyn::os
