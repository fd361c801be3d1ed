#include "UserFolders.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace kelo {

namespace fs = std::filesystem;

namespace {

fs::path baseFolder(const char *variable, const char *belowHome) {
    if (const char *value = std::getenv(variable); value && *value == '/')
        return value;
    const fs::path home = homeFolder();
    return home.empty() ? fs::path() : home / belowHome;
}

} // namespace

fs::path homeFolder() {
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *result = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return result && result->pw_dir ? fs::path(result->pw_dir) : fs::path();
}

fs::path dataHome() {
    return baseFolder("XDG_DATA_HOME", ".local/share");
}

fs::path cacheHome() {
    return baseFolder("XDG_CACHE_HOME", ".cache");
}

fs::path configHome() {
    return baseFolder("XDG_CONFIG_HOME", ".config");
}

std::vector<fs::path> dataFolders() {
    const char *value = std::getenv("XDG_DATA_DIRS");
    std::string_view list = value && *value ? value : "/usr/local/share:/usr/share";
    std::vector<fs::path> folders;
    while (!list.empty()) {
        const std::string_view folder = list.substr(0, list.find(':'));
        if (folder.starts_with('/'))
            folders.emplace_back(folder);
        list.remove_prefix(std::min(folder.size() + 1, list.size()));
    }
    return folders;
}

} // namespace kelo
