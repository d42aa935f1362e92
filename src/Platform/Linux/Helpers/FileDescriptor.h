#pragma once

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace torvel {

/// Calls `call` again for as long as a signal interrupts it (-1 with EINTR).
template <typename Call>
auto retryOnInterrupt(Call call) {
    decltype(call()) result;
    do result = call();
    while (result == -1 && errno == EINTR);
    return result;
}

/// A file descriptor closed on every path out.
class FileDescriptor {
public:
    /// Takes `fd`; a negative one (a failed open) holds nothing.
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    /// The descriptor, or negative when the open failed.
    int get() const { return fd_; }
    /// Closes now; close() reports late write errors on some file systems. EINTR still closed it.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0 || errno == EINTR; }

private:
    int fd_;
};

}  // namespace torvel
