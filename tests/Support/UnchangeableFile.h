#pragma once

#include <filesystem>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

// Makes a file that its owner cannot change: read-only for an ordinary user, immutable for root,
// who may write any file regardless of its mode. Undone on destruction.
class UnchangeableFile {
public:
    explicit UnchangeableFile(std::filesystem::path file) : m_file(std::move(file)) {
        if (::geteuid() != 0) {
            m_ok = ::chmod(m_file.c_str(), 0444) == 0;
            return;
        }
        m_ok = setFlags(true);
    }
    ~UnchangeableFile() {
        if (::geteuid() == 0)
            setFlags(false);
        else
            ::chmod(m_file.c_str(), 0644);
    }
    bool ok() const { return m_ok; }

private:
    bool setFlags(bool immutable) {
        const int fd = ::open(m_file.c_str(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    std::filesystem::path m_file;
    bool m_ok = false;
};
