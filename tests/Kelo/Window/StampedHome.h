#pragma once
// A home folder of real stamped files in a temporary folder, a Trash beside it, and a shelf over
// the real tag index of the folders a test names.
#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"

#include <QSignalSpy>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

class StampedHome : public ::testing::Test {
protected:
    TemporaryFolder folder;
    const fs::path disk = folder.path() / "schijf";
    const fs::path home = disk / "thuis";
    const fs::path dataHome = folder.path() / "data";
    ScopedEnvironment homeVariable{"HOME", home.c_str()};
    ScopedEnvironment dataHomeVariable{"XDG_DATA_HOME", dataHome.c_str()};
    NoPresenter presenter;
    const kelo::Calendar calendar = kelo::Calendar::current();
    const kelo::Instant today = calendar.startOfDay(kelo::currentInstant());
    std::unique_ptr<kelo::Shelf> shelf;

    StampedHome() { fs::create_directories(home); }

    // A file of `bytes` bytes that goes past its date in `days` days: negative for expired.
    fs::path stamped(const fs::path &file, int days, std::size_t bytes = 100) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << std::string(bytes, 'x');
        stamp(file, days);
        return file;
    }
    void stamp(const fs::path &file, int days) {
        EXPECT_FALSE(
            writeStamp(calendar.adding(today, kelo::DateComponent::Day, days), file, calendar))
            << file;
    }
    void loadShelf(const std::vector<fs::path> &roots, bool wait = true) {
        kelo::TagIndex::Options options;
        for (const fs::path &root : roots)
            options.scope.roots.push_back({root, true});
        shelf = std::make_unique<kelo::Shelf>(std::make_unique<kelo::TagQuery>(std::move(options)),
                                              presenter);
        QSignalSpy loaded(shelf.get(), &kelo::Shelf::loadedChanged);
        ASSERT_TRUE(!wait || loaded.wait(5000));
    }
    bool inTrash(const fs::path &file) const {
        return fs::exists(dataHome / "Trash" / "files" / file.filename());
    }
};
