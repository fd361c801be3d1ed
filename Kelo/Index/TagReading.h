#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelo {

// Reading tag lists relative to open folders, so that paths of any length work.

// Whether the kernel has getxattrat (Linux 6.13): one call that reads an attribute of a name in
// an open folder. Without it, callers chdir into the folder (in a thread with its own working
// folder) and read the name relative to it.
bool haveGetxattrAt();

// Whether the file or folder `name` in `folder` carries `tag`; never follows a symbolic link.
// Without getxattrat the caller's working folder must be `folder`.
bool nameHasTag(int folder, const char *name, std::string_view tag);
// Whether the open folder itself carries `tag`.
bool folderHasTag(int folder, std::string_view tag);
// Whether the file or folder at an absolute path carries `tag`, however long the path is.
bool pathHasTag(const std::string &path, std::string_view tag);

// Opens a folder by absolute path without following symbolic links in its last component;
// paths longer than PATH_MAX are opened a piece at a time. -1 on failure.
int openFolder(const std::string &path);

} // namespace kelo
