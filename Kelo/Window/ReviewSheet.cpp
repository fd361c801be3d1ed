#include "ReviewSheet.h"

#include "ByteCount.h"
#include "DiskUsage.h"
#include "FreshnessStyle.h"
#include "ReviewListModel.h"
#include "ReviewListView.h"
#include "Shelf.h"
#include "Symbols.h"
#include "TabularText.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <unordered_set>

namespace kelo {

namespace fs = std::filesystem;

// One line of text with tabular digits (TabularText). Where the whole text does not fit, a
// shorter one stands in for it.
class TabularLabel : public QWidget {
public:
    explicit TabularLabel(QWidget *parent = nullptr) : QWidget(parent) {}

    QString text() const { return m_text; }
    void setText(const QString &text, const QString &shortText) {
        if (text == m_text && shortText == m_shortText)
            return;
        m_text = text;
        m_shortText = shortText;
        updateGeometry();
        update();
    }
    void setColor(const QColor &color) {
        m_color = color;
        update();
    }

    QSize sizeHint() const override {
        return {tabularTextWidth(fontMetrics(), m_text), fontMetrics().height()};
    }
    QSize minimumSizeHint() const override {
        return {tabularTextWidth(fontMetrics(), m_shortText), fontMetrics().height()};
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setPen(m_color);
        drawTabularText(painter, rect(), width() >= sizeHint().width() ? m_text : m_shortText,
                        Qt::AlignLeft);
    }

private:
    QString m_text;
    QString m_shortText;
    QColor m_color;
};

namespace {

// Buttons with room around their titles.
void fitToTitle(QPushButton *button) {
    button->setMinimumWidth(
        std::max(80, button->fontMetrics().horizontalAdvance(button->text()) + 28));
}

QFont scaledFont(const QFont &base, qreal factor, bool bold = false) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

// The title of the review, relative to the body text.
constexpr qreal title2Scale = 1.3;

} // namespace

ReviewSheet::ReviewSheet(Shelf &shelf, QWidget *parent) : QDialog(parent), m_shelf(shelf) {
    setWindowTitle(tr("Opruimen"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(560, 480);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(this);
    auto *headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(20, 20, 20, 20);
    headerLayout->setSpacing(4);
    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(6);
    m_symbol = new QLabel(header);
    m_title = new QLabel(tr("Opruimen"), header);
    m_title->setFont(scaledFont(font(), title2Scale, true));
    titleRow->addWidget(m_symbol);
    titleRow->addWidget(m_title);
    titleRow->addStretch();
    m_text = new QLabel(tr("Deze bestanden zijn over de datum. Vink uit wat je wilt houden; dat "
                           "blijft op het schap staan."),
                        header);
    m_text->setWordWrap(true);
    headerLayout->addLayout(titleRow);
    headerLayout->addWidget(m_text);
    layout->addWidget(header);

    m_model = new ReviewListModel(m_shelf.diskUsage(), this);
    m_view = new ReviewListView(*m_model, this);
    layout->addWidget(m_view, 1);

    layout->addWidget(dividerLine(this));

    auto *footer = new QWidget(this);
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(16, 16, 16, 16);
    m_summary = new TabularLabel(footer);
    m_later = new QPushButton(tr("Later"), footer);
    // Return belongs to the Trash button, whichever button has the focus.
    m_later->setAutoDefault(false);
    fitToTitle(m_later);
    m_trash = new QPushButton(footer);
    m_trash->setDefault(true);
    footerLayout->addWidget(m_summary);
    footerLayout->addStretch();
    footerLayout->addWidget(m_later);
    footerLayout->addWidget(m_trash);
    layout->addWidget(footer);

    // Escape rejects the dialog, as "Later" does.
    connect(m_later, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_trash, &QPushButton::clicked, this, &ReviewSheet::moveTickedToTrash);
    connect(this, &QDialog::finished, this, [this] {
        m_closed = true;
        m_shelf.diskUsage().want(this, {});
        m_shelf.setReviewing(false);
    });
    connect(&m_shelf, &Shelf::itemsChanged, this, [this] {
        if (!m_trashing)
            reload();
    });
    connect(m_model, &ReviewListModel::totalsChanged, this, &ReviewSheet::updateFooter);

    // Every expired file starts ticked. A file that joins the list while the sheet is open (its
    // date passed meanwhile) starts unticked: only what the user saw ticked goes.
    reload();
    updateColors();
    updateFooter();
}

ReviewSheet::~ReviewSheet() = default;

const std::vector<FolderGroup> &ReviewSheet::groups() const {
    return m_model->groups();
}

bool ReviewSheet::isTicked(const fs::path &file) const {
    return m_model->checkState(m_model->fileIndex(file)) == Qt::Checked;
}

Qt::CheckState ReviewSheet::groupState(const fs::path &folder) const {
    return m_model->checkState(m_model->groupIndex(folder));
}

std::optional<std::int64_t> ReviewSheet::fileSize(const fs::path &file) const {
    return m_model->size(m_model->fileIndex(file));
}

QString ReviewSheet::sizeText(const fs::path &file) const {
    return m_model->fileIndex(file).data(ReviewListModel::SizeTextRole).toString();
}

int ReviewSheet::tickedCount() const {
    return static_cast<int>(m_model->tickedCount());
}

std::int64_t ReviewSheet::tickedTotal() const {
    return m_model->tickedTotal();
}

QString ReviewSheet::summaryText() const {
    return m_summary->text();
}

void ReviewSheet::changeEvent(QEvent *event) {
    QDialog::changeEvent(event);
    // Built last: before it the sheet is still being made.
    if (!m_trash)
        return;
    if (event->type() == QEvent::PaletteChange)
        updateColors();
    if (event->type() == QEvent::FontChange) {
        updateColors();
        // The rows take their height from the font.
        m_view->doItemsLayout();
    }
}

void ReviewSheet::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (m_closed) {
        m_closed = false;
        wantSizes();
    }
}

// The expired files taken anew from the shelf; the ticks stay as they are.
void ReviewSheet::reload() {
    std::vector<Shelf::Item> expired = m_shelf.items(Freshness::expired);
    std::vector<fs::path> files;
    files.reserve(expired.size());
    for (Shelf::Item &item : expired)
        files.push_back(std::move(item.url));
    // Most changes to the shelf leave the expired files as they were.
    const auto same = [](const fs::path &a, const fs::path &b) { return a.native() == b.native(); };
    if (m_listed && std::equal(files.begin(), files.end(), m_files.begin(), m_files.end(), same))
        return;
    m_model->setGroups(folderGroups(files), !m_listed);
    m_listed = true;
    m_files = std::move(files);
    wantSizes();
}

void ReviewSheet::wantSizes() {
    if (!m_closed)
        m_shelf.diskUsage().want(this, m_files);
}

void ReviewSheet::updateColors() {
    const QColor red = freshnessColor(Freshness::expired, isDark(palette()));
    m_symbol->setPixmap(symbolPixmap(QStringLiteral("exclamationmark.circle.fill"),
                                     QFontMetrics(m_title->font()).ascent(), red,
                                     devicePixelRatioF()));
    QPalette titlePalette = palette();
    titlePalette.setColor(QPalette::WindowText, red);
    m_title->setPalette(titlePalette);
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));
    m_text->setPalette(secondary);
    m_summary->setColor(secondaryTextColor(palette()));
    // The default button in the accent colour, as the desktop marks the action Return takes; a
    // disabled one looks like any disabled button.
    QPalette accent = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        accent.setColor(group, QPalette::Button, palette().color(group, QPalette::Highlight));
        accent.setColor(group, QPalette::ButtonText,
                        palette().color(group, QPalette::HighlightedText));
    }
    m_trash->setPalette(accent);
}

