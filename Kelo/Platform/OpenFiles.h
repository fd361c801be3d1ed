#pragma once

#include <QUrl>

#include <filesystem>

namespace kelo {

// The "file://" address of a path, its bytes kept exactly, also when they are not UTF-8.
QUrl fileUrl(const std::filesystem::path &path);
// Opens the file in its default application; false when the desktop has none to offer.
bool openFile(const std::filesystem::path &path);
// Shows the file selected in the file manager (org.freedesktop.FileManager1), or opens its folder
// when no file manager answers.
void revealFile(const std::filesystem::path &path);

} // namespace kelo
