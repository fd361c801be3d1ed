// The Caja host: a menu provider that offers the "Kelo" menu on local files.

#include <libcaja-extension/caja-extension-types.h>
#include <libcaja-extension/caja-file-info.h>
#include <libcaja-extension/caja-menu-provider.h>

#include "HostMenu.h"

namespace {

// Caja menus have no separators.
struct Caja {
    using Item = CajaMenuItem;
    using Menu = CajaMenu;
    using FileInfo = CajaFileInfo;
    static Item *newItem(const char *name, const char *label) {
        return caja_menu_item_new(name, label, "", nullptr);
    }
    static Menu *newMenu() { return caja_menu_new(); }
    static void append(Menu *menu, Item *item) { caja_menu_append_item(menu, item); }
    static void setSubmenu(Item *item, Menu *menu) { caja_menu_item_set_submenu(item, menu); }
    static GFile *location(FileInfo *file) { return caja_file_info_get_location(file); }
};
using Menu = kelo::host::HostMenu<Caja>;

void initMenuProvider(gpointer interface, gpointer) {
    auto *menuProvider = static_cast<CajaMenuProviderIface *>(interface);
    menuProvider->get_file_items = [](CajaMenuProvider *, GtkWidget *, GList *files) {
        return Menu::fileItems(files);
    };
    menuProvider->get_background_items = [](CajaMenuProvider *, GtkWidget *, CajaFileInfo *folder) {
        return Menu::folderItems(folder);
    };
}

GType providerTypes[1];

} // namespace

extern "C" {

G_MODULE_EXPORT void caja_module_initialize(GTypeModule *module) {
    providerTypes[0] = kelo::host::registerProvider(
        module, &g_type_module_register_type, &g_type_module_add_interface, "KeloCajaMenuProvider",
        CAJA_TYPE_MENU_PROVIDER, &initMenuProvider);
}

G_MODULE_EXPORT void caja_module_list_types(const GType **types, int *count) {
    *types = providerTypes;
    *count = 1;
}

G_MODULE_EXPORT void caja_module_shutdown(void) {
}

} // extern "C"
