#include "IntegrationDialog.h"

#include "FreshnessStyle.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace kelo {

IntegrationDialog::IntegrationDialog(FileManagerIntegration integration, QWidget *parent,
                                     std::function<void(const QString &)> reportError)
    : QDialog(parent), m_integration(std::move(integration)),
      m_reportError(std::move(reportError)) {
    setWindowTitle(tr("Kelo in je bestandsbeheerder"));
    if (!m_reportError) {
        // Opened, not run: the button's click returns at once.
        m_reportError = [this](const QString &reason) {
            auto *box =
                new QMessageBox(QMessageBox::Warning, tr("Het menu kon niet worden aangepast"),
                                reason, QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        };
    }

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    auto *intro = new QLabel(tr("Het menu Kelo verschijnt als je met rechts op een bestand klikt. "
                                "Zo staat het in je bestandsbeheerders:"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(18);
    grid->setVerticalSpacing(10);
    int line = 0;
    for (const FileManager fileManager : FileManagerIntegration::all()) {
        QString name;
        switch (fileManager) {
        case FileManager::nautilus:
            name = tr("Bestanden (Nautilus)");
            break;
        case FileManager::dolphin:
            name = tr("Dolphin");
            break;
        case FileManager::nemo:
            name = tr("Nemo");
            break;
        // Names only: nothing to translate.
        case FileManager::thunar:
            name = QStringLiteral("Thunar");
            break;
        case FileManager::caja:
            name = QStringLiteral("Caja");
            break;
        }
        auto *nameLabel = new QLabel(name, this);
        QFont bold = nameLabel->font();
        bold.setBold(true);
        nameLabel->setFont(bold);
        auto *status = new QLabel(this);
        status->setObjectName(QStringLiteral("status-") +
                              FileManagerIntegration::programName(fileManager));
        QPalette statusPalette = status->palette();
        statusPalette.setColor(QPalette::WindowText, secondaryTextColor(palette()));
        status->setPalette(statusPalette);
        auto *button = new QPushButton(this);
        button->setObjectName(QStringLiteral("toggle-") +
                              FileManagerIntegration::programName(fileManager));
        button->setAutoDefault(false);
        grid->addWidget(nameLabel, line, 0, Qt::AlignTop);
        grid->addWidget(status, line, 1, Qt::AlignTop);
        grid->addWidget(button, line, 2, Qt::AlignTop | Qt::AlignRight);
        m_rows.push_back({fileManager, status, button});
        const Row row = m_rows.back();
        connect(button, &QPushButton::clicked, this, [this, row] { toggle(row); });
        ++line;
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto *hints = new QLabel(tr("Herstart Bestanden met ‘nautilus -q’ nadat Kelo is geïnstalleerd. "
                                "Elders geeft ‘kelo-finder pick 0 -- BESTAND’ een bestand 1 week; "
                                "‘kelo-finder --help’ vertelt meer."),
                             this);
    hints->setWordWrap(true);
    QFont small = hints->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    hints->setFont(small);
    layout->addWidget(hints);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Sluiten"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    setMinimumWidth(480);
    refresh();
}

QString IntegrationDialog::statusText(const FileManagerState &state) const {
    QString text;
    if (state.forUser)
        text = tr("Menu staat aan voor jou");
    else if (state.systemWide)
        text = tr("Menu staat aan voor alle gebruikers");
    else if (!state.userInstallable)
        text = tr("Menu staat uit: het komt met het Kelo-pakket");
    else
        text = tr("Menu staat uit");
    if (!state.installed)
        text += u'\n' + tr("Niet gevonden op deze computer");
    return text;
}

void IntegrationDialog::refresh() {
    for (const Row &row : m_rows) {
        const FileManagerState state = m_integration.state(row.fileManager);
        row.status->setText(statusText(state));
        // A menu there for everyone needs nothing from the user; one of the user's own can
        // always be taken out again.
        row.button->setVisible(state.forUser || (state.userInstallable && !state.systemWide));
        row.button->setText(state.forUser ? tr("Uitzetten") : tr("Aanzetten"));
    }
}

void IntegrationDialog::toggle(const Row &row) {
    const bool forUser = m_integration.state(row.fileManager).forUser;
    const std::optional<QString> error = forUser ? m_integration.removeForUser(row.fileManager)
                                                 : m_integration.installForUser(row.fileManager);
    refresh();
    if (error)
        m_reportError(*error);
}

} // namespace kelo