void ReviewSheet::updateFooter() {
    const int ticked = tickedCount();
    const qsizetype listed = m_model->fileCount();
    const QString total = byteCountText(tickedTotal());
    // Sizes still being counted: the total so far, and that it is not all; in a narrow footer
    // only "…" says so.
    if (m_model->tickedTotalPending()) {
        m_summary->setText(tr("%1 van %2 · %3, telt nog…").arg(ticked).arg(listed).arg(total),
                           tr("%1 van %2 · %3…").arg(ticked).arg(listed).arg(total));
    } else {
        const QString summary = tr("%1 van %2 · %3").arg(ticked).arg(listed).arg(total);
        m_summary->setText(summary, summary);
    }
    // Read by snapshot mode, which waits for the sizes before it takes its picture.
    setProperty("keloSettling", !m_model->sizesKnown());
    m_trash->setText(ticked == 1 ? tr("1 bestand naar prullenbak")
                                 : tr("%1 bestanden naar prullenbak").arg(ticked));
    m_trash->setEnabled(ticked > 0);
    fitToTitle(m_trash);
}

void ReviewSheet::moveTickedToTrash() {
    if (m_trashing)
        return;
    // The shelf as it is now, in its order: what is listed and ticked.
    std::unordered_set<std::string> ticked;
    for (const fs::path &file : m_model->tickedFiles())
        ticked.insert(file.native());
    std::vector<Shelf::Item> chosen;
    for (const auto &item : m_shelf.items())
        if (ticked.contains(item.url.native()))
            chosen.push_back(item);
    m_trashing = true;
    const QPointer<ReviewSheet> alive(this);
    m_shelf.trash(chosen);
    if (!alive)
        return;
    m_trashing = false;
    accept();
}

} // namespace kelo
