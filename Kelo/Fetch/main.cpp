// kelo-fetch: one GET for Kelo's updater, under its rules (SafeFetch), with the body written to
// standard output. Kelo starts it for every check and download.
//
//   kelo-fetch --max-size BYTES --timeout MS --deadline MS URL
//
// Exits with 0 once the whole body is written; otherwise with 1 and the reason, in the user's
// language, as the only line on standard error.

#include "SafeFetch.h"
#include "Translation.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <optional>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

struct Request {
    QUrl url;
    qint64 maximumSize = 0;
    std::chrono::milliseconds timeout{0};
    std::chrono::milliseconds deadline{0};
};

std::optional<Request> parse(const QStringList &arguments) {
    Request request;
    const auto number = [](const QString &text) {
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        return ok && value > 0 ? std::optional(value) : std::nullopt;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (i + 1 < arguments.size() && argument.startsWith(QLatin1String("--"))) {
            const auto value = number(arguments[++i]);
            if (!value)
                return std::nullopt;
            if (argument == QLatin1String("--max-size"))
                request.maximumSize = *value;
            else if (argument == QLatin1String("--timeout"))
                request.timeout = std::chrono::milliseconds(*value);
            else if (argument == QLatin1String("--deadline"))
                request.deadline = std::chrono::milliseconds(*value);
            else
                return std::nullopt;
        } else if (request.url.isEmpty()) {
            request.url = QUrl::fromEncoded(argument.toUtf8(), QUrl::StrictMode);
        } else {
            return std::nullopt;
        }
    }
    if (!request.url.isValid() || request.maximumSize == 0 || request.timeout.count() == 0 ||
        request.deadline.count() == 0)
        return std::nullopt;
    return request;
}

bool writeAll(int fd, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    // Ends with Kelo: a fetch nobody reads any more is not left running to its deadline.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // A reader that went away is a failed write, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication application(argc, argv);
    kelo::installTranslation(application);
    const auto request = parse(QCoreApplication::arguments());
    if (!request) {
        std::fputs("usage: kelo-fetch --max-size BYTES --timeout MS --deadline MS URL\n", stderr);
        return 2;
    }

    QNetworkAccessManager network;
    network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    kelo::SafeFetch fetch(network, request->url, request->maximumSize, request->timeout,
                          request->deadline, [](const QByteArray &piece) {
                              return writeAll(STDOUT_FILENO, piece.constData(),
                                              static_cast<size_t>(piece.size()));
                          });
    QObject::connect(&fetch, &kelo::SafeFetch::finished, &application, [](const QString &error) {
        if (error.isEmpty()) {
            QCoreApplication::exit(0);
            return;
        }
        QByteArray line = error.simplified().toUtf8();
        line += '\n';
        writeAll(STDERR_FILENO, line.constData(), static_cast<size_t>(line.size()));
        QCoreApplication::exit(1);
    });
    return QCoreApplication::exec();
}
