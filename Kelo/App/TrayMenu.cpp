#include "TrayMenu.h"

#include "Calendar.h"
#include "Clock.h"
#include "LoginItem.h"
#include "Shelf.h"
#include "TrayIconPainter.h"
#include "Updater.h"
#include "Website.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QSignalBlocker>
#include <QUrl>

namespace kelo {

TrayMenu::TrayMenu(Shelf &shelf, LoginItem &loginItem, QObject *parent)
    : QObject(parent), m_shelf(shelf), m_loginItem(loginItem) {
    m_status = m_menu.addAction(QString());
    m_status->setEnabled(false);
    m_cleanUp = m_menu.addAction(tr("Opruimen…"), this, [this] { emit showShelfRequested(true); });
    m_openShelf =
        m_menu.addAction(tr("Schap openen"), this, [this] { emit showShelfRequested(false); });
    m_menu.addSeparator();
    // Checked as the entry stands: a choice that could not be written (and is logged) leaves
    // the mark as it was.
    m_startAtLogin = m_menu.addAction(tr("Start bij inloggen"));
    m_startAtLogin->setCheckable(true);
    m_startAtLogin->setChecked(m_loginItem.isEnabled());
    connect(m_startAtLogin, &QAction::toggled, this, [this](bool enabled) {
        if (m_loginItem.setLoginItem(enabled))
            return;
        const QSignalBlocker blocker(m_startAtLogin);
        m_startAtLogin->setChecked(m_loginItem.isEnabled());
    });
    const QUrl website{QString::fromLatin1(websiteAddress)};
    m_website = m_menu.addAction(website.host(), [website] { QDesktopServices::openUrl(website); });
    m_menu.addSeparator();
    m_quit = m_menu.addAction(tr("Stop Kelo"), [] { QCoreApplication::quit(); });
    m_quit->setShortcut(QKeySequence::Quit);

    m_trayIcon.setContextMenu(&m_menu);
    m_trayIcon.setToolTip(QStringLiteral("Kelo"));
    // A left click opens the shelf, as most trays expect.
    connect(&m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    emit showShelfRequested(false);
            });
    connect(&m_shelf, &Shelf::itemsChanged, this, &TrayMenu::refresh);
    connect(&m_menu, &QMenu::aboutToShow, this, &TrayMenu::refresh);
    m_midnight.setSingleShot(true);
    connect(&m_midnight, &QTimer::timeout, this, &TrayMenu::refresh);
    refresh();
}

TrayMenu::~TrayMenu() = default;

void TrayMenu::show() {
    m_trayIcon.show();
}

void TrayMenu::setUpdater(Updater *updater) {
    if (m_updater || !updater)
        return;
    m_updater = updater;
    m_installUpdate = new QAction(&m_menu);
    connect(m_installUpdate, &QAction::triggered, updater, &Updater::installAvailableUpdate);
    m_checkForUpdates = new QAction(tr("Zoek naar updates…"), &m_menu);
    connect(m_checkForUpdates, &QAction::triggered, updater, &Updater::checkForUpdates);
    m_menu.insertActions(m_startAtLogin, {m_installUpdate, m_checkForUpdates});
    connect(updater, &Updater::availableUpdateChanged, this, &TrayMenu::refreshUpdateEntry);
    refreshUpdateEntry();
}

void TrayMenu::refreshUpdateEntry() {
    const auto update = m_updater ? m_updater->availableUpdate() : std::nullopt;
    m_installUpdate->setVisible(update.has_value());
    if (update)
        m_installUpdate->setText(tr("Update naar %1 installeren…").arg(update->displayVersion()));
}

void TrayMenu::refresh() {
    const auto expired = static_cast<long long>(m_shelf.run(Freshness::expired).size());
    const QString status =
        expired < 1 ? tr("Alles is nog vers") : tr("%1 over de datum").arg(expired);
    m_status->setText(status);
    m_cleanUp->setEnabled(expired > 0);
    m_trayIcon.setToolTip(QStringLiteral("Kelo — ") + status);
    if (expired != m_shownCount) {
        m_trayIcon.setIcon(kelo::trayIcon(expired));
        m_shownCount = expired;
    }
    scheduleMidnightRefresh();
}

void TrayMenu::scheduleMidnightRefresh() {
    m_midnight.start(timeUntilNextDay(Clock::now()));
}

} // namespace kelo
