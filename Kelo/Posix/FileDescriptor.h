#pragma once

#include <utility>

#include <unistd.h>

namespace kelo {

// An open file descriptor, closed when its owner goes; -1 (or any negative value, AT_FDCWD
// among them) for none.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : m_fd(fd) {}
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept {
        reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() { reset(); }

    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }

    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(m_fd, -1); }

    // Closes the descriptor held, if any, and holds `fd` instead.
    void reset(int fd = -1) noexcept {
        if (const int old = std::exchange(m_fd, fd); old >= 0)
            ::close(old);
    }

private:
    int m_fd = -1;
};

} // namespace kelo
