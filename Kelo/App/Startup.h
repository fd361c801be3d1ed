#pragma once

#include <functional>

#include "LaunchArguments.h"

namespace kelo {

// The steps of Kelo's start, in their order: the reminder, the updater and the login-item offer;
// then, once the tray icon is up, the window, unless Kelo was started at login (only the
// autostart entry passes --login-item).
class Startup {
public:
    struct Steps {
        std::function<void()> startReminder;
        std::function<void()> startUpdater;
        std::function<void()> offerLoginItem;
        std::function<void(bool review)> showShelf;
    };

    Startup(LaunchArguments arguments, Steps steps);

    // Starts the services.
    void run();
    // The tray icon is on screen: the launch-time show.
    void trayIconShown();

    bool launchedAsLoginItem() const { return m_arguments.loginItem; }

private:
    LaunchArguments m_arguments;
    Steps m_steps;
    bool m_shown = false;
};

} // namespace kelo
