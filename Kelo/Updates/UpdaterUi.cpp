#include "UpdaterUi.h"

#include "OpenFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QUrl>

namespace kelo {

namespace {

constexpr qsizetype maximumNotesLength = 2000;

// Text from outside, as a paragraph of rich text that shows it literally.
QString paragraph(const QString &text) {
    return QStringLiteral("<p>") + text.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")) +
           QStringLiteral("</p>");
}

// A message box of Kelo's that deletes itself once answered. Opened, never run: the callers
// are network answers and menu actions, which must not wait in an event loop of the box's own.
QMessageBox *messageBox(QMessageBox::Icon icon, const QString &text, const QString &details) {
    auto *box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(icon);
    box->setWindowTitle(QStringLiteral("Kelo"));
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setInformativeText(details);
    return box;
}

// The feed's description as plain text: markup is dropped, nothing is loaded.
QString releaseNotes(const AppcastItem &item) {
    QString notes = QTextDocumentFragment::fromHtml(item.description).toPlainText().trimmed();
    if (notes.size() > maximumNotesLength)
        notes = notes.left(maximumNotesLength) + QStringLiteral("…");
    return notes;
}

class MessageBoxUi : public UpdaterUi {
    Q_DECLARE_TR_FUNCTIONS(kelo::UpdaterUi)

public:
    void showUpdate(const AppcastItem &item, const QString &currentVersion,
                    std::function<void(bool install)> answer) override {
        QString details = paragraph(tr("Je hebt versie %1.").arg(currentVersion));
        if (const QString notes = releaseNotes(item); !notes.isEmpty())
            details += paragraph(notes);
        if (item.releaseNotes.isValid() && item.releaseNotes.scheme() == QLatin1String("https"))
            details += QStringLiteral("<p><a href=\"%1\">%2</a></p>")
                           .arg(item.releaseNotes.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                tr("Wat is er nieuw?").toHtmlEscaped());
        QMessageBox *box =
            messageBox(QMessageBox::Information,
                       tr("Kelo %1 is beschikbaar").arg(item.displayVersion()), details);
        QPushButton *install = box->addButton(tr("Installeren"), QMessageBox::AcceptRole);
        box->addButton(tr("Later"), QMessageBox::RejectRole);
        box->setDefaultButton(install);
        QObject::connect(box, &QMessageBox::finished, box,
                         [box, install, answer = std::move(answer)] {
                             answer(box->clickedButton() == install);
                         });
        box->open();
    }

    void showUpToDate(const QString &currentVersion) override {
        messageBox(QMessageBox::Information, tr("Kelo is bij de tijd"),
                   paragraph(tr("Je hebt versie %1, de nieuwste.").arg(currentVersion)))
            ->open();
    }

    void showError(const QString &title, const QString &message) override {
        messageBox(QMessageBox::Warning, title, paragraph(message))->open();
    }

    void startProgress(const QString &label, qint64 total, std::function<void()> cancel) override {
        endProgress();
        m_total = std::max<qint64>(total, 1);
        m_progress = new QProgressDialog(label, tr("Annuleren"), 0, 1000);
        m_progress->setWindowTitle(QStringLiteral("Kelo"));
        m_progress->setAttribute(Qt::WA_DeleteOnClose);
        m_progress->setMinimumDuration(0);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        QObject::connect(m_progress, &QProgressDialog::canceled, m_progress,
                         [cancel = std::move(cancel)] { cancel(); });
        m_progress->setValue(0);
        m_progress->show();
    }

    void setProgress(qint64 received) override {
        if (m_progress)
            m_progress->setValue(
                static_cast<int>(std::clamp<qint64>(received * 1000 / m_total, 0, 1000)));
    }

    void endProgress() override {
        if (QProgressDialog *progress = m_progress) {
            m_progress = nullptr;
            progress->disconnect();
            progress->close();
        }
    }

    bool open(const QString &path) override {
        return openFile(QFile::encodeName(path).toStdString());
    }

    ~MessageBoxUi() override { endProgress(); }

private:
    QPointer<QProgressDialog> m_progress;
    qint64 m_total = 1;
};

} // namespace

std::unique_ptr<UpdaterUi> UpdaterUi::makeDefault() {
    return std::make_unique<MessageBoxUi>();
}

} // namespace kelo
