// Loads the built Nautilus module through the real extension library and drives its menus the
// way Nautilus does: a type module, file infos for the selection, and item activation.

#include "Calendar.h"
#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"
#include "Term.h"

#include <memory>
#include <string>
#include <vector>

#include <sys/xattr.h>

#include <gio/gio.h>
#include <glib-object.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <gtest/gtest.h>

namespace {

// A type module that is always loaded, as Nautilus's own is while the module is in use.
GType testTypeModuleType() {
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
        return g_type_register_static(G_TYPE_TYPE_MODULE, "KeloTestTypeModule", &info,
                                      GTypeFlags{});
    }();
    return type;
}

// A file as Nautilus hands it to extensions, reduced to its location (all the module asks for).
struct TestFileInfo {
    GObject parent;
    GFile *location;
};

GObjectClass *fileInfoParentClass = nullptr;

GType testFileInfoType() {
    static const GType type = [] {
        GTypeInfo info{};
        info.class_size = sizeof(GObjectClass);
        info.class_init = [](gpointer klass, gpointer) {
            fileInfoParentClass = static_cast<GObjectClass *>(g_type_class_peek_parent(klass));
            static_cast<GObjectClass *>(klass)->finalize = [](GObject *object) {
                g_object_unref(reinterpret_cast<TestFileInfo *>(object)->location);
                fileInfoParentClass->finalize(object);
            };
        };
        info.instance_size = sizeof(TestFileInfo);
        const GType fileInfo =
            g_type_register_static(G_TYPE_OBJECT, "KeloTestFileInfo", &info, GTypeFlags{});
        GInterfaceInfo fileInfoInterface{};
        fileInfoInterface.interface_init = [](gpointer interface, gpointer) {
            static_cast<NautilusFileInfoInterface *>(interface)->get_location =
                [](NautilusFileInfo *file) {
                    return static_cast<GFile *>(
                        g_object_ref(reinterpret_cast<TestFileInfo *>(file)->location));
                };
        };
        g_type_add_interface_static(fileInfo, NAUTILUS_TYPE_FILE_INFO, &fileInfoInterface);
        return fileInfo;
    }();
    return type;
}

struct ListDeleter {
    void operator()(GList *list) const { g_list_free_full(list, g_object_unref); }
};
using ObjectList = std::unique_ptr<GList, ListDeleter>;

// The file infos for these locations; takes over the GFile references.
ObjectList fileInfos(std::vector<GFile *> locations) {
    GList *list = nullptr;
    for (GFile *location : locations) {
        auto *info = static_cast<TestFileInfo *>(g_object_new(testFileInfoType(), nullptr));
        info->location = location;
        list = g_list_append(list, info);
    }
    return ObjectList(list);
}

GFile *local(const std::filesystem::path &path) {
    return g_file_new_for_path(path.c_str());
}

// A menu as Nautilus would show it, an entry a line: "<label> (<name>)", "off" when not
// sensitive, submenus indented below their item. `found` is set to the item labelled `wanted`.
std::vector<std::string> entries(GList *items, const std::string &wanted = {},
                                 NautilusMenuItem **found = nullptr, std::string indent = {}) {
    std::vector<std::string> lines;
    for (GList *node = items; node; node = node->next) {
        gchar *name = nullptr, *label = nullptr;
        gboolean sensitive = FALSE;
        NautilusMenu *menu = nullptr;
        g_object_get(node->data, "name", &name, "label", &label, "sensitive", &sensitive, "menu",
                     &menu, nullptr);
        if (found && label && label == wanted)
            *found = static_cast<NautilusMenuItem *>(node->data);
        lines.push_back(indent + (label ? label : "") + " (" + (name ? name : "") + ")" +
                        (sensitive ? "" : " off"));
        g_free(name);
        g_free(label);
        if (menu) {
            GList *children = nautilus_menu_get_items(menu);
            for (auto &line : entries(children, wanted, found, indent + "  "))
                lines.push_back(std::move(line));
            nautilus_menu_item_list_free(children);
            g_object_unref(menu);
        }
    }
    return lines;
}

struct ItemListDeleter {
    void operator()(GList *list) const { nautilus_menu_item_list_free(list); }
};
using ItemList = std::unique_ptr<GList, ItemListDeleter>;

class NautilusModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Any warning or critical from GLib or the module fails the run.
        g_log_set_always_fatal(
            static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
        GModule *module = g_module_open(KELO_NAUTILUS_MODULE, G_MODULE_BIND_LOCAL);
        ASSERT_NE(module, nullptr) << g_module_error();
        // Nautilus never unloads an extension, and the dynamic type lives on in GType.
        g_module_make_resident(module);
        gpointer initialize = nullptr, listTypes = nullptr, shutdown = nullptr;
        ASSERT_TRUE(g_module_symbol(module, "nautilus_module_initialize", &initialize));
        ASSERT_TRUE(g_module_symbol(module, "nautilus_module_list_types", &listTypes));
        ASSERT_TRUE(g_module_symbol(module, "nautilus_module_shutdown", &shutdown));
        shutdownModule = reinterpret_cast<void (*)()>(shutdown);

        auto *typeModule = static_cast<GTypeModule *>(g_object_new(testTypeModuleType(), nullptr));
        ASSERT_TRUE(g_type_module_use(typeModule));
        reinterpret_cast<void (*)(GTypeModule *)>(initialize)(typeModule);
        const GType *types = nullptr;
        int count = 0;
        reinterpret_cast<void (*)(const GType **, int *)>(listTypes)(&types, &count);
        ASSERT_EQ(count, 1);
        providerType = types[0];
        ASSERT_TRUE(g_type_is_a(providerType, NAUTILUS_TYPE_MENU_PROVIDER));
        // The type module stays: GType keeps the provider type registered on it.
    }
    static void TearDownTestSuite() {
        if (shutdownModule)
            shutdownModule();
    }

    void SetUp() override {
        ASSERT_NE(providerType, GType{});
        provider = static_cast<NautilusMenuProvider *>(g_object_new(providerType, nullptr));
    }
    void TearDown() override {
        if (provider)
            g_object_unref(provider);
    }

    ItemList fileItems(const ObjectList &files) const {
        return ItemList(nautilus_menu_provider_get_file_items(provider, files.get()));
    }

    static void setAttribute(const std::filesystem::path &file, const char *name,
                             const std::string &value) {
        ASSERT_EQ(::setxattr(file.c_str(), name, value.data(), value.size(), 0), 0);
    }

    static inline void (*shutdownModule)() = nullptr;
    static inline GType providerType = 0;

    ScopedEnvironment locale{"LC_ALL", "nl_NL.UTF-8"};
    ScopedEnvironment zone{"TZ", "Europe/Amsterdam"};
    TemporaryFolder folder;
    NautilusMenuProvider *provider = nullptr;
};

