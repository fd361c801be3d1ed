#pragma once

#include <QString>

namespace kelo {

// `program` as the first word of an Exec value of a desktop entry, ready to be written after
// "Exec=". A word with a reserved character goes in double quotes, with ", `, $ and \ escaped
// inside; the string escapes of every value apply on top of that (so a literal backslash becomes
// four), and a literal % is doubled so that it cannot be read as a field code.
QString desktopExecWord(const QString &program);

} // namespace kelo
