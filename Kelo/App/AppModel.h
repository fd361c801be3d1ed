#pragma once

#include <memory>

#include "ErrorMessageBox.h"
#include "Shelf.h"
#include "TagIndex.h"

namespace kelo {

// The one application model: the shelf, created with it (which starts the search for stamped
// files). The reminder joins it when it is first asked for.
class AppModel {
public:
    // The shelf over the tag index of this user and machine.
    AppModel();
    // The shelf over an index with other options (tests).
    explicit AppModel(TagIndex::Options options);
    ~AppModel();

    Shelf &shelf() { return *m_shelf; }
    ErrorMessageBox &errorPresenter() { return m_presenter; }

    // The index options of this user: the machine's scope, the user's cache, Kelo's log.
    static TagIndex::Options userIndexOptions();

private:
    ErrorMessageBox m_presenter;
    std::unique_ptr<Shelf> m_shelf;
};

} // namespace kelo
