#pragma once

#include <string_view>
#include <vector>

namespace kelo {

// Kelo is written in Dutch and translated into English.
enum class Language { dutch, english };

// Dutch or English, whichever comes first among these language tags ("nl", "nl_BE.UTF-8",
// "en-GB"), most preferred first; English when neither is listed, as the language more people
// read than Dutch.
Language preferredLanguage(const std::vector<std::string_view> &tags);

// The language of the user's messages, from the environment as gettext reads it: the list in
// LANGUAGE, else the locale of LC_ALL, LC_MESSAGES or LANG. That locale being "C", "POSIX" or
// unset means English, whatever LANGUAGE says.
Language messageLanguage();

} // namespace kelo
