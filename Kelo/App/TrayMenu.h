#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

namespace kelo {

class LoginItem;
class Shelf;
class Updater;

// Kelo in the system tray: an icon that shows whether anything is past its date and how much,
// and the menu with the status line and Kelo's commands. Both follow the shelf, and the clock:
// at midnight files go past their date without the shelf changing.
class TrayMenu : public QObject {
    Q_OBJECT

public:
    TrayMenu(Shelf &shelf, LoginItem &loginItem, QObject *parent = nullptr);
    ~TrayMenu() override;

    QMenu &menu() { return m_menu; }
    QSystemTrayIcon &trayIcon() { return m_trayIcon; }
    // Shows the icon in the tray, when there is one.
    void show();

    QAction *statusLine() const { return m_status; }
    QAction *cleanUp() const { return m_cleanUp; }
    QAction *openShelf() const { return m_openShelf; }
    QAction *startAtLogin() const { return m_startAtLogin; }
    QAction *website() const { return m_website; }
    QAction *quit() const { return m_quit; }
    // Present once an updater is set; the install entry shows only when an update is available.
    QAction *checkForUpdates() const { return m_checkForUpdates; }
    QAction *installUpdate() const { return m_installUpdate; }

    // Adds the updater's entries to the menu.
    void setUpdater(Updater *updater);

    // Draws icon and menu again from the shelf.
    void refresh();

signals:
    // "Schap openen", a click on the icon, or (with the review) "Opruimen…".
    void showShelfRequested(bool review);

private:
    void scheduleMidnightRefresh();
    void refreshUpdateEntry();

    Shelf &m_shelf;
    LoginItem &m_loginItem;
    QMenu m_menu;
    QSystemTrayIcon m_trayIcon;
    QTimer m_midnight;
    long long m_shownCount = -1;
    QAction *m_status = nullptr;
    QAction *m_cleanUp = nullptr;
    QAction *m_openShelf = nullptr;
    QAction *m_startAtLogin = nullptr;
    QAction *m_website = nullptr;
    QAction *m_quit = nullptr;
    QPointer<Updater> m_updater;
    QAction *m_installUpdate = nullptr;
    QAction *m_checkForUpdates = nullptr;
};

} // namespace kelo
