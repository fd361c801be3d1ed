#include "SystemLog.h"

#include "FileDescriptor.h"
#include "LogLine.h"

#include <cstdio>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

namespace kelo {

void writeSystemLog(std::string_view line) {
    const FileDescriptor fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "/dev/log");
    // "<priority>identifier[pid]: message", which journald and rsyslog both read.
    const std::string message = "<" + std::to_string(LOG_USER | LOG_NOTICE) + ">kelo[" +
                                std::to_string(::getpid()) + "]: " + escapedLogLine(line);
    ::sendto(fd.get(), message.data(), message.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr *>(&address), sizeof address);
}

} // namespace kelo
