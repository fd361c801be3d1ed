#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Shelf.h"
#include "ShelfOrder.h"

namespace kelo {

// The review's list, made off the GUI thread: the expired files by folder, in the order of the
// rows ("list order"), and where each file is in it. Never changed once made, so the model can
// show it while a later grouping reads it on another thread.
struct ReviewList {
    // The expired files as the shelf had them: the list refers to them rather than copying them.
    Shelf::Run source;
    std::vector<std::filesystem::path> folders;
    // Where each folder's files start in list order.
    std::vector<std::size_t> firstFile;
    // For each place in list order, the file's index in `source`.
    std::vector<std::size_t> order;
    // Every file's path in list order, shared as they are with the disk usage.
    std::shared_ptr<const std::vector<std::string>> paths;
    // A table of places by path, open addressing: the place plus one in the slot its path
    // hashes to or after, zero for none.
    std::vector<std::uint32_t> table;

    std::size_t fileCount() const { return order.size(); }
    const std::string &file(std::size_t place) const { return source.items()[order[place]].path; }
    std::size_t groupSize(std::size_t group) const;
    // The group a place belongs to.
    std::size_t groupOf(std::size_t place) const;
    // The place of a listed file.
    std::optional<std::size_t> place(std::string_view path) const;
    // The groups with copies of their files.
    std::vector<FolderGroup> folderGroups() const;
};

// What the making of a list starts from.
struct ReviewListRequest {
    // The shelf's expired files now.
    Shelf::Run expired;
    // Those expired when the review opened: what the first list ticks.
    Shelf::Run atOpen;
    // The list shown and its ticks, which the new list keeps; none before the first. A file new
    // to a later list starts unticked.
    std::shared_ptr<const ReviewList> shown;
    std::shared_ptr<const std::vector<char>> shownTicks;
};

// A new list and its ticks in list order; no list when it would list the files shown.
struct ReviewListUpdate {
    std::shared_ptr<const ReviewList> list;
    std::vector<char> ticks;
};

// Makes the list: the work that grows with the number of files, for a worker thread. Asks
// `cancelled` now and then; none once it said yes.
std::optional<ReviewListUpdate> makeReviewList(const ReviewListRequest &request,
                                               const std::function<bool()> &cancelled);

// Lets go of `shared` on a worker thread: freeing a list of many files takes about as long as
// making it did, and need not be done on the GUI thread.
void releaseInBackground(std::shared_ptr<const void> shared);

} // namespace kelo
