#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "Calendar.h"
#include "Language.h"
#include "Menu.h"

namespace kelo {

// What the host tells the extension: where the menu is offered, and what is selected now.
class FinderSyncController {
public:
    virtual ~FinderSyncController() = default;
    virtual void setDirectoryURLs(std::vector<std::filesystem::path> directories) = 0;
    // None when the host cannot say what is selected.
    virtual std::optional<std::vector<std::filesystem::path>> selectedItemURLs() const = 0;
};

// The file manager's menu kinds, by their raw values.
enum class MenuKind {
    contextualMenuForItems = 0,
    contextualMenuForContainer = 1,
    contextualMenuForSidebar = 2,
    toolbarItemMenu = 3,
};

// Receives one plain-text line per event.
using LogSink = std::function<void(std::string_view line)>;

// The "Kelo" menu of the file manager and the stamping of the selection. Hosts call it from one
// thread; nothing it does throws.
class FinderSync {
public:
    explicit FinderSync(FinderSyncController &controller, LogSink log);

    // The tag of "Altijd houden"; the terms carry their raw values 0...3.
    const int keepForeverTag = -1;

    // In the language of the user's messages, the date too.
    Menu menuForMenuKind(MenuKind kind) const noexcept;
    // Stamps or clears every selected item by the sender's tag; a symbolic link is refused, not
    // followed. Returns how many items failed; each failure has written its log line. A tag that
    // is no entry of the menu is refused: 1, with its log line, and nothing written.
    int pick(const MenuItem &sender) noexcept;
    // The one expiry date every selected item carries, or none.
    std::optional<Instant> selectionExpiry() const;

private:
    std::vector<std::filesystem::path> selection() const;

    FinderSyncController &m_controller;
    LogSink m_log;
};

// "Altijd houden" in Dutch, "Keep Forever" in English: the entry that takes the stamp away.
std::string_view keepForeverLabel(Language language);

// Whether `item` lies in or under one of the observed folders (lexically; both absolute).
bool isObserved(const std::filesystem::path &item,
                const std::vector<std::filesystem::path> &directories);

} // namespace kelo
