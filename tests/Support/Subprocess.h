#pragma once

#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts a program with arguments (no shell) and extra environment entries ("NAME=value") in
// the background; -1 when it cannot be started.
inline pid_t spawnProcess(const std::vector<std::string> &argv,
                          const std::vector<std::string> &environment,
                          const posix_spawn_file_actions_t *actions = nullptr) {
    std::vector<std::string> envStrings;
    for (char **entry = environ; *entry; ++entry)
        envStrings.emplace_back(*entry);
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    std::vector<char *> args, env;
    for (const auto &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    for (const auto &entry : envStrings)
        env.push_back(const_cast<char *>(entry.c_str()));
    env.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, args[0], actions, nullptr, args.data(), env.data()) != 0)
        return -1;
    return pid;
}

// Runs a program with arguments (no shell) and extra environment entries ("NAME=value"), and
// collects what it prints.
inline ProcessResult runProcess(const std::vector<std::string> &argv,
                                const std::vector<std::string> &environment = {}) {
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    const pid_t pid = spawnProcess(argv, environment, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ProcessResult result;
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return result;
    }
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
