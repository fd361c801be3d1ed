#include "ReviewList.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <algorithm>
#include <bit>
#include <unordered_set>

namespace kelo {

std::size_t ReviewList::groupSize(std::size_t group) const {
    return (group + 1 < firstFile.size() ? firstFile[group + 1] : order.size()) - firstFile[group];
}

std::size_t ReviewList::groupOf(std::size_t place) const {
    return static_cast<std::size_t>(std::upper_bound(firstFile.begin(), firstFile.end(), place) -
                                    firstFile.begin()) -
           1;
}

std::optional<std::size_t> ReviewList::place(std::string_view path) const {
    if (table.empty())
        return std::nullopt;
    const std::size_t mask = table.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>()(path) & mask;; slot = (slot + 1) & mask) {
        if (table[slot] == 0)
            return std::nullopt;
        const std::size_t place = table[slot] - 1;
        if ((*paths)[place] == path)
            return place;
    }
}

std::vector<FolderGroup> ReviewList::folderGroups() const {
    std::vector<FolderGroup> groups(folders.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        groups[g].folder = folders[g];
        for (std::size_t place = firstFile[g]; place < firstFile[g] + groupSize(g); ++place)
            groups[g].files.push_back(file(place));
    }
    return groups;
}

std::optional<ReviewListUpdate> makeReviewList(const ReviewListRequest &request,
                                               const std::function<bool()> &cancelled) {
    const auto expired = request.expired.items();
    const ReviewList *shown = request.shown.get();
    // Most changes to the shelf leave the expired files as they were.
    if (shown && shown->fileCount() == expired.size() &&
        std::all_of(expired.begin(), expired.end(),
                    [&](const Shelf::Item &item) { return shown->place(item.path).has_value(); }))
        return ReviewListUpdate{};

    std::vector<const std::string *> files;
    files.reserve(expired.size());
    for (const Shelf::Item &item : expired)
        files.push_back(&item.path);
    auto order = folderOrder(files, cancelled);
    if (!order)
        return std::nullopt;

    auto list = std::make_shared<ReviewList>();
    list->source = request.expired;
    list->folders.assign(order->folders.begin(), order->folders.end());
    list->firstFile = std::move(order->firstFile);
    list->order = std::move(order->files);
    auto paths = std::make_shared<std::vector<std::string>>();
    paths->reserve(list->fileCount());
    for (const std::size_t file : list->order)
        paths->push_back(expired[file].path);
    // At most half full, so that a path not listed is found missing after a few table.
    list->table.assign(std::bit_ceil(std::max<std::size_t>(2 * paths->size(), 16)), 0);
    const std::size_t mask = list->table.size() - 1;
    for (std::size_t place = 0; place < paths->size(); ++place) {
        std::size_t slot = std::hash<std::string_view>()((*paths)[place]) & mask;
        while (list->table[slot] != 0)
            slot = (slot + 1) & mask;
        list->table[slot] = static_cast<std::uint32_t>(place + 1);
    }
    list->paths = std::move(paths);
    if (cancelled && cancelled())
        return std::nullopt;

    ReviewListUpdate update;
    update.ticks.resize(list->fileCount());
    if (shown) {
        // A file listed before keeps its tick; one new to the list starts unticked.
        for (std::size_t place = 0; place < update.ticks.size(); ++place)
            if (const auto before = shown->place((*list->paths)[place]))
                update.ticks[place] = (*request.shownTicks)[*before];
    } else if (request.atOpen.sameAs(request.expired)) {
        std::fill(update.ticks.begin(), update.ticks.end(), char(true));
    } else {
        // The shelf changed before the first list was made: what was expired at the opening is
        // ticked, a file that joined since is not.
        std::unordered_set<std::string_view> atOpen;
        atOpen.reserve(request.atOpen.size());
        for (const Shelf::Item &item : request.atOpen.items())
            atOpen.insert(item.path);
        for (std::size_t place = 0; place < update.ticks.size(); ++place)
            update.ticks[place] = atOpen.contains((*list->paths)[place]);
    }
    update.list = std::move(list);
    return update;
}

void releaseInBackground(std::shared_ptr<const void> shared) {
    // Once the application is gone its thread pool may be too.
    if (!shared || !QCoreApplication::instance())
        return;
    QThreadPool::globalInstance()->start(
        [shared = std::move(shared)]() mutable { shared.reset(); });
}

} // namespace kelo
