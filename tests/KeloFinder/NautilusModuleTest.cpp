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
void initTypeModuleClass(gpointer klass, gpointer) {
    auto *moduleClass = static_cast<GTypeModuleClass *>(klass);
    moduleClass->load = [](GTypeModule *) -> gboolean { return TRUE; };
    moduleClass->unload = [](GTypeModule *) {};
}

GType testTypeModuleType() {
    static const GType type = [] {
        GTypeInfo info{};
        info.class_size = sizeof(GTypeModuleClass);
        info.class_init = &initTypeModuleClass;
        info.instance_size = sizeof(GTypeModule);
        return g_type_register_static(G_TYPE_TYPE_MODULE, "KeloTestTypeModule", &info,
                                      GTypeFlags{});
    }();
    return type;
}

// A file as Nautilus hands it to extensions, reduced to its location.
struct TestFileInfo {
    GObject parent;
    GFile *location;
};

GFile *locationOf(NautilusFileInfo *info) {
    return reinterpret_cast<TestFileInfo *>(info)->location;
}

GObjectClass *fileInfoParentClass = nullptr;

void initFileInfoClass(gpointer klass, gpointer) {
    fileInfoParentClass = static_cast<GObjectClass *>(g_type_class_peek_parent(klass));
    static_cast<GObjectClass *>(klass)->finalize = [](GObject *object) {
        g_object_unref(reinterpret_cast<TestFileInfo *>(object)->location);
        fileInfoParentClass->finalize(object);
    };
}

void initFileInfoInterface(gpointer interface, gpointer) {
    auto *fileInfo = static_cast<NautilusFileInfoInterface *>(interface);
    fileInfo->is_gone = [](NautilusFileInfo *) -> gboolean { return FALSE; };
    fileInfo->get_name = [](NautilusFileInfo *info) {
        return g_file_get_basename(locationOf(info));
    };
    fileInfo->get_uri = [](NautilusFileInfo *info) { return g_file_get_uri(locationOf(info)); };
    fileInfo->get_uri_scheme = [](NautilusFileInfo *info) {
        return g_file_get_uri_scheme(locationOf(info));
    };
    fileInfo->get_location = [](NautilusFileInfo *info) {
        return static_cast<GFile *>(g_object_ref(locationOf(info)));
    };
}

