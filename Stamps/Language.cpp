#include "Language.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace kelo {
namespace {

// "nl" of "nl-NL", "nl_BE.UTF-8" or "NL".
std::string primaryLanguage(std::string_view tag) {
    std::string language(tag.substr(0, tag.find_first_of("-_.@")));
    std::transform(language.begin(), language.end(), language.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return language;
}

std::string_view variable(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

} // namespace

Language preferredLanguage(const std::vector<std::string_view> &tags) {
    for (const std::string_view tag : tags) {
        const std::string language = primaryLanguage(tag);
        if (language == "nl")
            return Language::dutch;
        if (language == "en")
            return Language::english;
    }
    return Language::english;
}

Language messageLanguage() {
    std::vector<std::string_view> tags;
    std::string_view list = variable("LANGUAGE");
    while (!list.empty()) {
        const size_t colon = list.find(':');
        tags.push_back(list.substr(0, colon));
        list = colon == list.npos ? std::string_view() : list.substr(colon + 1);
    }
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const std::string_view locale = variable(name); !locale.empty()) {
            tags.push_back(locale);
            break;
        }
    }
    return preferredLanguage(tags);
}

} // namespace kelo
