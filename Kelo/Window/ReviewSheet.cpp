#include "ReviewSheet.h"

#include "ByteCount.h"
#include "DiskUsage.h"
#include "Fonts.h"
#include "FreshnessStyle.h"
#include "ReviewList.h"
#include "ReviewListModel.h"
#include "ReviewListView.h"
#include "Symbols.h"
#include "TabularText.h"

#include <QEvent>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPromise>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrentRun>

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <utility>

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
    m_atOpen = m_shelf.run(Freshness::expired);
    reload();
    updateColors();
    updateFooter();
}

ReviewSheet::~ReviewSheet() {
    // A grouping still running finishes on its own, with nothing of the sheet's.
    cancelGrouping();
}

std::vector<FolderGroup> ReviewSheet::groups() const {
    return m_model->groups();
}

bool ReviewSheet::listFilled() const {
    return m_model->filled() && !m_grouping;
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
    return static_cast<int>(m_model->filled() ? m_model->tickedCount()
                                              : static_cast<qsizetype>(m_atOpen.size()));
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

// The expired files taken anew from the shelf and grouped on a worker; the ticks stay as they
// are. A grouping still running is overtaken.
void ReviewSheet::reload() {
    Shelf::Run expired = m_shelf.run(Freshness::expired);
    if (expired.sameAs(m_asked))
        return;
    cancelGrouping();
    m_asked = expired;
    ReviewListRequest request{std::move(expired), m_atOpen, m_model->list(), nullptr};
    if (request.shown)
        request.shownTicks = m_askedTicks =
            std::make_shared<const std::vector<char>>(m_model->ticks());
    auto *grouping = new Grouping(this);
    m_grouping = grouping;
    connect(grouping, &QFutureWatcherBase::finished, this,
            [this, grouping] { takeList(grouping); });
    grouping->setFuture(
        QtConcurrent::run([request = std::move(request)](QPromise<ReviewListUpdate> &promise) {
            if (auto update = makeReviewList(request, [&] { return promise.isCanceled(); }))
                promise.addResult(std::move(*update));
        }));
    updateFooter();
}

void ReviewSheet::cancelGrouping() {
    if (!m_grouping)
        return;
    m_grouping->future().cancel();
    m_grouping->disconnect(this);
    m_grouping->deleteLater();
    m_grouping = nullptr;
    m_askedTicks.reset();
}

void ReviewSheet::takeList(Grouping *grouping) {
    if (grouping != m_grouping)
        return;
    m_grouping = nullptr;
    grouping->deleteLater();
    QFuture<ReviewListUpdate> future = grouping->future();
    const std::shared_ptr<const std::vector<char>> askedTicks = std::move(m_askedTicks);
    if (future.resultCount() > 0) {
        ReviewListUpdate update = future.takeResult();
        if (update.list) {
            // What the user ticked or unticked while the list was being made goes with it.
            if (askedTicks) {
                const ReviewList &shown = *m_model->list();
                const std::vector<char> &ticks = m_model->ticks();
                for (std::size_t place = 0; place < ticks.size(); ++place)
                    if (ticks[place] != (*askedTicks)[place])
                        if (const auto now = update.list->place((*shown.paths)[place]))
                            update.ticks[*now] = ticks[place];
            }
            m_model->setList(std::move(update.list), std::move(update.ticks));
            // From now on the list says what is ticked.
            releaseInBackground(std::exchange(m_atOpen, {}).list);
            wantSizes();
        }
    }
    updateFooter();
}

void ReviewSheet::wantSizes() {
    if (!m_closed && m_model->filled())
        m_shelf.diskUsage().wantShared(this, m_model->list()->paths);
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
    const qsizetype listed =
        m_model->filled() ? m_model->fileCount() : static_cast<qsizetype>(m_atOpen.size());
    const QString total = byteCountText(tickedTotal());
    // Sizes still being counted: the total so far, and that it is not all; in a narrow footer
    // only "…" says so. Before the list is made no size is asked for yet.
    if (!m_model->filled() || m_model->tickedTotalPending()) {
        m_summary->setText(tr("%1 van %2 · %3, telt nog…").arg(ticked).arg(listed).arg(total),
                           tr("%1 van %2 · %3…").arg(ticked).arg(listed).arg(total));
    } else {
        const QString summary = tr("%1 van %2 · %3").arg(ticked).arg(listed).arg(total);
        m_summary->setText(summary, summary);
    }
    // Read by snapshot mode, which waits for the list and the sizes before it takes its picture.
    setProperty("keloSettling", !listFilled() || !m_model->sizesKnown());
    m_trash->setText(ticked == 1 ? tr("1 bestand naar prullenbak")
                                 : tr("%1 bestanden naar prullenbak").arg(ticked));
    m_trash->setEnabled(ticked > 0);
    fitToTitle(m_trash);
}

void ReviewSheet::moveTickedToTrash() {
    if (m_trashing)
        return;
    // The shelf's expired files as they are now, in its order: those ticked. A file listed but
    // renewed since, its list not yet made anew, stays.
    std::vector<Shelf::Item> chosen;
    const Shelf::Run expired = m_shelf.run(Freshness::expired);
    if (m_model->filled()) {
        for (const auto &item : expired.items())
            if (m_model->isTicked(item.path))
                chosen.push_back(item);
    } else {
        // Before the first list nothing can have been unticked.
        std::unordered_set<std::string_view> atOpen;
        for (const auto &item : m_atOpen.items())
            atOpen.insert(item.path);
        for (const auto &item : expired.items())
            if (atOpen.contains(item.path))
                chosen.push_back(item);
    }
    m_trashing = true;
    const QPointer<ReviewSheet> alive(this);
    m_shelf.trash(chosen);
    if (!alive)
        return;
    m_trashing = false;
    accept();
}

} // namespace kelo
