#include "Log.h"

#include "LogLine.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include <syslog.h>

namespace kelo {

namespace {

std::mutex sinkMutex;
// Empty: the default sink.
LogSink currentSink;

void writeDefault(std::string_view line) {
    static std::once_flag opened;
    std::call_once(opened, [] { ::openlog("kelo", LOG_PID, LOG_USER); });
    const std::string text(line);
    ::syslog(LOG_USER | LOG_NOTICE, "%s", text.c_str());
    // One write, so that lines from several threads do not interleave.
    const std::string withNewline = text + '\n';
    std::fwrite(withNewline.data(), 1, withNewline.size(), stderr);
}

} // namespace

void log(std::string_view line) {
    LogSink sink;
    {
        const std::lock_guard lock(sinkMutex);
        sink = currentSink;
    }
    // Escaped before any sink sees it: a file name in the line cannot forge a line of its own.
    const std::string escaped = escapedLogLine(line);
    if (sink)
        sink(escaped);
    else
        writeDefault(escaped);
}

LogSink setLogSink(LogSink sink) {
    const std::lock_guard lock(sinkMutex);
    std::swap(currentSink, sink);
    return sink;
}

} // namespace kelo
