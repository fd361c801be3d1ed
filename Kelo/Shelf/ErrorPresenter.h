#pragma once

#include <filesystem>

#include "Error.h"

namespace kelo {

// Tells the user the error of an action on a file. It may return before the user has read it.
class ErrorPresenter {
public:
    virtual ~ErrorPresenter() = default;
    virtual void present(const Error &error, const std::filesystem::path &file) = 0;
};

} // namespace kelo
