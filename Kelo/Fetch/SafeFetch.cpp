#include "SafeFetch.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace kelo {

namespace {

constexpr int maximumRedirects = 5;

bool isSuccess(int status) {
    return status >= 200 && status < 300;
}

} // namespace

bool isAllowedUpdateUrl(const QUrl &url) {
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

SafeFetch::SafeFetch(QNetworkAccessManager &network, const QUrl &url, qint64 maximumSize,
                     std::chrono::milliseconds timeout, std::chrono::milliseconds deadline,
                     Sink sink, QObject *parent)
    : QObject(parent), m_network(network), m_maximumSize(maximumSize), m_timeout(timeout),
      m_sink(std::move(sink)) {
    // The transfer timeout starts again with every byte: only this ends a feed that trickles.
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this, url, deadline] {
        fail(tr("%1 was na %2 seconden nog niet binnen.")
                 .arg(url.toDisplayString())
                 .arg(static_cast<double>(deadline.count()) / 1000.0));
    });
    m_deadline.start(deadline);
    // Started from the event loop, so that even an immediate refusal reaches the caller's
    // connections.
    QMetaObject::invokeMethod(
        this, [this, url] { get(url); }, Qt::QueuedConnection);
}

SafeFetch::~SafeFetch() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply.data();
    }
}

void SafeFetch::cancel() {
    m_cancelled = true;
    fail(tr("Geannuleerd."));
}

void SafeFetch::get(const QUrl &url) {
    if (m_done)
        return;
    if (!isAllowedUpdateUrl(url)) {
        fail(tr("%1 komt niet via https; Kelo haalt updates alleen via https op.")
                 .arg(url.toDisplayString()));
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(static_cast<int>(m_timeout.count()));
    m_hopBytes = 0;
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &SafeFetch::readPiece);
    connect(m_reply, &QNetworkReply::finished, this, &SafeFetch::hopFinished);
}

void SafeFetch::readPiece() {
    if (!m_reply || m_done)
        return;
    const QByteArray piece = m_reply->readAll();
    m_hopBytes += piece.size();
    if (m_hopBytes > m_maximumSize) {
        fail(tr("%1 is groter dan de %2 bytes die Kelo verwacht.")
                 .arg(m_reply->url().toDisplayString())
                 .arg(m_maximumSize));
        return;
    }
    // The body of a redirect or an error page is read and dropped.
    if (!isSuccess(m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) ||
        piece.isEmpty())
        return;
    m_received += piece.size();
    if (m_sink) {
        if (!m_sink(piece)) {
            fail(tr("Kon de download niet wegschrijven."));
            return;
        }
    } else {
        m_body += piece;
    }
    emit progress(m_received);
}

void SafeFetch::hopFinished() {
    if (!m_reply || m_done)
        return;
    readPiece();
    if (m_done)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    const QUrl url = reply->url();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (reply->error() == QNetworkReply::NoError && target.isValid()) {
        if (++m_redirects > maximumRedirects) {
            fail(tr("Te veel omleidingen vanaf %1.").arg(url.toDisplayString()));
            return;
        }
        get(url.resolved(target.toUrl()));
        return;
    }
    if (reply->error() == QNetworkReply::OperationCanceledError) {
        fail(tr("%1 gaf binnen %2 seconden geen antwoord.")
                 .arg(url.toDisplayString())
                 .arg(static_cast<double>(m_timeout.count()) / 1000.0));
        return;
    }
    if (status != 0 && !isSuccess(status)) {
        fail(tr("%1 antwoordde met HTTP-status %2.").arg(url.toDisplayString()).arg(status));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail(tr("Kon %1 niet ophalen: %2").arg(url.toDisplayString(), reply->errorString()));
        return;
    }
    m_done = true;
    m_deadline.stop();
    emit finished(QString());
}

void SafeFetch::fail(const QString &error) {
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    emit finished(error);
}

} // namespace kelo
