#pragma once

#include "FinderSync.h"

namespace kelo {

// A controller whose selection the host sets before it asks for a menu or runs an action.
class SelectionController : public FinderSyncController {
public:
    void setDirectoryURLs(std::vector<std::filesystem::path> directories) override {
        m_directories = std::move(directories);
    }
    std::optional<std::vector<std::filesystem::path>> selectedItemURLs() const override {
        return m_selection;
    }

    void select(std::vector<std::filesystem::path> items) { m_selection = std::move(items); }
    const std::vector<std::filesystem::path> &directories() const { return m_directories; }

private:
    std::vector<std::filesystem::path> m_directories;
    std::vector<std::filesystem::path> m_selection;
};

} // namespace kelo
