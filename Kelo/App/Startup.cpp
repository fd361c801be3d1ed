#include "Startup.h"

namespace kelo {

Startup::Startup(LaunchArguments arguments, Steps steps)
    : m_arguments(std::move(arguments)), m_steps(std::move(steps)) {
}

void Startup::run() {
    if (m_steps.startReminder)
        m_steps.startReminder();
    if (m_steps.startUpdater)
        m_steps.startUpdater();
    if (m_steps.offerLoginItem)
        m_steps.offerLoginItem();
}

void Startup::trayIconShown() {
    if (m_shown || launchedAsLoginItem())
        return;
    m_shown = true;
    if (m_steps.showShelf)
        m_steps.showShelf(m_arguments.review);
}

} // namespace kelo
