// The Thunar host: a menu provider that offers the "Kelo" menu on local files.

#include <gtk/gtk.h>

// Some of the extension headers declare their functions without C linkage; GLib and GTK are
// already in.
extern "C" {
#include <thunarx/thunarx.h>
}

#include "HostMenu.h"

namespace {

// Thunar menus have no separators.
struct Thunar {
    using Item = ThunarxMenuItem;
    using Menu = ThunarxMenu;
    using FileInfo = ThunarxFileInfo;
    static Item *newItem(const char *name, const char *label) {
        return thunarx_menu_item_new(name, label, "", nullptr);
    }
    static Menu *newMenu() { return thunarx_menu_new(); }
    static void append(Menu *menu, Item *item) { thunarx_menu_append_item(menu, item); }
    static void setSubmenu(Item *item, Menu *menu) { thunarx_menu_item_set_menu(item, menu); }
    static GFile *location(FileInfo *file) { return thunarx_file_info_get_location(file); }
};
using Menu = kelo::host::HostMenu<Thunar>;

void initMenuProvider(gpointer interface, gpointer) {
    auto *menuProvider = static_cast<ThunarxMenuProviderIface *>(interface);
    menuProvider->get_file_menu_items = [](ThunarxMenuProvider *, GtkWidget *, GList *files) {
        return Menu::fileItems(files);
    };
    menuProvider->get_folder_menu_items = [](ThunarxMenuProvider *, GtkWidget *,
                                             ThunarxFileInfo *folder) {
        return Menu::folderItems(folder);
    };
}

GType providerTypes[1];

} // namespace

extern "C" {

G_MODULE_EXPORT void thunar_extension_initialize(ThunarxProviderPlugin *plugin) {
    // Thunar unloads a module that no window uses; the core's statics and ICU are not made to be
    // unloaded and loaded again.
    thunarx_provider_plugin_set_resident(plugin, TRUE);
    providerTypes[0] = kelo::host::registerProvider(
        plugin, &thunarx_provider_plugin_register_type, &thunarx_provider_plugin_add_interface,
        "KeloThunarMenuProvider", THUNARX_TYPE_MENU_PROVIDER, &initMenuProvider);
}

G_MODULE_EXPORT void thunar_extension_list_types(const GType **types, gint *count) {
    *types = providerTypes;
    *count = 1;
}

G_MODULE_EXPORT void thunar_extension_shutdown(void) {
}

} // extern "C"
