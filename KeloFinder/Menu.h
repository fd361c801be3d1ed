#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kelo {

struct Menu;

// What choosing an item does. Items without an action only open a submenu or inform.
enum class MenuAction { none, pick };

// One entry of a toolkit-neutral menu; hosts translate it into their own widgets.
struct MenuItem {
    std::string title;
    MenuAction action = MenuAction::none;
    int tag = 0;
    bool enabled = true;
    bool separator = false;
    std::shared_ptr<const Menu> submenu;

    static MenuItem separatorItem() {
        MenuItem item;
        item.separator = true;
        return item;
    }
};

struct Menu {
    std::string title;
    std::vector<MenuItem> items;
};

} // namespace kelo
