// Loads each built file manager module through the host's real extension library and drives its
// menus the way the file manager does: the module's entry points, file infos for the selection,
// and item activation.

#include "ExpiryStamp.h"
#include "FinderSync.h"
#include "SelectionController.h"
#include "TagList.h"
#include "TemporaryFolder.h"
#include "Term.h"

#include <chrono>
#include <string>
#include <vector>

#include <sys/xattr.h>

#include <gmodule.h>
#include <gtk/gtk.h>
extern "C" {
#include <libcaja-extension/caja-menu-provider.h>
#include <libnemo-extension/nemo-menu-provider.h>
#include <nautilus-extension.h>
#include <thunarx/thunarx.h>
}

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

GFile *locationOf(gpointer file) {
    return G_FILE(g_object_ref(g_object_get_data(G_OBJECT(file), "location")));
}

// A type module that stays loaded, as the host's own does while the module is in use.
GType testModule() {
    static const GType type = [] {
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
    return type;
}

// The provider of the module at `path`, its entry points named `prefix`_initialize, ..., its
// type registered on a type module of `moduleType`.
GObject *moduleProvider(const char *path, const std::string &prefix, GType menuProvider,
                        GType moduleType = testModule()) {
    GModule *module = g_module_open(path, G_MODULE_BIND_LOCAL);
    EXPECT_NE(module, nullptr) << g_module_error();
    if (!module)
        return nullptr;
    // The hosts never unload an extension, and the dynamic type lives on in GType.
    g_module_make_resident(module);
    gpointer initialize = nullptr, listTypes = nullptr, shutdown = nullptr;
    EXPECT_TRUE(g_module_symbol(module, (prefix + "_initialize").c_str(), &initialize));
    EXPECT_TRUE(g_module_symbol(module, (prefix + "_list_types").c_str(), &listTypes));
    EXPECT_TRUE(g_module_symbol(module, (prefix + "_shutdown").c_str(), &shutdown));
    if (!initialize || !listTypes)
        return nullptr;
    auto *typeModule = static_cast<GTypeModule *>(g_object_new(moduleType, nullptr));
    g_type_module_use(typeModule);
    reinterpret_cast<void (*)(GTypeModule *)>(initialize)(typeModule);
    const GType *types = nullptr;
    int count = 0;
    reinterpret_cast<void (*)(const GType **, int *)>(listTypes)(&types, &count);
    EXPECT_EQ(count, 1);
    if (count != 1 || !g_type_is_a(types[0], menuProvider))
        return nullptr;
    return G_OBJECT(g_object_new(types[0], nullptr));
}

// Each host: how it loads the module, how a file reaches the module, and its menu API.
struct Nautilus {
    static GObject *provider() {
        return moduleProvider(KELO_NAUTILUS_MODULE, "nautilus_module", NAUTILUS_TYPE_MENU_PROVIDER);
    }
    static GType fileInfo() { return NAUTILUS_TYPE_FILE_INFO; }
    static void implementFileInfo(gpointer interface) {
        static_cast<NautilusFileInfoInterface *>(interface)->get_location =
            [](NautilusFileInfo *file) { return locationOf(file); };
    }
    static GList *fileItems(GObject *provider, GList *files) {
        return nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(provider), files);
    }
    static GList *folderItems(GObject *provider, GObject *folder) {
        return nautilus_menu_provider_get_background_items(NAUTILUS_MENU_PROVIDER(provider),
                                                           NAUTILUS_FILE_INFO(folder));
    }
    static GList *items(GObject *menu) { return nautilus_menu_get_items(NAUTILUS_MENU(menu)); }
    static void activate(GObject *item) { nautilus_menu_item_activate(NAUTILUS_MENU_ITEM(item)); }
};