GType testFileInfoType() {
    static const GType type = [] {
        GTypeInfo info{};
        info.class_size = sizeof(GObjectClass);
        info.class_init = &initFileInfoClass;
        info.instance_size = sizeof(TestFileInfo);
        const GType fileInfo =
            g_type_register_static(G_TYPE_OBJECT, "KeloTestFileInfo", &info, GTypeFlags{});
        GInterfaceInfo fileInfoInterface{};
        fileInfoInterface.interface_init = &initFileInfoInterface;
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

// One menu entry as Nautilus would show it; `item` stays valid while the returned list lives.
struct Entry {
    std::string name;
    std::string label;
    bool sensitive = true;
    std::vector<Entry> submenu;
    NautilusMenuItem *item = nullptr;
};

std::vector<Entry> entries(GList *items) {
    std::vector<Entry> result;
    for (GList *node = items; node; node = node->next) {
        Entry entry;
        entry.item = static_cast<NautilusMenuItem *>(node->data);
        gchar *name = nullptr;
        gchar *label = nullptr;
        gboolean sensitive = FALSE;
        NautilusMenu *menu = nullptr;
        g_object_get(entry.item, "name", &name, "label", &label, "sensitive", &sensitive, "menu",
                     &menu, nullptr);
        entry.name = name ? name : "";
        entry.label = label ? label : "";
        entry.sensitive = sensitive;
        g_free(name);
        g_free(label);
        if (menu) {
            GList *children = nautilus_menu_get_items(menu);
            entry.submenu = entries(children);
            nautilus_menu_item_list_free(children);
            g_object_unref(menu);
        }
        result.push_back(std::move(entry));
    }
    return result;
}

std::vector<std::string> labels(const std::vector<Entry> &menu) {
    std::vector<std::string> result;
    for (const auto &entry : menu)
        result.push_back(entry.label);
    return result;
}

const std::string separator = "\u2500\u2500\u2500\u2500\u2500\u2500";

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
        module = g_module_open(KELO_NAUTILUS_MODULE, G_MODULE_BIND_LOCAL);
        ASSERT_NE(module, nullptr) << g_module_error();
        // Nautilus never unloads an extension, and the dynamic type lives on in GType.
        g_module_make_resident(module);
        ASSERT_TRUE(symbol("nautilus_module_initialize", initialize));
        ASSERT_TRUE(symbol("nautilus_module_list_types", listTypes));
        ASSERT_TRUE(symbol("nautilus_module_shutdown", shutdown));

        typeModule = static_cast<GTypeModule *>(g_object_new(testTypeModuleType(), nullptr));
        ASSERT_TRUE(g_type_module_use(typeModule));
        initialize(typeModule);
        const GType *types = nullptr;
        int count = 0;
        listTypes(&types, &count);
        ASSERT_EQ(count, 1);
        providerType = types[0];
        ASSERT_TRUE(g_type_is_a(providerType, NAUTILUS_TYPE_MENU_PROVIDER));
    }

    static void TearDownTestSuite() {
        if (shutdown)
            shutdown();
        // The type module stays: GType keeps the provider type registered on it.
    }

    template <typename Function> static bool symbol(const char *name, Function *&function) {
        gpointer address = nullptr;
        if (!g_module_symbol(module, name, &address))
            return false;
        function = reinterpret_cast<Function *>(address);
        return true;
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

    // The submenu of the single "Kelo" item.
    static const std::vector<Entry> &keloMenu(const std::vector<Entry> &menu) {
        EXPECT_EQ(menu.size(), 1u);
        static const std::vector<Entry> none;
        return menu.empty() ? none : menu.front().submenu;
    }

    static const Entry *find(const std::vector<Entry> &menu, const std::string &label) {
        for (const auto &entry : menu)
            if (entry.label == label)
                return &entry;
        return nullptr;
    }

    static void setAttribute(const std::filesystem::path &file, const char *name,
                             const std::string &value) {
        ASSERT_EQ(::setxattr(file.c_str(), name, value.data(), value.size(), 0), 0);
    }

    static inline GModule *module = nullptr;
    static inline void (*initialize)(GTypeModule *) = nullptr;
    static inline void (*listTypes)(const GType **, int *) = nullptr;
    static inline void (*shutdown)() = nullptr;
    static inline GTypeModule *typeModule = nullptr;
    static inline GType providerType = 0;

    ScopedEnvironment locale{"LC_ALL", "nl_NL.UTF-8"};
    ScopedEnvironment zone{"TZ", "Europe/Amsterdam"};
    TemporaryFolder folder;
    NautilusMenuProvider *provider = nullptr;
};

} // namespace

TEST_F(NautilusModuleTest, FileMenuIsOneKeloItemWithTheTermsAndKeepForever) {
    const auto files = fileInfos({local(folder.file("rapport.pdf"))});
    const auto items = fileItems(files);
    const auto menu = entries(items.get());

    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].label, "Kelo");
    EXPECT_EQ(menu[0].name, "Kelo::kelo");
    EXPECT_TRUE(menu[0].sensitive);
    const auto &kelo = menu[0].submenu;
    EXPECT_EQ(labels(kelo), (std::vector<std::string>{"1 week", "1 maand", "3 maanden", "1 jaar",
                                                      separator, "Altijd houden"}));
    std::vector<std::string> names;
    for (const auto &entry : kelo) {
        EXPECT_EQ(entry.sensitive, entry.label != separator) << entry.label;
        EXPECT_TRUE(entry.submenu.empty()) << entry.label;
        names.push_back(entry.name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"Kelo::pick-0", "Kelo::pick-1", "Kelo::pick-2",
                                        "Kelo::pick-3", "Kelo::separator-0", "Kelo::pick--1"}));
}

