#include "FinderSync.h"

#include "ExpiryStamp.h"
#include "Term.h"

#include <cerrno>
#include <string>

#include <sys/stat.h>

namespace kelo {

namespace {

// A link is not followed: its target may lie where Kelo never looks, and the user would not
// learn which file got the stamp.
std::optional<Error> refusedLink(const std::filesystem::path &item) {
    struct stat status {};
    if (::lstat(item.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
        return Error{ELOOP, "it is a symbolic link; give the file it points to instead"};
    return std::nullopt;
}

} // namespace

FinderSync::FinderSync(FinderSyncController &controller, LogSink log)
    : m_controller(controller), m_log(std::move(log)) {
    m_controller.setDirectoryURLs({"/"});
}

std::vector<std::filesystem::path> FinderSync::selection() const {
    return m_controller.selectedItemURLs().value_or(std::vector<std::filesystem::path>{});
}

std::optional<Instant> FinderSync::selectionExpiry() const {
    const auto items = selection();
    if (items.empty())
        return std::nullopt;
    const Calendar calendar = Calendar::current();
    const auto first = readStamp(items.front(), calendar);
    if (!first)
        return std::nullopt;
    for (size_t i = 1; i < items.size(); ++i)
        if (readStamp(items[i], calendar) != first)
            return std::nullopt;
    return first;
}

Menu FinderSync::menuForMenuKind(MenuKind kind) const noexcept {
    try {
        Menu menu;
        if (kind != MenuKind::contextualMenuForItems)
            return menu;

        const Language language = messageLanguage();
        auto submenu = std::make_shared<Menu>();
        submenu->title = "Kelo";
        if (const auto expiry = selectionExpiry()) {
            MenuItem until;
            until.title = (language == Language::dutch ? "Tot " : "Until ") +
                          Calendar::current().longDate(*expiry, language);
            until.enabled = false;
            submenu->items.push_back(std::move(until));
            submenu->items.push_back(MenuItem::separatorItem());
        }
        for (const Term term : allTerms) {
            MenuItem item;
            item.title = label(term, language);
            item.action = MenuAction::pick;
            item.tag = static_cast<int>(term);
            submenu->items.push_back(std::move(item));
        }
        submenu->items.push_back(MenuItem::separatorItem());
        MenuItem keep;
        keep.title = keepForeverLabel(language);
        keep.action = MenuAction::pick;
        keep.tag = keepForeverTag;
        submenu->items.push_back(std::move(keep));

        MenuItem kelo;
        kelo.title = "Kelo";
        kelo.submenu = std::move(submenu);
        menu.items.push_back(std::move(kelo));
        return menu;
    } catch (...) {
        return Menu{};
    }
}

int FinderSync::pick(const MenuItem &sender) noexcept {
    const auto term = termFromRaw(sender.tag);
    int failures = 0;
    try {
        // No entry of the menu has that tag: nothing is written.
        if (!term && sender.tag != keepForeverTag) {
            if (m_log)
                m_log("Kelo: no menu entry has the tag " + std::to_string(sender.tag));
            return 1;
        }
        // One choice, one date: every file gets the term counted from the moment of the choice,
        // in the zone in force then, also when writing a large selection runs past midnight.
        const Calendar calendar = Calendar::current();
        const auto expiry =
            term ? std::optional(expiryDate(*term, currentInstant(), calendar)) : std::nullopt;
        for (const auto &item : selection()) {
            std::optional<Error> error;
            try {
                if (expiry) {
                    // Writing refuses a link by itself; only then is it worth asking why.
                    error = writeStamp(*expiry, item, calendar, Links::refuse);
                    if (error)
                        error = refusedLink(item).value_or(*error);
                } else if (!(error = refusedLink(item))) {
                    error = clearStamp(item);
                }
            } catch (const std::exception &exception) {
                error = Error{EIO, exception.what()};
            }
            if (error) {
                ++failures;
                if (m_log)
                    m_log("Kelo: could not update " + item.string() + ": " + error->description);
            }
        }
    } catch (...) {
        ++failures;
    }
    return failures;
}

std::string_view keepForeverLabel(Language language) {
    return language == Language::dutch ? "Altijd houden" : "Keep Forever";
}

bool isObserved(const std::filesystem::path &item,
                const std::vector<std::filesystem::path> &directories) {
    if (!item.is_absolute())
        return false;
    const auto normal = item.lexically_normal();
    for (const auto &directory : directories) {
        const auto relative = normal.lexically_relative(directory.lexically_normal());
        if (!relative.empty() && *relative.begin() != "..")
            return true;
    }
    return false;
}

} // namespace kelo
