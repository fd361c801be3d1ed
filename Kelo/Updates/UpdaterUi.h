#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "Appcast.h"

namespace kelo {

// What the updater shows the user and hands to the desktop. The default puts up message boxes,
// a progress dialog and opens files with the desktop's handler; tests put their own in its place.
// Every call returns at once, also while a box is on screen: they come from network answers.
class UpdaterUi {
public:
    virtual ~UpdaterUi() = default;

    // An update was found on request. `answer` is called once, later, when the user has answered:
    // true installs it.
    virtual void showUpdate(const AppcastItem &item, const QString &currentVersion,
                            std::function<void(bool install)> answer) = 0;
    // A check on request found nothing newer.
    virtual void showUpToDate(const QString &currentVersion) = 0;
    // A check on request, or an installation, went wrong.
    virtual void showError(const QString &title, const QString &message) = 0;

    // The download of an update: `cancel` stops it. `total` is in bytes.
    virtual void startProgress(const QString &label, qint64 total,
                               std::function<void()> cancel) = 0;
    virtual void setProgress(qint64 received) = 0;
    virtual void endProgress() = 0;

    // Hands a checked download to the desktop; false when nothing took it.
    virtual bool open(const QString &path) = 0;

    // Message boxes, a progress dialog and QDesktopServices.
    static std::unique_ptr<UpdaterUi> makeDefault();
};

} // namespace kelo
