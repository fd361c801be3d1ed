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

// The language of the user's messages, from the environment as Qt reads the desktop's languages:
// the list in LANGUAGE, then the locale of LC_ALL, LC_MESSAGES or LANG; the first of them that is
// Dutch or English decides. LANGUAGE counts even under a "C" locale, as it always has for Kelo's
// window.
Language messageLanguage();

} // namespace kelo