struct Caja {
    static GObject *provider() {
        return moduleProvider(KELO_CAJA_MODULE, "caja_module", CAJA_TYPE_MENU_PROVIDER);
    }
    static GType fileInfo() { return CAJA_TYPE_FILE_INFO; }
    static void implementFileInfo(gpointer interface) {
        static_cast<CajaFileInfoIface *>(interface)->get_location = [](CajaFileInfo *file) {
            return locationOf(file);
        };
    }
    static GList *fileItems(GObject *provider, GList *files) {
        return caja_menu_provider_get_file_items(CAJA_MENU_PROVIDER(provider), nullptr, files);
    }
    static GList *folderItems(GObject *provider, GObject *folder) {
        return caja_menu_provider_get_background_items(CAJA_MENU_PROVIDER(provider), nullptr,
                                                       CAJA_FILE_INFO(folder));
    }
    static GList *items(GObject *menu) { return caja_menu_get_items(CAJA_MENU(menu)); }
    static void activate(GObject *item) { caja_menu_item_activate(CAJA_MENU_ITEM(item)); }
};

struct Nemo {
    static GObject *provider() {
        return moduleProvider(KELO_NEMO_MODULE, "nemo_module", NEMO_TYPE_MENU_PROVIDER);
    }
    static GType fileInfo() { return NEMO_TYPE_FILE_INFO; }
    static void implementFileInfo(gpointer interface) {
        static_cast<NemoFileInfoInterface *>(interface)->get_location = [](NemoFileInfo *file) {
            return locationOf(file);
        };
    }
    static GList *fileItems(GObject *provider, GList *files) {
        return nemo_menu_provider_get_file_items(NEMO_MENU_PROVIDER(provider), nullptr, files);
    }
    static GList *folderItems(GObject *provider, GObject *folder) {
        return nemo_menu_provider_get_background_items(NEMO_MENU_PROVIDER(provider), nullptr,
                                                       NEMO_FILE_INFO(folder));
    }
    static GList *items(GObject *menu) { return nemo_menu_get_items(NEMO_MENU(menu)); }
    static void activate(GObject *item) { nemo_menu_item_activate(NEMO_MENU_ITEM(item)); }
};

// Thunar's loader is a type module that is also a provider plugin. (Its own ignores THUNARX_DIRS
// for root, so the tests cannot rely on it.)
struct Thunar {
    static GObject *provider() {
        static const GType pluginType = [] {
            GTypeInfo info{};
            info.class_size = sizeof(GTypeModuleClass);
            info.instance_size = sizeof(GTypeModule);
            info.class_init = [](gpointer klass, gpointer) {
                auto *objectClass = static_cast<GObjectClass *>(klass);
                objectClass->get_property = [](GObject *, guint, GValue *value, GParamSpec *) {
                    g_value_set_boolean(value, TRUE);
                };
                objectClass->set_property = [](GObject *, guint, const GValue *, GParamSpec *) {};
                g_object_class_override_property(objectClass, 1, "resident");
            };
            const GType type =
                g_type_register_static(testModule(), "KeloTestThunarPlugin", &info, GTypeFlags{});
            GInterfaceInfo pluginInterface{};
            pluginInterface.interface_init = [](gpointer interface, gpointer) {
                auto *iface = static_cast<ThunarxProviderPluginIface *>(interface);
                iface->get_resident = [](const ThunarxProviderPlugin *) -> gboolean {
                    return TRUE;
                };
                iface->set_resident = [](ThunarxProviderPlugin *, gboolean) {};
                iface->register_type = [](ThunarxProviderPlugin *plugin, GType parent,
                                          const gchar *name, const GTypeInfo *typeInfo,
                                          GTypeFlags flags) {
                    return g_type_module_register_type(G_TYPE_MODULE(plugin), parent, name,
                                                       typeInfo, flags);
                };
                iface->add_interface = [](ThunarxProviderPlugin *plugin, GType instanceType,
                                          GType interfaceType, const GInterfaceInfo *added) {
                    g_type_module_add_interface(G_TYPE_MODULE(plugin), instanceType, interfaceType,
                                                added);
                };
            };
            g_type_add_interface_static(type, THUNARX_TYPE_PROVIDER_PLUGIN, &pluginInterface);
            return type;
        }();
        return moduleProvider(KELO_THUNAR_MODULE, "thunar_extension", THUNARX_TYPE_MENU_PROVIDER,
                              pluginType);
    }
    static GType fileInfo() { return THUNARX_TYPE_FILE_INFO; }
    static void implementFileInfo(gpointer interface) {
        static_cast<ThunarxFileInfoIface *>(interface)->get_location = [](ThunarxFileInfo *file) {
            return locationOf(file);
        };
    }
    // Thunar checks for its window, which the module never looks at; there is no display here.
    static ThunarxMenuProviderIface *menuProvider(GObject *provider) {
        return THUNARX_MENU_PROVIDER_GET_IFACE(provider);
    }
    static GList *fileItems(GObject *provider, GList *files) {
        return menuProvider(provider)->get_file_menu_items(THUNARX_MENU_PROVIDER(provider), nullptr,
                                                           files);
    }
    static GList *folderItems(GObject *provider, GObject *folder) {
        return menuProvider(provider)->get_folder_menu_items(THUNARX_MENU_PROVIDER(provider),
                                                             nullptr, THUNARX_FILE_INFO(folder));
    }
    static GList *items(GObject *menu) { return thunarx_menu_get_items(THUNARX_MENU(menu)); }
    static void activate(GObject *item) { thunarx_menu_item_activate(THUNARX_MENU_ITEM(item)); }
};