// The one Kelo item and its menu: the date line when given, the terms, "Altijd houden"; the rules
// (Nautilus has no separators) numbered in order, as every item's name is unique.
std::vector<std::string> keloMenu(const std::string &until = {}) {
    int rules = 0;
    const auto rule = [&] {
        return "  \u2500\u2500\u2500\u2500\u2500\u2500 (Kelo::separator-" +
               std::to_string(rules++) + ") off";
    };
    std::vector<std::string> menu = {"Kelo (Kelo::kelo)"};
    if (!until.empty())
        menu.insert(menu.end(), {"  " + until, rule()});
    menu.insert(menu.end(), {"  1 week (Kelo::pick-0)", "  1 maand (Kelo::pick-1)",
                             "  3 maanden (Kelo::pick-2)", "  1 jaar (Kelo::pick-3)", rule(),
                             "  Altijd houden (Kelo::pick--1)"});
    return menu;
}

} // namespace

// One Kelo item with the terms and "Altijd houden"; the date, greyed out, only when every local
// file in the selection shares it; files that are not local are left out of the selection; the
// menu of a folder's background is empty.
TEST_F(NautilusModuleTest, FileMenuIsOneKeloItemWithTheSharedDateTheTermsAndKeepForever) {
    const auto first = folder.file("a.txt");
    const auto second = folder.file("b.txt");
    EXPECT_EQ(entries(fileItems(fileInfos({local(first)})).get()), keloMenu());
    setAttribute(first, kelo::stampAttributeName, "2026-12-05");
    setAttribute(second, kelo::stampAttributeName, "2026-12-05");
    const auto selection =
        fileInfos({g_file_new_for_uri("sftp://host/x"), local(first), local(second)});
    EXPECT_EQ(entries(fileItems(selection).get()),
              keloMenu("Tot 5 december 2026 (Kelo::tot-5-december-2026) off"));
    setAttribute(second, kelo::stampAttributeName, "2026-12-06");
    EXPECT_EQ(entries(fileItems(fileInfos({local(first), local(second)})).get()), keloMenu());

    EXPECT_EQ(fileItems(fileInfos({g_file_new_for_uri("sftp://host/x")})), nullptr);
    EXPECT_EQ(fileItems(ObjectList()), nullptr) << "an empty selection";
    const auto folderInfo = fileInfos({local(folder.path())});
    EXPECT_EQ(nautilus_menu_provider_get_background_items(
                  provider, static_cast<NautilusFileInfo *>(folderInfo.get()->data)),
              nullptr);
}

// An entry acts on the files selected when its menu was built, not on a newer selection; keeping
// forever clears the stamp and keeps the other tags.
TEST_F(NautilusModuleTest, ActivatingAnEntryChangesTheFilesSelectedWhenTheMenuWasBuilt) {
    const auto first = folder.file("a.txt");
    const auto second = folder.file("b.txt");
    const auto later = folder.file("c.txt");
    const auto items = fileItems(fileInfos({local(first), local(second)}));
    NautilusMenuItem *month = nullptr;
    entries(items.get(), "1 maand", &month);
    ASSERT_NE(month, nullptr);
    const auto otherItems = fileItems(fileInfos({local(later)}));
    ASSERT_NE(otherItems, nullptr);
    nautilus_menu_item_activate(month);

    const auto expected =
        kelo::expiryDate(kelo::Term::month, kelo::currentInstant(), kelo::Calendar::current());
    for (const auto &file : {first, second}) {
        EXPECT_EQ(kelo::readStamp(file), expected) << file;
        EXPECT_EQ(kelo::readTagNames(file).value(), std::vector<std::string>{"Kelo"}) << file;
    }
    EXPECT_FALSE(kelo::readStamp(later));

    setAttribute(first, "user.xdg.tags", "Werk,Kelo");
    const auto keepItems = fileItems(fileInfos({local(first)}));
    NautilusMenuItem *keep = nullptr;
    entries(keepItems.get(), "Altijd houden", &keep);
    ASSERT_NE(keep, nullptr);
    nautilus_menu_item_activate(keep);
    EXPECT_FALSE(kelo::readStamp(first));
    EXPECT_EQ(::getxattr(first.c_str(), kelo::stampAttributeName, nullptr, 0), -1);
    EXPECT_EQ(kelo::readTagNames(first).value(), std::vector<std::string>{"Werk"});
    EXPECT_TRUE(kelo::readStamp(second));
}
