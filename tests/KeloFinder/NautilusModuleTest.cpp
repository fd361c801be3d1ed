// Loads the built Nautilus module through the real extension library and drives its menus the
// way Nautilus does: a type module, file infos for the selection, and item activation.

#include "ExpiryStamp.h"
#include "TemporaryFolder.h"

#include <sys/xattr.h>

#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// A type module that is always loaded, as Nautilus's own is while the module is in use; and a
// file as Nautilus hands it to extensions, reduced to its location (all the module asks for).
GType testType(bool module) {
    static const GType moduleType = [] {
        GTypeInfo info{};
        info.class_size = sizeof(GTypeModuleClass);
        info.class_init = [](gpointer klass, gpointer) {
            static_cast<GTypeModuleClass *>(klass)->load = [](GTypeModule *) -> gboolean {
                return TRUE;
            };
            static_cast<GTypeModuleClass *>(klass)->unload = [](GTypeModule *) {};
        };
        info.instance_size = sizeof(GTypeModule);
        return g_type_register_static(G_TYPE_TYPE_MODULE, "KeloTestModule", &info, GTypeFlags{});
    }();
    static const GType fileInfoType = [] {
        GTypeInfo info{};
        info.class_size = sizeof(GObjectClass);
        info.instance_size = sizeof(GObject);
        const GType type =
            g_type_register_static(G_TYPE_OBJECT, "KeloTestFileInfo", &info, GTypeFlags{});
        GInterfaceInfo fileInfo{};
        fileInfo.interface_init = [](gpointer interface, gpointer) {
            static_cast<NautilusFileInfoInterface *>(interface)->get_location =
                [](NautilusFileInfo *file) {
                    return G_FILE(g_object_ref(g_object_get_data(G_OBJECT(file), "location")));
                };
        };
        g_type_add_interface_static(type, NAUTILUS_TYPE_FILE_INFO, &fileInfo);
        return type;
    }();
    return module ? moduleType : fileInfoType;
}

using ObjectList =
    std::unique_ptr<GList, decltype([](GList *list) { g_list_free_full(list, g_object_unref); })>;
using ItemList =
    std::unique_ptr<GList, decltype([](GList *list) { nautilus_menu_item_list_free(list); })>;

// The file infos for these files: a path names a local file, anything else is a URI.
ObjectList fileInfos(const Lines &files) {
    GList *list = nullptr;
    for (const auto &file : files) {
        GObject *info = G_OBJECT(g_object_new(testType(false), nullptr));
        g_object_set_data_full(info, "location",
                               file.starts_with('/') ? g_file_new_for_path(file.c_str())
                                                     : g_file_new_for_uri(file.c_str()),
                               g_object_unref);
        list = g_list_append(list, info);
    }
    return ObjectList(list);
}

} // namespace

// What the menu holds is the core's; here the module loads, leaves out files that are not
// local (with none left there is no menu, nor on a folder's background), and an entry acts on
// the files selected when its menu was built.
TEST(NautilusModule, MenuOfTheLocalFilesActsOnTheFilesItWasBuiltFor) {
    // Any warning or critical from GLib or the module fails the run.
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
    GModule *module = g_module_open(KELO_NAUTILUS_MODULE, G_MODULE_BIND_LOCAL);
    ASSERT_NE(module, nullptr) << g_module_error();
    // Nautilus never unloads an extension, and the dynamic type lives on in GType.
    g_module_make_resident(module);
    gpointer initialize = nullptr, listTypes = nullptr, shutdown = nullptr;
    ASSERT_TRUE(g_module_symbol(module, "nautilus_module_initialize", &initialize));
    ASSERT_TRUE(g_module_symbol(module, "nautilus_module_list_types", &listTypes));
    ASSERT_TRUE(g_module_symbol(module, "nautilus_module_shutdown", &shutdown));
    auto *typeModule = static_cast<GTypeModule *>(g_object_new(testType(true), nullptr));
    ASSERT_TRUE(g_type_module_use(typeModule));
    reinterpret_cast<void (*)(GTypeModule *)>(initialize)(typeModule);
    const GType *types = nullptr;
    int count = 0;
    reinterpret_cast<void (*)(const GType **, int *)>(listTypes)(&types, &count);
    ASSERT_EQ(count, 1);
    ASSERT_TRUE(g_type_is_a(types[0], NAUTILUS_TYPE_MENU_PROVIDER));
    auto *provider = static_cast<NautilusMenuProvider *>(g_object_new(types[0], nullptr));
    const auto fileItems = [&](const Lines &files) {
        return ItemList(nautilus_menu_provider_get_file_items(provider, fileInfos(files).get()));
    };

    TemporaryFolder folder;
    // A shared stamp adds the dimmed date to the menu; a name need not be UTF-8.
    const std::string first = folder.file("a-\xe9.txt"), second = folder.file("b.txt");
    for (const auto &file : {first, second})
        ASSERT_EQ(::setxattr(file.c_str(), kelo::stampAttributeName, "2026-12-05", 10, 0), 0);
    const auto items = fileItems({"sftp://host/x", first, second});
    ASSERT_NE(items, nullptr);
    // A term in the Kelo item's submenu, after the dimmed date and the rule below it.
    NautilusMenu *menu = nullptr;
    g_object_get(items->data, "menu", &menu, nullptr);
    const ItemList entries(nautilus_menu_get_items(menu));
    g_object_unref(menu);
    auto *month = static_cast<NautilusMenuItem *>(g_list_nth_data(entries.get(), 3));
    EXPECT_EQ(fileItems({"sftp://host/x"}), nullptr);
    EXPECT_EQ(fileItems({}), nullptr);
    EXPECT_EQ(nautilus_menu_provider_get_background_items(
                  provider, static_cast<NautilusFileInfo *>(fileInfos({folder.path()})->data)),
              nullptr);

    const std::string later = folder.file("c.txt");
    ASSERT_NE(fileItems({later}), nullptr);
    ASSERT_NE(month, nullptr);
    nautilus_menu_item_activate(month);
    EXPECT_TRUE(kelo::readStamp(first) && kelo::readStamp(second) && !kelo::readStamp(later));
    g_object_unref(provider);
    reinterpret_cast<void (*)()>(shutdown)();
}