using ObjectList =
    std::unique_ptr<GList, decltype([](GList *list) { g_list_free_full(list, g_object_unref); })>;

template <typename Host> class FileManagerModule : public testing::Test {
protected:
    void SetUp() override {
        // Any warning or critical from GLib, the host's library or the module fails the run.
        g_log_set_always_fatal(
            static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
        static GObject *loaded = Host::provider();
        provider = loaded;
        ASSERT_NE(provider, nullptr);
    }

    // The file infos for these files: a path names a local file, anything else is a URI.
    static ObjectList fileInfos(const std::vector<std::filesystem::path> &files) {
        static const GType type = [] {
            GTypeInfo info{};
            info.class_size = sizeof(GObjectClass);
            info.instance_size = sizeof(GObject);
            const std::string name =
                "KeloTestFileInfo" + std::string(g_type_name(Host::fileInfo()));
            const GType fileInfo =
                g_type_register_static(G_TYPE_OBJECT, name.c_str(), &info, GTypeFlags{});
            GInterfaceInfo interface {};
            interface.interface_init = [](gpointer iface, gpointer) {
                Host::implementFileInfo(iface);
            };
            g_type_add_interface_static(fileInfo, Host::fileInfo(), &interface);
            return fileInfo;
        }();
        GList *list = nullptr;
        for (const auto &file : files) {
            GObject *info = G_OBJECT(g_object_new(type, nullptr));
            g_object_set_data_full(info, "location",
                                   file.is_absolute() ? g_file_new_for_path(file.c_str())
                                                      : g_file_new_for_uri(file.c_str()),
                                   g_object_unref);
            list = g_list_prepend(list, info);
        }
        return ObjectList(g_list_reverse(list));
    }

    static ObjectList fileItems(const std::vector<std::filesystem::path> &files) {
        return ObjectList(Host::fileItems(provider, fileInfos(files).get()));
    }

    // The entries of an item's submenu.
    static ObjectList submenu(gpointer item) {
        GObject *menu = nullptr;
        g_object_get(item, "menu", &menu, nullptr);
        if (!menu)
            return nullptr;
        ObjectList items(Host::items(menu));
        g_object_unref(menu);
        return items;
    }

    static inline GObject *provider = nullptr;
};

using Hosts = testing::Types<Nautilus, Caja, Nemo, Thunar>;
class HostNames {
public:
    template <typename Host> static std::string GetName(int) {
        if (std::is_same_v<Host, Nautilus>)
            return "Nautilus";
        if (std::is_same_v<Host, Caja>)
            return "Caja";
        return std::is_same_v<Host, Nemo> ? "Nemo" : "Thunar";
    }
};
TYPED_TEST_SUITE(FileManagerModule, Hosts, HostNames);

bool separates(GObject *item) {
    gboolean separator = FALSE;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(item), "separator"))
        g_object_get(item, "separator", &separator, nullptr);
    return separator;
}

std::string label(GObject *item) {
    gchar *label = nullptr;
    g_object_get(item, "label", &label, nullptr);
    std::string text = label ? label : "";
    g_free(label);
    return text;
}

} // namespace

