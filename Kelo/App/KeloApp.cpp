#include "KeloApp.h"

#include "NotificationCenter.h"
#include "Reminder.h"
#include "Shelf.h"
#include "ShelfWindow.h"
#include "SingleInstance.h"
#include "SnapshotMode.h"
#include "TrayAvailability.h"
#include "TrayMenu.h"
#include "Updater.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>

#include <malloc.h>

namespace kelo {

KeloApp::KeloApp(LaunchArguments arguments, SingleInstance &instance)
    : m_arguments(std::move(arguments)), m_loginItem(QCoreApplication::applicationFilePath()),
      m_tray(std::make_unique<TrayMenu>(m_model.shelf(), m_loginItem)),
      m_startup(m_arguments,
                Startup::Steps{
                    .startReminder = [this] { startReminder(); },
                    .startUpdater = [this] { startUpdater(); },
                    .offerLoginItem = [this] { m_loginItem.offerLoginItemOnce(m_defaults); },
                    .showShelf = [this](bool review) { showShelf(review); },
                }) {
    connect(m_tray.get(), &TrayMenu::showShelfRequested, this, &KeloApp::showShelf);
    // Started again, or opened by the desktop: the window, without a review.
    connect(&instance, &SingleInstance::activated, this, [this] { showShelf(false); });
    // A gathering or a large change frees its work when it is done, and malloc keeps the freed
    // pages; a few seconds after the shelf settles they go back to the system.
    m_releaseMemory.setSingleShot(true);
    m_releaseMemory.setInterval(std::chrono::seconds(3));
    connect(&m_releaseMemory, &QTimer::timeout, this, [] { malloc_trim(0); });
    for (const auto change : {&Shelf::loadedChanged, &Shelf::itemsChanged})
        connect(&m_model.shelf(), change, &m_releaseMemory, qOverload<>(&QTimer::start));
    SnapshotMode::arm(m_arguments, this);
}

KeloApp::~KeloApp() = default;

void KeloApp::startReminder() {
    if (m_reminder)
        return;
    m_notifications = std::make_unique<FreedesktopNotificationCenter>();
    Reminder::Options options;
    options.testReminder = m_arguments.testReminder;
    m_reminder = std::make_unique<Reminder>(m_model.shelf(), m_defaults, *m_notifications, options);
    connect(m_reminder.get(), &Reminder::reviewRequested, this, [this] { showShelf(true); });
}

void KeloApp::startUpdater() {
    if (m_updater)
        return;
    m_updateNotifications = std::make_unique<FreedesktopNotificationCenter>();
    m_updater =
        std::make_unique<Updater>(Updater::builtInOptions(), m_defaults, *m_updateNotifications);
    m_tray->setUpdater(m_updater.get());
    // A click on "Kelo … is beschikbaar" shows what the update brings, with its install button.
    connect(m_updateNotifications.get(), &NotificationCenter::clicked, m_updater.get(),
            &Updater::checkForUpdates);
    m_updater->start();
}

void KeloApp::start() {
    m_tray->show();
    m_startup.run();
    // The tray icon comes on screen once the event loop runs.
    QTimer::singleShot(0, this, [this] { m_startup.trayIconShown(); });
}

ShelfWindow &KeloApp::window() {
    // Made when first shown: started at login, Kelo may sit in the tray all day without it.
    if (!m_window) {
        m_window = std::make_unique<ShelfWindow>(m_model.shelf());
        m_model.errorPresenter().setParent(m_window.get());
        // Qt finds an XEmbed tray under X11 only; StatusNotifier hosts the availability follows.
        m_trays = std::make_unique<TrayAvailability>(QDBusConnection::sessionBus(), [] {
            return QGuiApplication::platformName() == QLatin1String("xcb") &&
                   QSystemTrayIcon::isSystemTrayAvailable();
        });
        m_window->followTray(*m_trays);
    }
    return *m_window;
}

void KeloApp::showShelf(bool review) {
    window().present();
    if (review)
        m_model.shelf().requestReview();
}

} // namespace kelo
