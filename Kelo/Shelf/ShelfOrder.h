#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelo {

// The key by which the shelf orders file names of equal expiry dates: the name's Unicode scalar
// values after canonical normalisation (NFC), compared as bytes. Case-sensitive and not locale
// aware: "B.pdf" before "a.pdf", "Rapport 10.pdf" before "Rapport 9.pdf". A name that is not
// valid UTF-8 keeps its bytes.
std::string shelfNameKey(std::string_view fileName);

// The comparison file managers use for names in lists: ignores case, compares runs of
// digits by their value ("Rapport 9" before "Rapport 10") and follows the collation of the
// user's locale (LC_ALL, LC_COLLATE, LANG). Names that are not UTF-8 are compared as the text
// shown for them. Build one per sort; not for use from several threads at once.
class LocalizedStandardCompare {
public:
    LocalizedStandardCompare();
    explicit LocalizedStandardCompare(const std::string &localeName);
    ~LocalizedStandardCompare();
    LocalizedStandardCompare(const LocalizedStandardCompare &) = delete;
    LocalizedStandardCompare &operator=(const LocalizedStandardCompare &) = delete;

    // Negative, zero or positive, as a sorts before, with or after b.
    int compare(std::string_view a, std::string_view b) const;
    // Bytes that sort as `compare` does, compared with plain byte order.
    std::string sortKey(std::string_view text) const;
    // The same appended to `keys`, for many keys in one string; returns the key's length.
    std::size_t appendSortKey(std::string_view text, std::string &keys) const;

private:
    struct Collator;
    std::unique_ptr<Collator> m_collator;
};

// The expired files of one folder, for the review.
struct FolderGroup {
    std::filesystem::path folder;
    std::vector<std::filesystem::path> files;
    bool operator==(const FolderGroup &) const = default;
};

// Groups files by folder (a folder written with or without a trailing '/' is one); files within
// a group by name, groups by folder path, both with LocalizedStandardCompare.
std::vector<FolderGroup> folderGroups(const std::vector<std::filesystem::path> &files);

// The same order without a copy of the files: the folders in order, where each folder's files
// start in `files`, and the files as indices into what was given.
struct FolderOrder {
    std::vector<std::string> folders;
    std::vector<std::size_t> firstFile;
    std::vector<std::size_t> files;
};
// Asks `cancelled` now and then; none once it said yes.
std::optional<FolderOrder> folderOrder(std::span<const std::string *const> files,
                                       const std::function<bool()> &cancelled);

// The space a file or folder takes on disk: allocated blocks, not the length. A folder counts
// everything below it, walked without following symbolic links; its own entries count nothing.
// Never fails: what cannot be read counts 0.
std::int64_t allocatedSize(const std::filesystem::path &item);
// The same, asking `cancelled` now and then while it walks a folder; none once it said yes.
std::optional<std::int64_t> allocatedSize(const std::filesystem::path &item,
                                          const std::function<bool()> &cancelled);

} // namespace kelo
