#include "FetchProcess.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace kelo {

namespace {

// How long past the deadline the helper may take to report that it passed it.
constexpr std::chrono::milliseconds deadlineGrace{5000};
// An error line longer than this is cut.
constexpr qsizetype longestError = 2000;

} // namespace

QString fetchHelperPath() {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/kelo-fetch");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral(KELO_HELPER_FOLDER "/kelo-fetch");
}

FetchProcess::FetchProcess(const QString &helper, const QUrl &url, qint64 maximumSize,
                           std::chrono::milliseconds timeout, std::chrono::milliseconds deadline,
                           Sink sink, QObject *parent)
    : QObject(parent), m_helper(helper), m_url(url), m_maximumSize(maximumSize), m_timeout(timeout),
      m_deadline(deadline), m_sink(std::move(sink)) {
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        fail(tr("%1 was na %2 seconden nog niet binnen.")
                 .arg(m_url.toDisplayString())
                 .arg(static_cast<double>(m_deadline.count()) / 1000.0));
    });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &FetchProcess::readBody);
    connect(&m_process, &QProcess::finished, this, &FetchProcess::exited);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(tr("Kon %1 niet ophalen: het hulpprogramma %2 start niet (%3).")
                     .arg(m_url.toDisplayString(), m_helper, m_process.errorString()));
    });
    // Started from the event loop, so that even a helper that cannot start reaches the caller's
    // connections.
    QMetaObject::invokeMethod(this, &FetchProcess::start, Qt::QueuedConnection);
}

FetchProcess::~FetchProcess() {
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

void FetchProcess::start() {
    if (m_done)
        return;
    m_watchdog.start(m_deadline + deadlineGrace);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.start(m_helper, {QStringLiteral("--max-size"), QString::number(m_maximumSize),
                               QStringLiteral("--timeout"), QString::number(m_timeout.count()),
                               QStringLiteral("--deadline"), QString::number(m_deadline.count()),
                               QString::fromLatin1(m_url.toEncoded())});
}

void FetchProcess::cancel() {
    m_cancelled = true;
    fail(tr("Geannuleerd."));
}

void FetchProcess::readBody() {
    if (m_done)
        return;
    const QByteArray piece = m_process.readAllStandardOutput();
    if (piece.isEmpty())
        return;
    m_received += piece.size();
    if (m_received > m_maximumSize) {
        fail(tr("%1 is groter dan de %2 bytes die Kelo verwacht.")
                 .arg(m_url.toDisplayString())
                 .arg(m_maximumSize));
        return;
    }
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

void FetchProcess::exited(int code, QProcess::ExitStatus status) {
    readBody();
    if (m_done)
        return;
    if (status == QProcess::NormalExit && code == 0) {
        m_done = true;
        m_watchdog.stop();
        emit finished(QString());
        return;
    }
    // The helper's reason is its last line on standard error.
    const QList<QByteArray> lines = m_process.readAllStandardError().trimmed().split('\n');
    const QString reason = QString::fromUtf8(lines.last().trimmed().left(longestError));
    if (status == QProcess::NormalExit && code == 1 && !reason.isEmpty())
        fail(reason);
    else
        fail(tr("Kon %1 niet ophalen: het hulpprogramma %2 stopte onverwacht.")
                 .arg(m_url.toDisplayString(), m_helper));
}

void FetchProcess::fail(const QString &error) {
    if (m_done)
        return;
    m_done = true;
    m_watchdog.stop();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.disconnect(this);
        m_process.kill();
    }
    emit finished(error);
}

} // namespace kelo
