// The Nautilus host: a menu provider that offers the "Kelo" menu on local files.

#include <glib-object.h>

// The extension header declares the module entry points without C linkage; GLib is already in.
extern "C" {
#include <nautilus-extension.h>
}

#include "HostMenu.h"

namespace {

// Nautilus menus have no separators.
struct Nautilus {
    using Item = NautilusMenuItem;
    using Menu = NautilusMenu;
    using FileInfo = NautilusFileInfo;
    static Item *newItem(const char *name, const char *label) {
        return nautilus_menu_item_new(name, label, "", nullptr);
    }
    static Menu *newMenu() { return nautilus_menu_new(); }
    static void append(Menu *menu, Item *item) { nautilus_menu_append_item(menu, item); }
    static void setSubmenu(Item *item, Menu *menu) { nautilus_menu_item_set_submenu(item, menu); }
    static GFile *location(FileInfo *file) { return nautilus_file_info_get_location(file); }
};
using Menu = kelo::host::HostMenu<Nautilus>;

void initMenuProvider(gpointer interface, gpointer) {
    auto *menuProvider = static_cast<NautilusMenuProviderInterface *>(interface);
    menuProvider->get_file_items = [](NautilusMenuProvider *, GList *files) {
        return Menu::fileItems(files);
    };
    menuProvider->get_background_items = [](NautilusMenuProvider *, NautilusFileInfo *folder) {
        return Menu::folderItems(folder);
    };
}

GType providerTypes[1];

} // namespace

extern "C" {

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule *module) {
    providerTypes[0] = kelo::host::registerProvider(
        module, &g_type_module_register_type, &g_type_module_add_interface,
        "KeloNautilusMenuProvider", NAUTILUS_TYPE_MENU_PROVIDER, &initMenuProvider);
}

G_MODULE_EXPORT void nautilus_module_list_types(const GType **types, int *count) {
    *types = providerTypes;
    *count = 1;
}

G_MODULE_EXPORT void nautilus_module_shutdown(void) {
}

} // extern "C"
