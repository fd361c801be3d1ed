#include "AppDelegate.h"

namespace kelo {

AppDelegate::AppDelegate(LaunchArguments arguments, Steps steps)
    : m_arguments(std::move(arguments)), m_steps(std::move(steps)) {
}

void AppDelegate::willFinishLaunching() {
    // Only the autostart entry passes --login-item.
    m_launchedAsLoginItem = m_arguments.loginItem;
}

void AppDelegate::didFinishLaunching() {
    if (m_steps.startReminder)
        m_steps.startReminder();
    if (m_steps.startUpdater)
        m_steps.startUpdater();
    if (m_steps.offerLoginItem)
        m_steps.offerLoginItem();
}

void AppDelegate::labelAppeared() {
    if (m_shown || m_launchedAsLoginItem)
        return;
    m_shown = true;
    if (m_steps.showShelf)
        m_steps.showShelf(m_arguments.review);
}

} // namespace kelo
