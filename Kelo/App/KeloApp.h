#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

#include "AppModel.h"
#include "LaunchArguments.h"
#include "LoginItem.h"
#include "Startup.h"
#include "UserDefaults.h"

namespace kelo {

class NotificationCenter;
class Reminder;
class ShelfWindow;
class SingleInstance;
class TrayAvailability;
class TrayMenu;
class Updater;

// Kelo itself: the model, the tray item, the one window and the start-up steps, wired together.
class KeloApp : public QObject {
    Q_OBJECT

public:
    KeloApp(LaunchArguments arguments, SingleInstance &instance);
    ~KeloApp() override;

    // Runs the start: the tray item, the start-up steps, and then the launch-time show.
    void start();
    // Opens the window in front and, when asked, starts the review.
    void showShelf(bool review);

    AppModel &model() { return m_model; }
    // The shelf window, made when it is first asked for.
    ShelfWindow &window();
    TrayMenu &trayMenu() { return *m_tray; }
    // The weekly reminder, made at its step of the start.
    Reminder *reminder() { return m_reminder.get(); }
    // The updater, made at its step of the start.
    Updater *updater() { return m_updater.get(); }

private:
    void startReminder();
    void startUpdater();

    LaunchArguments m_arguments;
    UserDefaults m_defaults;
    LoginItem m_loginItem;
    AppModel m_model;
    std::unique_ptr<ShelfWindow> m_window;
    std::unique_ptr<TrayAvailability> m_trays;
    std::unique_ptr<TrayMenu> m_tray;
    std::unique_ptr<NotificationCenter> m_notifications;
    std::unique_ptr<Reminder> m_reminder;
    std::unique_ptr<NotificationCenter> m_updateNotifications;
    std::unique_ptr<Updater> m_updater;
    Startup m_startup;
    QTimer m_releaseMemory;
};

} // namespace kelo
