// The language of the file-manager menus and of the window: the user's messages language, and
// dates written in it.
#include "Language.h"
#include "Calendar.h"
#include "ScopedEnvironment.h"

#include <gtest/gtest.h>

using namespace kelo;

// The first Dutch or English of LANGUAGE, then of LC_ALL, LC_MESSAGES, LANG, as the window always
// chose: a "C" locale does not silence LANGUAGE.
TEST(Language, FromTheEnvironmentAsTheWindowAlwaysChose) {
    const auto dutch = Language::dutch, english = Language::english;
    // LANGUAGE, LC_ALL, LC_MESSAGES, LANG; nullptr is unset.
    const std::tuple<const char *, const char *, const char *, const char *, Language> cases[] = {
        {nullptr, nullptr, nullptr, nullptr, english},
        {nullptr, nullptr, nullptr, "nl_NL.UTF-8", dutch},
        {nullptr, nullptr, nullptr, "nl", dutch},
        {nullptr, nullptr, nullptr, "nds_DE.UTF-8", english},
        {nullptr, nullptr, "nl_NL.UTF-8", "en_US.UTF-8", dutch},
        {nullptr, "en_GB.UTF-8", "nl_NL.UTF-8", "nl_NL.UTF-8", english},
        {nullptr, "", "", "nl_NL.UTF-8", dutch},
        {"fy:nl:en", nullptr, nullptr, "en_US.UTF-8", dutch},
        {"en_GB:nl", nullptr, nullptr, "nl_NL.UTF-8", english},
        {"de:fr", nullptr, nullptr, "nl_NL.UTF-8", dutch},
        {"", nullptr, nullptr, "nl_NL.UTF-8", dutch},
        {"nl", nullptr, nullptr, "C.UTF-8", dutch},
        {"de", "POSIX", nullptr, "nl_NL.UTF-8", english},
        {"nl", nullptr, nullptr, nullptr, dutch}};
    for (const auto &[language, all, messages, lang, expected] : cases) {
        ScopedEnvironment a("LANGUAGE", language), b("LC_ALL", all), c("LC_MESSAGES", messages),
            d("LANG", lang);
        EXPECT_EQ(messageLanguage(), expected)
            << (language ? language : "-") << " " << (all ? all : "-") << " "
            << (messages ? messages : "-") << " " << (lang ? lang : "-");
    }
}

// The locale's own long date where it speaks the language, else the language's plain one; one
// calendar may write both in turn.
TEST(Language, LongDatesSpeakTheLanguageGiven) {
    const auto day =
        kelo::Instant(std::chrono::sys_days(std::chrono::year(2026) / std::chrono::December / 5) +
                      std::chrono::hours(12));
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"nl_NL", "5 december 2026", "December 5, 2026"},
        {"en_GB", "5 december 2026", "5 December 2026"},
        {"de_DE", "5 december 2026", "December 5, 2026"}};
    for (const auto &[locale, dutch, english] : cases) {
        const Calendar calendar = Calendar::forZone("Europe/Amsterdam", locale);
        EXPECT_EQ(calendar.longDate(day, Language::dutch), dutch) << locale;
        EXPECT_EQ(calendar.longDate(day, Language::english), english) << locale;
        EXPECT_EQ(calendar.longDate(day, Language::dutch), dutch) << locale;
    }
}
