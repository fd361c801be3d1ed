// The Nautilus host: a menu provider that offers the "Kelo" menu on local files.

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gio/gio.h>
#include <glib-object.h>

// The extension header declares the module entry points without C linkage; GLib is already in.
extern "C" {
#include <nautilus-extension.h>
}

#include "FinderSync.h"
#include "SelectionController.h"
#include "SystemLog.h"

namespace {

using Paths = std::vector<std::filesystem::path>;

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct Free {
    void operator()(gpointer memory) const { g_free(memory); }
};
using ItemPointer = std::unique_ptr<NautilusMenuItem, Unref>;

// Nautilus menus have no separators; a dimmed rule keeps the menu's structure visible.
constexpr const char *separatorLabel = "\u2500\u2500\u2500\u2500\u2500\u2500";

// Some versions of libnautilus-extension (43 among them) take a reference on every item appended
// to a menu and never give it back. Found out once, by trying.
bool menusKeepItems() {
    static const bool keep = [] {
        NautilusMenu *menu = nautilus_menu_new();
        NautilusMenuItem *item = nautilus_menu_item_new("Kelo::probe", "", "", nullptr);
        nautilus_menu_append_item(menu, item);
        g_object_unref(menu);
        const bool kept = reinterpret_cast<GObject *>(item)->ref_count > 1;
        if (kept)
            g_object_unref(item);
        g_object_unref(item);
        return kept;
    }();
    return keep;
}

// What an activated item needs: the selection when its menu was built, and the item itself.
struct Pick {
    Paths selection;
    kelo::MenuItem item;
};

void activate(NautilusMenuItem *, gpointer data) {
    try {
        const auto &pick = *static_cast<const Pick *>(data);
        kelo::SelectionController controller;
        kelo::FinderSync finderSync(controller, kelo::writeSystemLog);
        controller.select(pick.selection);
        // Each failure has been logged; the file manager has no place to show it.
        finderSync.pick(pick.item);
    } catch (...) {
    }
}

void dropPick(gpointer data, GClosure *) {
    delete static_cast<Pick *>(data);
}

// Translates the toolkit-neutral menu into Nautilus items with unique names.
class MenuTranslation {
public:
    explicit MenuTranslation(const Paths &selection) : m_selection(selection) {}

    ItemPointer item(const kelo::MenuItem &model) {
        const bool picks = model.action == kelo::MenuAction::pick && !model.separator;
        const std::string name =
            uniqueName(model.separator ? "separator-" + std::to_string(m_separators++)
                       : picks         ? "pick-" + std::to_string(model.tag)
                                       : slug(model.title));
        ItemPointer item(nautilus_menu_item_new(
            name.c_str(), model.separator ? separatorLabel : model.title.c_str(), "", nullptr));
        if (model.separator || !model.enabled)
            g_object_set(item.get(), "sensitive", FALSE, nullptr);
        if (model.submenu) {
            std::unique_ptr<NautilusMenu, Unref> submenu(nautilus_menu_new());
            GList *kept = nullptr;
            for (const auto &child : model.submenu->items) {
                ItemPointer childItem = this->item(child);
                nautilus_menu_append_item(submenu.get(), childItem.get());
                if (menusKeepItems())
                    kept = g_list_prepend(kept, childItem.get());
            }
            // The menu's own references, released when the menu goes.
            if (kept)
                g_object_set_data_full(
                    G_OBJECT(submenu.get()), "kelo-kept-items", kept, [](gpointer items) {
                        g_list_free_full(static_cast<GList *>(items), g_object_unref);
                    });
            nautilus_menu_item_set_submenu(item.get(), submenu.get());
        }
        if (picks) {
            auto pick = std::make_unique<Pick>(Pick{m_selection, model});
            g_signal_connect_data(item.get(), "activate", reinterpret_cast<GCallback>(&activate),
                                  pick.release(), &dropPick, GConnectFlags{});
        }
        return item;
    }

private:
    // "Tot 5 december 2026" becomes "tot-5-december-2026".
    static std::string slug(const std::string &title) {
        std::string slug;
        for (const char c : title) {
            if (g_ascii_isalnum(c))
                slug += g_ascii_tolower(c);
            else if (!slug.empty() && slug.back() != '-')
                slug += '-';
        }
        while (!slug.empty() && slug.back() == '-')
            slug.pop_back();
        return slug.empty() ? "item" : slug;
    }

