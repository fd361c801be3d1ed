#include "LaunchArguments.h"

namespace kelo {

LaunchArguments LaunchArguments::parse(const QStringList &arguments) {
    LaunchArguments parsed;
    // The first entry is the program.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--review"))
            parsed.review = true;
        else if (argument == QLatin1String("--test-reminder"))
            parsed.testReminder = true;
        else if (argument == QLatin1String("--dark"))
            parsed.dark = true;
        else if (argument == QLatin1String("--login-item"))
            parsed.loginItem = true;
        // The path is whatever follows the first "--snapshot", and is still read as an
        // argument of its own as well.
        else if (argument == QLatin1String("--snapshot") && i + 1 < arguments.size() &&
                 !parsed.snapshot)
            parsed.snapshot = arguments[i + 1];
    }
    return parsed;
}

LaunchArguments LaunchArguments::parse(int argc, char **argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return parse(arguments);
}

} // namespace kelo
