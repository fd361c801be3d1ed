#include "HostMenu.h"

#include "SelectionController.h"
#include "SystemLog.h"

namespace kelo::host {

namespace {

// What an activated item needs: the selection when its menu was built, and the item itself.
struct Pick {
    std::shared_ptr<const Paths> selection;
    MenuItem item;
};

void activate(GObject *, gpointer data) {
    try {
        const auto &pick = *static_cast<const Pick *>(data);
        SelectionController controller;
        FinderSync finderSync(controller, writeSystemLog);
        controller.select(*pick.selection);
        // Each failure has been logged; the file manager has no place to show it.
        finderSync.pick(pick.item);
    } catch (...) {
    }
}

void dropPick(gpointer data, GClosure *) {
    delete static_cast<Pick *>(data);
}

} // namespace

std::optional<std::filesystem::path> localPath(GFile *location) {
    if (!location)
        return std::nullopt;
    char *path = g_file_get_path(location);
    g_object_unref(location);
    if (!path)
        return std::nullopt;
    std::filesystem::path local(path);
    g_free(path);
    return local;
}

std::optional<SelectionMenu> selectionMenu(MenuKind kind, Paths selection) {
    SelectionController controller;
    FinderSync finderSync(controller, writeSystemLog);
    std::erase_if(selection, [&](const std::filesystem::path &path) {
        return !isObserved(path, controller.directories());
    });
    if (kind == MenuKind::contextualMenuForItems && selection.empty())
        return std::nullopt;
    controller.select(selection);
    Menu menu = finderSync.menuForMenuKind(kind);
    if (menu.items.empty())
        return std::nullopt;
    return SelectionMenu{std::make_shared<const Paths>(std::move(selection)), std::move(menu)};
}

void connectPick(gpointer hostItem, std::shared_ptr<const Paths> selection, const MenuItem &item) {
    auto pick = std::make_unique<Pick>(Pick{std::move(selection), item});
    g_signal_connect_data(hostItem, "activate", reinterpret_cast<GCallback>(&activate),
                          pick.release(), &dropPick, GConnectFlags{});
}

MenuHold menuHoldOf(gpointer menu, gpointer item, void (*append)(gpointer menu, gpointer item)) {
    const auto references = [item] { return static_cast<GObject *>(item)->ref_count; };
    append(menu, item);
    const bool taken = references() > 1;
    g_object_unref(menu);
    const bool kept = references() > 1;
    if (kept)
        g_object_unref(item);
    g_object_unref(item);
    return !taken ? MenuHold::borrows : kept ? MenuHold::keeps : MenuHold::releases;
}

void releaseWithMenu(gpointer menu, GList *items) {
    if (!items)
        return;
    g_object_set_data_full(
        static_cast<GObject *>(menu), "kelo-held-items", items,
        [](gpointer held) { g_list_free_full(static_cast<GList *>(held), g_object_unref); });
}

std::string ItemNames::titled(const std::string &title) {
    std::string slug;
    for (const char c : title) {
        if (g_ascii_isalnum(c))
            slug += g_ascii_tolower(c);
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    }
    while (!slug.empty() && slug.back() == '-')
        slug.pop_back();
    return unique(slug.empty() ? "item" : slug);
}

std::string ItemNames::unique(const std::string &base) {
    std::string name = "Kelo::" + base;
    for (int n = 2; !m_names.insert(name).second; ++n)
        name = "Kelo::" + base + "-" + std::to_string(n);
    return name;
}

} // namespace kelo::host
