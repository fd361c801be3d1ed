#pragma once

#include <string>
#include <string_view>

namespace kelo {

// Reading tag lists fast and for paths of any length.

// Reads the tag lists of names in the working folder, as a crawl does file after file. Most
// files carry no extended attributes at all, and asking for the list of names is cheaper than
// asking for one value, so it asks that first, unless most files turn out to carry attributes
// (as under SELinux, where every file has a label).
class TagProbe {
public:
    explicit TagProbe(std::string_view tag) : m_tag(tag) {}

    // Whether `name` in the working folder carries the tag; never follows a symbolic link.
    bool nameHasTag(const char *name);
    // Whether the open folder carries the tag.
    bool folderHasTag(int folder) const;

private:
    std::string_view m_tag;
    unsigned m_files = 0;
    unsigned m_seen = 0;
    unsigned m_withAttributes = 0;
    bool m_listFirst = true;
};

// Whether the file or folder at an absolute path carries `tag`, however long the path is.
bool pathHasTag(const std::string &path, std::string_view tag);

// Opens a folder by absolute path without following a symbolic link as its last component;
// paths longer than PATH_MAX are opened a piece at a time. -1 on failure.
int openFolder(const std::string &path);

} // namespace kelo