// The Kelo item holds the core's menu for the local files, dimmed date included; a separator
// only where the host draws a real one (Nemo). Files that are not local are left out (with none
// left there is no menu, nor on a folder's background), and an entry acts on the files selected
// when its menu was built.
TYPED_TEST(FileManagerModule, MenuOfTheLocalFilesActsOnTheFilesItWasBuiltFor) {
    TemporaryFolder folder;
    // A shared stamp adds the dimmed date to the menu; a name need not be UTF-8.
    const auto first = folder.file("a-\xe9.txt"), second = folder.file("b.txt");
    for (const auto &file : {first, second})
        ASSERT_EQ(::setxattr(file.c_str(), kelo::stampAttributeName, "2026-12-05", 10, 0), 0);
    const auto items = this->fileItems({"sftp://host/x", first, second});
    ASSERT_EQ(g_list_length(items.get()), 1u);
    EXPECT_EQ(label(G_OBJECT(items->data)), "Kelo");

    kelo::SelectionController controller;
    kelo::FinderSync finderSync(controller, nullptr);
    controller.select({first, second});
    const auto model = finderSync.menuForMenuKind(kelo::MenuKind::contextualMenuForItems);
    ASSERT_TRUE(model.items.at(0).submenu);
    const auto &terms = model.items[0].submenu->items;
    ASSERT_FALSE(terms.at(0).enabled) << "no date line";
    const bool drawsSeparators = std::is_same_v<TypeParam, Nemo>;
    const auto entries = this->submenu(items->data);
    GList *entry = entries.get();
    GObject *month = nullptr;
    for (const auto &term : terms) {
        if (term.separator && !drawsSeparators)
            continue;
        ASSERT_NE(entry, nullptr) << "missing: " << term.title;
        auto *item = G_OBJECT(entry->data);
        gboolean sensitive = FALSE;
        g_object_get(item, "sensitive", &sensitive, nullptr);
        EXPECT_EQ(separates(item), term.separator);
        if (!term.separator) {
            EXPECT_EQ(label(item), term.title);
            EXPECT_EQ(bool(sensitive), term.enabled) << term.title;
        }
        if (term.action == kelo::MenuAction::pick && term.tag == int(kelo::Term::month))
            month = item;
        entry = entry->next;
    }
    EXPECT_EQ(entry, nullptr) << "more entries than the core's menu";

    EXPECT_EQ(this->fileItems({"sftp://host/x"}), nullptr);
    EXPECT_EQ(this->fileItems({}), nullptr);
    EXPECT_EQ(
        TypeParam::folderItems(this->provider, G_OBJECT(this->fileInfos({folder.path()})->data)),
        nullptr);

    const auto later = folder.file("c.txt");
    ASSERT_NE(this->fileItems({later}), nullptr);
    ASSERT_NE(month, nullptr);
    TypeParam::activate(month);
    const auto expected =
        kelo::expiryDate(kelo::Term::month, kelo::currentInstant(), kelo::Calendar::current());
    EXPECT_EQ(kelo::readStamp(first), expected);
    EXPECT_EQ(kelo::readStamp(second), expected);
    char tags[256] = {};
    const auto size = ::getxattr(first.c_str(), kelo::tagListAttributeName, tags, sizeof tags);
    EXPECT_TRUE(size > 0 && kelo::tagListContains({tags, size_t(size)}, kelo::stampTagName));
    EXPECT_FALSE(kelo::readStamp(later));
}

// A folder's worth of files selected at once: the menu comes quickly and its entry stamps them all.
TYPED_TEST(FileManagerModule, TenThousandFilesGetTheirMenuQuicklyAndAreAllStamped) {
    TemporaryFolder folder;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 10'000; ++i)
        files.push_back(folder.file("file-" + std::to_string(i)));
    const auto start = std::chrono::steady_clock::now();
    const auto items = this->fileItems(files);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_NE(items, nullptr);
    EXPECT_LT(elapsed, std::chrono::seconds(1));
    const auto entries = this->submenu(items->data);
    ASSERT_NE(entries, nullptr);
    TypeParam::activate(G_OBJECT(entries->data));
    EXPECT_TRUE(kelo::readStamp(files.front()) && kelo::readStamp(files.back()));
}
