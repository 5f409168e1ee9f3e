// Owner of a POSIX file descriptor, closed when the owner goes. Closing keeps errno, so a
// message built after a failed call still shows that call's error. (The Windows part of the
// tool holds its handles in framework/handles.h's owners.)
#pragma once

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>

namespace sfx {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            const int saved = errno;
            close(fd_);
            errno = saved;
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

}  // namespace sfx
#endif
