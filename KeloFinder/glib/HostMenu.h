#pragma once

// What the modules of the GLib file managers share: the selection as observed local paths, the
// core's menu translated into the host's items, and the stamping when one is chosen. Each module
// describes its host's menu API in a small struct (see KeloNautilus.cpp) and hands on the rest.

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gio/gio.h>
#include <glib-object.h>

#include "FinderSync.h"
#include "Menu.h"

namespace kelo::host {

using Paths = std::vector<std::filesystem::path>;

// The local path of a location, or none for a file that lives elsewhere (sftp:, trash:, ...).
// Takes over the reference.
std::optional<std::filesystem::path> localPath(GFile *location);

// The menu of this kind for the selection, left to the files Kelo looks after; none when none of
// the files is left for a menu on items.
struct SelectionMenu {
    std::shared_ptr<const Paths> selection;
    Menu menu;
};
std::optional<SelectionMenu> selectionMenu(MenuKind kind, Paths selection);

// Stamps the selection by `item` when the host's item emits "activate".
void connectPick(gpointer hostItem, std::shared_ptr<const Paths> selection, const MenuItem &item);

// What a host's menu does with the items appended to it.
enum class MenuHold {
    releases, // takes a reference and gives it back when the menu goes
    keeps,    // takes a reference and never gives it back (libnautilus-extension 43 among others)
    borrows,  // takes none: the items must live as long as the menu
};
MenuHold menuHoldOf(gpointer menu, gpointer item, void (*append)(gpointer menu, gpointer item));
// Gives the references a menu holds that way back with the menu.
void releaseWithMenu(gpointer menu, GList *items);

// The "Tot 5 december 2026" line becomes "Kelo::tot-5-december-2026"; names repeat nowhere.
class ItemNames {
public:
    std::string pick(int tag) { return unique("pick-" + std::to_string(tag)); }
    std::string separator() { return unique("separator-" + std::to_string(m_separators++)); }
    std::string titled(const std::string &title);

private:
    std::string unique(const std::string &base);

    std::set<std::string> m_names;
    int m_separators = 0;
};

// A plain GObject type with the menu provider interface, on the host's type module or plugin.
template <typename Plugin>
GType registerProvider(Plugin *plugin,
                       GType (*registerType)(Plugin *, GType, const gchar *, const GTypeInfo *,
                                             GTypeFlags),
                       void (*addInterface)(Plugin *, GType, GType, const GInterfaceInfo *),
                       const char *name, GType menuProvider, GInterfaceInitFunc init) {
    GTypeInfo info{};
    info.class_size = sizeof(GObjectClass);
    info.instance_size = sizeof(GObject);
    const GType type = registerType(plugin, G_TYPE_OBJECT, name, &info, GTypeFlags{});
    GInterfaceInfo interface {};
    interface.interface_init = init;
    addInterface(plugin, type, menuProvider, &interface);
    return type;
}

// The host describes its menu API:
//   Item, Menu, FileInfo
//   Item *newItem(const char *name, const char *label)
//   Item *newSeparator(const char *name)    only where the host draws real separators
//   Menu *newMenu(); void append(Menu *, Item *); void setSubmenu(Item *, Menu *)
//   GFile *location(FileInfo *)             a new reference
template <typename Host> class HostMenu {
public:
    using Item = typename Host::Item;
    using Menu = typename Host::Menu;

    // For the host's get_file_items: NULL for no menu, never an exception.
    static GList *fileItems(GList *files) noexcept {
        try {
            Paths selection;
            for (GList *node = files; node; node = node->next)
                if (auto path = localPath(
                        Host::location(static_cast<typename Host::FileInfo *>(node->data))))
                    selection.push_back(std::move(*path));
            return items(MenuKind::contextualMenuForItems, std::move(selection));
        } catch (...) {
            return nullptr;
        }
    }

    // For the host's menu on a folder's background.
    static GList *folderItems(typename Host::FileInfo *folder) noexcept {
        try {
            Paths selection;
            if (auto path = localPath(Host::location(folder)))
                selection.push_back(std::move(*path));
            return items(MenuKind::contextualMenuForContainer, std::move(selection));
        } catch (...) {
            return nullptr;
        }
    }

private:
    struct Unref {
        void operator()(gpointer object) const { g_object_unref(object); }
    };
    using ItemPointer = std::unique_ptr<Item, Unref>;

    static constexpr bool drawsSeparators = requires { Host::newSeparator(""); };

    static GList *items(MenuKind kind, Paths selection) {
        const auto model = selectionMenu(kind, std::move(selection));
        if (!model)
            return nullptr;
        Translation translation{model->selection, {}};
        std::vector<ItemPointer> items = translation.children(model->menu);
        GList *list = nullptr;
        for (auto item = items.rbegin(); item != items.rend(); ++item)
            list = g_list_prepend(list, item->release());
        return list;
    }

    static MenuHold menuHold() {
        static const MenuHold hold = [] {
            return menuHoldOf(Host::newMenu(), Host::newItem("Kelo::probe", ""),
                              [](gpointer menu, gpointer item) {
                                  Host::append(static_cast<Menu *>(menu),
                                               static_cast<Item *>(item));
                              });
        }();
        return hold;
    }

    struct Translation {
        std::shared_ptr<const Paths> selection;
        ItemNames names;

        // Separators are left out where the host cannot draw one: a dimmed item in their place
        // reads as a disabled entry to a screen reader.
        std::vector<ItemPointer> children(const kelo::Menu &menu) {
            std::vector<ItemPointer> items;
            for (const auto &model : menu.items) {
                if (!model.separator)
                    items.push_back(item(model));
                else if constexpr (drawsSeparators)
                    items.emplace_back(Host::newSeparator(names.separator().c_str()));
            }
            return items;
        }

        ItemPointer item(const MenuItem &model) {
            const bool picks = model.action == MenuAction::pick;
            const std::string name = picks ? names.pick(model.tag) : names.titled(model.title);
            ItemPointer item(Host::newItem(name.c_str(), model.title.c_str()));
            if (!model.enabled)
                g_object_set(item.get(), "sensitive", FALSE, nullptr);
            if (model.submenu)
                setSubmenu(item.get(), *model.submenu);
            if (picks)
                connectPick(item.get(), selection, model);
            return item;
        }

        void setSubmenu(Item *item, const kelo::Menu &model) {
            std::unique_ptr<Menu, Unref> submenu(Host::newMenu());
            const MenuHold hold = menuHold();
            GList *held = nullptr;
            for (auto &child : children(model)) {
                Host::append(submenu.get(), child.get());
                if (hold == MenuHold::borrows)
                    g_object_ref(child.get());
                if (hold != MenuHold::releases)
                    held = g_list_prepend(held, child.get());
            }
            releaseWithMenu(submenu.get(), held);
            Host::setSubmenu(item, submenu.get());
        }
    };
};

} // namespace kelo::host
