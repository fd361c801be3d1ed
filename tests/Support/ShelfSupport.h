#pragma once

#include "ErrorPresenter.h"
#include "Shelf.h"
#include "TagQuery.h"

#include <QSignalSpy>

#include <filesystem>
#include <memory>

// An error presenter for tests that expect no errors, or do not look at them.
class NoPresenter : public kelo::ErrorPresenter {
public:
    void present(const kelo::Error &, const std::filesystem::path &) override {}
};

// A shelf over the real tag index of one folder; loaded unless asked not to wait.
inline std::unique_ptr<kelo::Shelf> shelfOver(const std::filesystem::path &root,
                                              kelo::ErrorPresenter &presenter,
                                              bool waitForLoad = true, bool watched = true) {
    kelo::TagIndex::Options options;
    options.scope.roots.push_back({root, watched});
    auto shelf = std::make_unique<kelo::Shelf>(std::make_unique<kelo::TagQuery>(std::move(options)),
                                               presenter);
    if (waitForLoad)
        QSignalSpy(shelf.get(), &kelo::Shelf::loadedChanged).wait(5000);
    return shelf;
}
