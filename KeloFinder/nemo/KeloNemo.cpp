// The Nemo host: a menu provider that offers the "Kelo" menu on local files.

#include <libnemo-extension/nemo-extension-types.h>
#include <libnemo-extension/nemo-file-info.h>
#include <libnemo-extension/nemo-menu-provider.h>

#include "HostMenu.h"

namespace {

// Of these file managers only Nemo draws a real separator between extension items.
struct Nemo {
    using Item = NemoMenuItem;
    using Menu = NemoMenu;
    using FileInfo = NemoFileInfo;
    static Item *newItem(const char *name, const char *label) {
        return nemo_menu_item_new(name, label, "", nullptr);
    }
    static Item *newSeparator(const char *name) { return nemo_menu_item_new_separator(name); }
    static Menu *newMenu() { return nemo_menu_new(); }
    static void append(Menu *menu, Item *item) { nemo_menu_append_item(menu, item); }
    static void setSubmenu(Item *item, Menu *menu) { nemo_menu_item_set_submenu(item, menu); }
    static GFile *location(FileInfo *file) { return nemo_file_info_get_location(file); }
};
using Menu = kelo::host::HostMenu<Nemo>;

void initMenuProvider(gpointer interface, gpointer) {
    auto *menuProvider = static_cast<NemoMenuProviderInterface *>(interface);
    menuProvider->get_file_items = [](NemoMenuProvider *, GtkWidget *, GList *files) {
        return Menu::fileItems(files);
    };
    menuProvider->get_background_items = [](NemoMenuProvider *, GtkWidget *, NemoFileInfo *folder) {
        return Menu::folderItems(folder);
    };
}

GType providerTypes[1];

} // namespace

extern "C" {

G_MODULE_EXPORT void nemo_module_initialize(GTypeModule *module) {
    providerTypes[0] = kelo::host::registerProvider(
        module, &g_type_module_register_type, &g_type_module_add_interface, "KeloNemoMenuProvider",
        NEMO_TYPE_MENU_PROVIDER, &initMenuProvider);
}

G_MODULE_EXPORT void nemo_module_list_types(const GType **types, int *count) {
    *types = providerTypes;
    *count = 1;
}

G_MODULE_EXPORT void nemo_module_shutdown(void) {
}

} // extern "C"