    std::string uniqueName(const std::string &base) {
        std::string name = "Kelo::" + base;
        for (int n = 2; !m_names.insert(name).second; ++n)
            name = "Kelo::" + base + "-" + std::to_string(n);
        return name;
    }

    const Paths &m_selection;
    std::set<std::string> m_names;
    int m_separators = 0;
};

// The items of one menu kind for the selection, as Nautilus takes them (NULL for none).
GList *menuItems(kelo::MenuKind kind, Paths selection) {
    kelo::SelectionController controller;
    kelo::FinderSync finderSync(controller, kelo::writeSystemLog);
    std::erase_if(selection, [&](const std::filesystem::path &path) {
        return !kelo::isObserved(path, controller.directories());
    });
    if (kind == kelo::MenuKind::contextualMenuForItems && selection.empty())
        return nullptr;
    controller.select(selection);

    std::vector<ItemPointer> items;
    MenuTranslation translation(selection);
    for (const auto &model : finderSync.menuForMenuKind(kind).items)
        items.push_back(translation.item(model));
    GList *list = nullptr;
    for (auto &item : items)
        list = g_list_append(list, item.release());
    return list;
}

// The local path of a file, or none for a file that lives elsewhere (sftp:, trash:, ...).
std::optional<std::filesystem::path> localPath(NautilusFileInfo *file) {
    std::unique_ptr<GFile, Unref> location(nautilus_file_info_get_location(file));
    if (!location)
        return std::nullopt;
    std::unique_ptr<char, Free> path(g_file_get_path(location.get()));
    if (!path)
        return std::nullopt;
    return std::filesystem::path(path.get());
}

GList *getFileItems(NautilusMenuProvider *, GList *files) {
    try {
        Paths selection;
        for (GList *node = files; node; node = node->next)
            if (auto path = localPath(static_cast<NautilusFileInfo *>(node->data)))
                selection.push_back(std::move(*path));
        return menuItems(kelo::MenuKind::contextualMenuForItems, std::move(selection));
    } catch (...) {
        return nullptr;
    }
}

GList *getBackgroundItems(NautilusMenuProvider *, NautilusFileInfo *currentFolder) {
    try {
        Paths selection;
        if (auto path = localPath(currentFolder))
            selection.push_back(std::move(*path));
        return menuItems(kelo::MenuKind::contextualMenuForContainer, std::move(selection));
    } catch (...) {
        return nullptr;
    }
}

void initMenuProvider(gpointer interface, gpointer) {
    auto *menuProvider = static_cast<NautilusMenuProviderInterface *>(interface);
    menuProvider->get_file_items = &getFileItems;
    menuProvider->get_background_items = &getBackgroundItems;
}

// KeloMenuProvider: a plain GObject with the menu provider interface, registered on the module.
GType providerTypes[1];

void registerMenuProvider(GTypeModule *module) {
    GTypeInfo info{};
    info.class_size = sizeof(GObjectClass);
    info.instance_size = sizeof(GObject);
    const GType type =
        g_type_module_register_type(module, G_TYPE_OBJECT, "KeloMenuProvider", &info, GTypeFlags{});
    GInterfaceInfo menuProvider{};
    menuProvider.interface_init = &initMenuProvider;
    g_type_module_add_interface(module, type, NAUTILUS_TYPE_MENU_PROVIDER, &menuProvider);
    providerTypes[0] = type;
}

} // namespace

extern "C" {

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule *module) {
    registerMenuProvider(module);
}

G_MODULE_EXPORT void nautilus_module_list_types(const GType **types, int *count) {
    *types = providerTypes;
    *count = 1;
}

G_MODULE_EXPORT void nautilus_module_shutdown(void) {
}

} // extern "C"
