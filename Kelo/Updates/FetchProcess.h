#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

namespace kelo {

// One fetch for the updater, run by the helper kelo-fetch in a process of its own: the network
// and TLS libraries are loaded there for the length of the fetch and never in Kelo, which stays
// running for weeks. The helper applies the rules of a safe fetch (https, redirects, size,
// stalls, deadline); this side holds it to the size and the deadline as well, in case the
// helper does not. The body goes to `sink` piece by piece (false from the sink stops the fetch)
// or, without a sink, is kept in body().
class FetchProcess : public QObject {
    Q_OBJECT

public:
    using Sink = std::function<bool(const QByteArray &piece)>;

    FetchProcess(const QString &helper, const QUrl &url, qint64 maximumSize,
                 std::chrono::milliseconds timeout, std::chrono::milliseconds deadline,
                 Sink sink = {}, QObject *parent = nullptr);
    ~FetchProcess() override;

    // Stops the fetch; finished() follows with the error "cancelled".
    void cancel();
    bool wasCancelled() const { return m_cancelled; }
    const QByteArray &body() const { return m_body; }
    qint64 received() const { return m_received; }

signals:
    void progress(qint64 received);
    // Once, with an empty error on success.
    void finished(const QString &error);

private:
    void start();
    void readBody();
    void exited(int code, QProcess::ExitStatus status);
    void fail(const QString &error);

    QString m_helper;
    QUrl m_url;
    qint64 m_maximumSize;
    std::chrono::milliseconds m_timeout;
    std::chrono::milliseconds m_deadline;
    Sink m_sink;
    QProcess m_process;
    QTimer m_watchdog;
    QByteArray m_body;
    qint64 m_received = 0;
    bool m_done = false;
    bool m_cancelled = false;
};

// Where kelo-fetch is: beside the running program (a build tree), else in Kelo's folder for
// helper programs.
QString fetchHelperPath();

} // namespace kelo
