#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kelo {

// Kelo's launch arguments. Each counts only when an argument equals it exactly, anywhere in the
// list; read them from the arguments as given, before Qt takes its own away.
struct LaunchArguments {
    bool review = false;       // "--review": open the shelf and start the review
    bool testReminder = false; // "--test-reminder": the test notification after 3 seconds
    bool dark = false;         // "--dark": snapshots in the dark appearance
    bool loginItem = false;    // "--login-item": started at login by the autostart entry
    // "--snapshot PATH": write a picture to PATH and quit.
    std::optional<QString> snapshot;

    static LaunchArguments parse(const QStringList &arguments);
    static LaunchArguments parse(int argc, char **argv);
};

} // namespace kelo
