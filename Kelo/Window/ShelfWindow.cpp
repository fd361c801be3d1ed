#include "ShelfWindow.h"

#include "Clock.h"
#include "Fonts.h"
#include "FreshnessStyle.h"
#include "IntegrationDialog.h"
#include "ReviewSheet.h"
#include "Shelf.h"
#include "ShelfListView.h"
#include "Symbols.h"
#include "TrayAvailability.h"
#include "Website.h"

#include <QAction>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace kelo {
namespace {

// A button that looks and acts like a link.
QPushButton *linkButton(const QString &text, QWidget *parent) {
    auto *button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setObjectName(QStringLiteral("keloLink"));
    return button;
}

QWidget *loadingPage(QWidget *parent) {
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    auto *progress = new QProgressBar(page);
    progress->setRange(0, 0); // indeterminate
    progress->setTextVisible(false);
    progress->setFixedWidth(160);
    layout->addStretch();
    layout->addWidget(progress, 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

QWidget *emptyPage(QWidget *parent, QLabel *&text) {
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    layout->setSpacing(12);
    auto *leaf = new QLabel(page);
    leaf->setPixmap(symbolPixmap(QStringLiteral("leaf.fill"), 44, freshnessColor(Freshness::fresh),
                                 page->devicePixelRatioF()));
    auto *title = new QLabel(ShelfWindow::tr("Alles is nog vers"), page);
    title->setFont(scaledFont(page->font(), 1.55, true));
    text = new QLabel(ShelfWindow::tr("Geen bestanden met een datum. Klik in je bestandsbeheerder "
                                      "met rechts op een bestand en kies Kelo ▸ een termijn."),
                      page);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignHCenter);
    // Layouts do not ask an aligned label for its height at a width: give it the one it needs.
    text->setFixedWidth(320);
    text->setMinimumHeight(text->heightForWidth(320));
    layout->addStretch();
    layout->addWidget(leaf, 0, Qt::AlignHCenter);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(text, 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

} // namespace

ShelfWindow::ShelfWindow(Shelf &shelf, QWidget *parent) : QWidget(parent), m_shelf(shelf) {
    setWindowTitle(tr("Kelo"));
    resize(640, 520);
    setMinimumSize(520, 380);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Linux title bars have no subtitle: it stands in the window's own header, right under the
    // title bar that shows "Kelo".
    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("keloHeader"));
    auto *headerLayout = new QVBoxLayout(m_header);
    headerLayout->setContentsMargins(16, 8, 16, 6);
    m_subtitle.setFont(scaledFont(font(), 0.95));
    m_subtitle.setAlignment(Qt::AlignHCenter);
    headerLayout->addWidget(&m_subtitle);
    layout->addWidget(m_header);

    m_loading = loadingPage(&m_body);
    m_empty = emptyPage(&m_body, m_emptyText);
    m_list = new ShelfListView(m_shelf, &m_body);
    m_body.addWidget(m_loading);
    m_body.addWidget(m_empty);
    m_body.addWidget(m_list);
    layout->addWidget(&m_body, 1);

    m_trayHint = new QLabel(
        tr("Geen systeemvak op dit bureaublad, dus Kelo’s icoon is niet te zien. Op GNOME geeft "
           "de extensie ‘AppIndicator and KStatusNotifierItem Support’ (pakket "
           "gnome-shell-extension-appindicator) er een."),
        this);
    m_trayHint->setFont(scaledFont(font(), 0.85));
    m_trayHint->setWordWrap(true);
    m_trayHint->setAlignment(Qt::AlignHCenter);
    m_trayHint->setContentsMargins(24, 6, 24, 8);
    m_trayHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_trayHint->hide();
    layout->addWidget(m_trayHint);

    layout->addWidget(dividerLine(this));

    auto *footer = new QWidget(this);
    footer->setFont(scaledFont(font(), 0.85));
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(14, 8, 14, 8);
    auto *howTo = new QLabel(tr("Datum zetten: rechtsklik in je bestandsbeheerder ▸ Kelo"), footer);
    m_howTo = howTo;
    auto *extensions = linkButton(tr("Extensies…"), footer);
    connect(extensions, &QPushButton::clicked, this, &ShelfWindow::showExtensions);
    const QUrl website{QString::fromLatin1(websiteAddress)};
    auto *maker = linkButton(website.host(), footer);
    connect(maker, &QPushButton::clicked, this, [website] { QDesktopServices::openUrl(website); });
    footerLayout->addWidget(howTo);
    footerLayout->addWidget(extensions);
    footerLayout->addStretch();
    footerLayout->addWidget(maker);
    layout->addWidget(footer);

    // Closing hides the window; Kelo stays in the tray.
    auto *close = new QAction(this);
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    connect(&m_shelf, &Shelf::itemsChanged, this, &ShelfWindow::refresh);
    connect(&m_shelf, &Shelf::loadedChanged, this, &ShelfWindow::refresh);
    connect(&m_shelf, &Shelf::reviewingChanged, this, &ShelfWindow::updateReview);
    applyColors();
    m_midnight.setSingleShot(true);
    connect(&m_midnight, &QTimer::timeout, this, [this] {
        // A new day: files move to other sections without the shelf changing.
        m_list->refresh();
        refresh();
    });
    refresh();
}

ShelfWindow::~ShelfWindow() = default;

void ShelfWindow::present() {
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void ShelfWindow::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void ShelfWindow::applyColors() {
    const QColor secondary = secondaryTextColor(palette());
    for (QLabel *label : {&m_subtitle, m_howTo, m_emptyText, m_trayHint}) {
        QPalette labelPalette = label->palette();
        labelPalette.setColor(QPalette::WindowText, secondary);
        label->setPalette(labelPalette);
    }
    for (auto *button : findChildren<QPushButton *>(QStringLiteral("keloLink"))) {
        QPalette buttonPalette = button->palette();
        buttonPalette.setColor(QPalette::ButtonText, palette().color(QPalette::Link));
        button->setPalette(buttonPalette);
    }
}

void ShelfWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    updateReview();
    // A tray that the bus does not announce (XEmbed) may have come or gone meanwhile.
    if (m_trays)
        m_trays->refresh();
}

void ShelfWindow::followTray(TrayAvailability &trays) {
    m_trays = &trays;
    m_trayHint->setVisible(!trays.available());
    connect(&trays, &TrayAvailability::availableChanged, this,
            [this](bool available) { m_trayHint->setVisible(!available); });
}

ShelfWindow::Body ShelfWindow::body() const {
    if (!m_shelf.loaded())
        return Body::loading;
    return m_shelf.items().empty() ? Body::empty : Body::list;
}

QString ShelfWindow::subtitle() const {
    const auto expired = m_shelf.run(Freshness::expired).size();
    if (expired > 0)
        return tr("%1 over de datum").arg(expired);
    if (m_shelf.items().empty())
        return {};
    const Calendar calendar = Calendar::current();
    return tr("Eerstvolgende: %1")
        .arg(daysLeftLabel(m_shelf.items().front().date, Clock::now(), calendar));
}

void ShelfWindow::refresh() {
    switch (body()) {
    case Body::loading:
        m_body.setCurrentWidget(m_loading);
        break;
    case Body::empty:
        m_body.setCurrentWidget(m_empty);
        break;
    case Body::list:
        m_body.setCurrentWidget(m_list);
        break;
    }
    const QString text = subtitle();
    m_subtitle.setText(text);
    m_header->setVisible(!text.isEmpty());
    // Read by snapshot mode, which draws the title bar itself.
    setProperty("keloSubtitle", text);
    scheduleMidnightRefresh();
}

void ShelfWindow::updateReview() {
    if (!m_shelf.reviewing()) {
        if (m_sheet)
            m_sheet->close();
        return;
    }
    if (m_sheet || !isVisible())
        return;
    m_sheet = new ReviewSheet(m_shelf, this);
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_sheet->open();
}

void ShelfWindow::scheduleMidnightRefresh() {
    m_midnight.start(timeUntilNextDay(Clock::now()));
}

void ShelfWindow::showExtensions() {
    if (!m_extensions) {
        m_extensions =
            new IntegrationDialog(FileManagerIntegration(IntegrationPlaces::current()), this);
        m_extensions->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_extensions->refresh();
    m_extensions->show();
    m_extensions->raise();
    m_extensions->activateWindow();
}

} // namespace kelo
