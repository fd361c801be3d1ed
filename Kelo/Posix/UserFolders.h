#pragma once

#include <filesystem>

namespace kelo {

// The user's home folder: $HOME, else the password database's entry; empty when neither says.
std::filesystem::path homeFolder();

} // namespace kelo
