#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace kelo {

// Whether Kelo fetches from `url`: https, or plain http to this machine only.
bool isAllowedUpdateUrl(const QUrl &url);

// One GET under the updater's rules: every hop (at most five redirects, followed here) must be
// allowed by isAllowedUpdateUrl, nothing longer than `maximumSize` is taken, a transfer that
// stalls for `timeout` fails, and so does a fetch not done within `deadline` in all, however
// steadily bytes trickle in. The body goes to `sink` piece by piece (false from the sink stops
// the fetch) or, without a sink, is kept in body().
class SafeFetch : public QObject {
    Q_OBJECT

public:
    using Sink = std::function<bool(const QByteArray &piece)>;

    SafeFetch(QNetworkAccessManager &network, const QUrl &url, qint64 maximumSize,
              std::chrono::milliseconds timeout, std::chrono::milliseconds deadline, Sink sink = {},
              QObject *parent = nullptr);
    ~SafeFetch() override;

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
    void get(const QUrl &url);
    void readPiece();
    void hopFinished();
    void fail(const QString &error);

    QNetworkAccessManager &m_network;
    qint64 m_maximumSize;
    std::chrono::milliseconds m_timeout;
    QTimer m_deadline;
    Sink m_sink;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    qint64 m_received = 0;
    qint64 m_hopBytes = 0;
    int m_redirects = 0;
    bool m_done = false;
    bool m_cancelled = false;
    QString m_error;
};

} // namespace kelo
