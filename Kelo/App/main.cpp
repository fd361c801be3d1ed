// kelo: best-before dates for files, in the system tray.

#include "KeloApp.h"
#include "LaunchArguments.h"
#include "SingleInstance.h"
#include "Translation.h"

#include <QApplication>

int main(int argc, char **argv) {
    // Read before Qt takes its own arguments (-platform, -style, ...) out of the list.
    const auto arguments = kelo::LaunchArguments::parse(argc, argv);

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("wex.dorvel"));
    QApplication::setApplicationName(QStringLiteral("Kelo"));
    QApplication::setDesktopFileName(QStringLiteral("wex.dorvel.Kelo"));
    kelo::installTranslation(application);
    // Closing the window leaves Kelo in the tray; only "Stop Kelo" ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    kelo::SingleInstance instance;
    if (instance.claim() == kelo::SingleInstance::Role::secondary)
        return 0;

    kelo::KeloApp kelo(arguments, instance);
    kelo.start();
    return application.exec();
}