TEST_F(NautilusModuleTest, FileMenuShowsTheExpiryDateOnlyWhenAllFilesShareIt) {
    const auto first = folder.file("a.txt");
    const auto second = folder.file("b.txt");
    setAttribute(first, kelo::stampAttributeName, "2026-12-05");
    setAttribute(second, kelo::stampAttributeName, "2026-12-05");
    {
        const auto items = fileItems(fileInfos({local(first), local(second)}));
        const auto menu = entries(items.get());
        const auto &kelo = keloMenu(menu);
        ASSERT_EQ(kelo.size(), 8u);
        EXPECT_EQ(kelo[0].label, "Tot 5 december 2026");
        EXPECT_FALSE(kelo[0].sensitive);
        EXPECT_EQ(kelo[1].label, separator);
        EXPECT_FALSE(kelo[1].sensitive);
        EXPECT_EQ(kelo[2].label, "1 week");
        EXPECT_TRUE(kelo[2].sensitive);
    }

    setAttribute(second, kelo::stampAttributeName, "2026-12-06");
    const auto items = fileItems(fileInfos({local(first), local(second)}));
    const auto menu = entries(items.get());
    const auto &kelo = keloMenu(menu);
    ASSERT_EQ(kelo.size(), 6u);
    EXPECT_EQ(kelo[0].label, "1 week");
}

TEST_F(NautilusModuleTest, BackgroundMenuIsEmpty) {
    const auto folderInfo = fileInfos({local(folder.path())});
    EXPECT_EQ(nautilus_menu_provider_get_background_items(
                  provider, static_cast<NautilusFileInfo *>(folderInfo.get()->data)),
              nullptr);
}

TEST_F(NautilusModuleTest, NonLocalFilesAreLeftOutOfTheSelection) {
    EXPECT_EQ(fileItems(fileInfos({g_file_new_for_uri("sftp://host/x")})), nullptr);
    EXPECT_EQ(fileItems(ObjectList()), nullptr) << "an empty selection";

    // With the remote file in the selection the shared date would be unknown; without it the
    // local file's date shows.
    const auto file = folder.file("notities.txt");
    setAttribute(file, kelo::stampAttributeName, "2026-12-05");
    const auto items = fileItems(fileInfos({g_file_new_for_uri("sftp://host/x"), local(file)}));
    const auto menu = entries(items.get());
    const auto &kelo = keloMenu(menu);
    ASSERT_FALSE(kelo.empty());
    EXPECT_EQ(kelo[0].label, "Tot 5 december 2026");
}

TEST_F(NautilusModuleTest, ActivatingATermStampsEachFileSelectedWhenTheMenuWasBuilt) {
    const auto first = folder.file("a.txt");
    const auto second = folder.file("b.txt");
    const auto later = folder.file("c.txt");
    const auto items = fileItems(fileInfos({local(first), local(second)}));
    const auto menu = entries(items.get());
    // A newer menu for another selection does not change what the first one acts on.
    const auto otherItems = fileItems(fileInfos({local(later)}));
    ASSERT_NE(otherItems, nullptr);

    const Entry *month = find(keloMenu(menu), "1 maand");
    ASSERT_NE(month, nullptr);
    nautilus_menu_item_activate(month->item);

    const auto expected =
        kelo::expiryDate(kelo::Term::month, kelo::currentInstant(), kelo::Calendar::current());
    for (const auto &file : {first, second}) {
        EXPECT_EQ(kelo::readStamp(file), expected) << file;
        const auto tags = kelo::readTagNames(file);
        ASSERT_TRUE(tags) << file;
        EXPECT_EQ(*tags, std::vector<std::string>{"Kelo"}) << file;
    }
    EXPECT_FALSE(kelo::readStamp(later));
}

TEST_F(NautilusModuleTest, ActivatingKeepForeverClearsTheStampAndKeepsOtherTags) {
    const auto file = folder.file("contract.pdf");
    setAttribute(file, kelo::stampAttributeName, "2026-12-05");
    setAttribute(file, "user.xdg.tags", "Werk,Kelo");
    const auto items = fileItems(fileInfos({local(file)}));
    const auto menu = entries(items.get());

    const Entry *keep = find(keloMenu(menu), "Altijd houden");
    ASSERT_NE(keep, nullptr);
    nautilus_menu_item_activate(keep->item);

    EXPECT_FALSE(kelo::readStamp(file));
    EXPECT_EQ(::getxattr(file.c_str(), kelo::stampAttributeName, nullptr, 0), -1);
    const auto tags = kelo::readTagNames(file);
    ASSERT_TRUE(tags);
    EXPECT_EQ(*tags, std::vector<std::string>{"Werk"});
}
