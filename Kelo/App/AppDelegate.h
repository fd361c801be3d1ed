#pragma once

#include <functional>

#include "LaunchArguments.h"

namespace kelo {

// The steps of Kelo's start, in their order: was this a start at login; then the reminder, the
// updater and the login-item offer; then, once the tray item is up, the window (unless Kelo
// started at login).
class AppDelegate {
public:
    struct Steps {
        std::function<void()> startReminder;
        std::function<void()> startUpdater;
        std::function<void()> offerLoginItem;
        std::function<void(bool review)> showShelf;
    };

    AppDelegate(LaunchArguments arguments, Steps steps);

    void willFinishLaunching();
    void didFinishLaunching();
    // The tray item is on screen: the launch-time show.
    void labelAppeared();

    bool launchedAsLoginItem() const { return m_launchedAsLoginItem; }

private:
    LaunchArguments m_arguments;
    Steps m_steps;
    bool m_launchedAsLoginItem = false;
    bool m_shown = false;
};

} // namespace kelo
