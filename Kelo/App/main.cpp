// kelo: best-before dates for files, in the system tray.

#include "KeloApp.h"
#include "LaunchArguments.h"
#include "SingleInstance.h"
#include "Translation.h"

#include <QApplication>

#include <malloc.h>

int main(int argc, char **argv) {
    // One malloc arena for every thread. The index keeps what its thread allocated for as long as
    // Kelo runs, and an arena of its own would keep megabytes of freed gathering work beside it;
    // the crawl threads wait on the disk, not on the allocator. Set before any thread starts.
    mallopt(M_ARENA_MAX, 1);
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
