#include "ReviewSheet.h"

#include "ByteCount.h"
#include "FileIcons.h"
#include "FolderText.h"
#include "FreshnessStyle.h"
#include "Shelf.h"
#include "Symbols.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>

namespace kelo {

namespace fs = std::filesystem;

// One line of text whose digits all take the width of the widest, so that counts and sizes do
// not shift as they change and line up in a column. Qt 6.4 cannot ask the font for its tabular
// figures, so each digit is drawn centred in a cell of its own.
class TabularLabel : public QWidget {
public:
    explicit TabularLabel(QWidget *parent = nullptr) : QWidget(parent) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    }

    QString text() const { return m_text; }
    void setText(const QString &text) {
        if (text == m_text)
            return;
        m_text = text;
        updateGeometry();
        update();
    }
    void setColor(const QColor &color) {
        m_color = color;
        update();
    }

    QSize sizeHint() const override {
        const QFontMetrics metrics = fontMetrics();
        int width = 0;
        forEachRun(
            [&](const QString &run, bool digits) { width += runWidth(metrics, run, digits); });
        return {width, metrics.height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setPen(m_color);
        const QFontMetrics metrics = fontMetrics();
        // Right-aligned: a column of sizes ends on one edge.
        int x = width() - sizeHint().width();
        const int baseline = (height() - metrics.height()) / 2 + metrics.ascent();
        const int cell = digitWidth(metrics);
        forEachRun([&](const QString &run, bool digits) {
            if (!digits) {
                painter.drawText(x, baseline, run);
                x += metrics.horizontalAdvance(run);
                return;
            }
            for (const QChar digit : run) {
                painter.drawText(x + (cell - metrics.horizontalAdvance(digit)) / 2, baseline,
                                 QString(digit));
                x += cell;
            }
        });
    }

private:
    static bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

    static int digitWidth(const QFontMetrics &metrics) {
        int widest = 0;
        for (char16_t digit = u'0'; digit <= u'9'; ++digit)
            widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
        return widest;
    }

    static int runWidth(const QFontMetrics &metrics, const QString &run, bool digits) {
        return digits ? digitWidth(metrics) * static_cast<int>(run.size())
                      : metrics.horizontalAdvance(run);
    }

    template <typename Visit> void forEachRun(Visit visit) const {
        qsizetype start = 0;
        while (start < m_text.size()) {
            const bool digits = isDigit(m_text[start]);
            qsizetype end = start;
            while (end < m_text.size() && isDigit(m_text[end]) == digits)
                ++end;
            visit(m_text.mid(start, end - start), digits);
            start = end;
        }
    }

    QString m_text;
    QColor m_color;
};

namespace {

// One line of text, shortened with "…" where it does not fit; text() stays the whole text.
class ElidedLabel : public QLabel {
public:
    ElidedLabel(const QString &text, Qt::TextElideMode mode, QWidget *parent)
        : QLabel(text, parent), m_mode(mode) {}

    void setColor(const QColor &color) {
        QPalette colored = palette();
        colored.setColor(QPalette::WindowText, color);
        setPalette(colored);
    }

    // Whole pixels up, or a text that fits just so would be shortened.
    QSize sizeHint() const override {
        return {qCeil(QFontMetricsF(font()).horizontalAdvance(text())), fontMetrics().height()};
    }
    QSize minimumSizeHint() const override {
        const QSize full = sizeHint();
        return {std::min(full.width(), fontMetrics().horizontalAdvance(u'…') * 4), full.height()};
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), m_mode, width()));
    }

private:
    Qt::TextElideMode m_mode;
};

// A checkbox whose label is a row of its own: a click anywhere on the row toggles it.
class CheckRow : public QWidget {
public:
    CheckRow(QCheckBox *box, QWidget *parent) : QWidget(parent), m_box(box) {}

protected:
    void mousePressEvent(QMouseEvent *event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent *event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            m_box->click();
    }

private:
    QCheckBox *m_box;
};

// A folder group's checkbox: mixed when some of its files are ticked, and a click ticks all
// unless all were ticked already.
class GroupCheckBox : public QCheckBox {
public:
    explicit GroupCheckBox(QWidget *parent) : QCheckBox(parent) { setTristate(true); }

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

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

// The text styles of the review, relative to the body text.
constexpr qreal title2Scale = 1.3;
constexpr qreal calloutScale = 0.92;

constexpr int iconSize = 20;

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

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_scroll, 1);

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
    connect(this, &QDialog::finished, this, [this] { m_shelf.setReviewing(false); });
    connect(&m_shelf, &Shelf::itemsChanged, this, [this] {
        if (!m_trashing)
            reload();
    });

    reload();
    // Every expired file starts ticked. A file that joins the list while the sheet is open (its
    // date passed meanwhile) starts unticked: only what the user saw ticked goes.
    for (const auto &[file, bytes] : m_sizes)
        m_selected.insert(file);
    updateColors();
    updateChecks();
    updateFooter();
}

ReviewSheet::~ReviewSheet() = default;

std::int64_t ReviewSheet::fileSize(const fs::path &file) const {
    const auto found = m_sizes.find(file);
    return found == m_sizes.end() ? 0 : found->second;
}

// Only listed files count: a ticked file that left the review (its date was renewed, it was
// removed) is neither counted nor moved.
int ReviewSheet::tickedCount() const {
    return static_cast<int>(
        std::count_if(m_selected.begin(), m_selected.end(),
                      [&](const fs::path &file) { return m_sizes.contains(file); }));
}

std::int64_t ReviewSheet::tickedTotal() const {
    std::int64_t total = 0;
    for (const auto &file : m_selected)
        total += fileSize(file);
    return total;
}

QString ReviewSheet::summaryText() const {
    return m_summary->text();
}

QCheckBox *ReviewSheet::fileCheckBox(const fs::path &file) const {
    const auto found = m_fileBoxes.find(file);
    return found == m_fileBoxes.end() ? nullptr : found->second;
}

QCheckBox *ReviewSheet::groupCheckBox(const fs::path &folder) const {
    const auto found = m_groupBoxes.find(folder);
    return found == m_groupBoxes.end() ? nullptr : found->second;
}

QString ReviewSheet::sizeText(const fs::path &file) const {
    const auto found = m_sizeLabels.find(file);
    return found == m_sizeLabels.end() ? QString() : found->second->text();
}

QWidget *ReviewSheet::groupHeader(const fs::path &folder) const {
    const auto found = m_groupHeaders.find(folder);
    return found == m_groupHeaders.end() ? nullptr : found->second;
}

void ReviewSheet::changeEvent(QEvent *event) {
    QDialog::changeEvent(event);
    // Built last: before it the sheet is still being made.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) &&
        m_trash) {
        updateColors();
        rebuildList();
    }
}

// The expired files and their sizes, taken anew from the shelf; the ticks stay as they are.
void ReviewSheet::reload() {
    std::vector<fs::path> files;
    for (const auto &item : m_shelf.items(Freshness::expired))
        files.push_back(item.url);
    m_groups = folderGroups(files);
    m_sizes.clear();
    for (const auto &file : files)
        m_sizes[file] = allocatedSize(file);
    rebuildList();
    updateFooter();
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

void ReviewSheet::rebuildList() {
    // Keep the place and the focus the user had in the list.
    const int scrolled = m_scroll->verticalScrollBar()->value();
    fs::path focused;
    bool focusedGroup = false;
    for (const auto *boxes : {&m_fileBoxes, &m_groupBoxes})
        for (const auto &[path, box] : *boxes)
            if (box->hasFocus()) {
                focused = path;
                focusedGroup = boxes == &m_groupBoxes;
            }
    m_fileBoxes.clear();
    m_groupBoxes.clear();
    m_sizeLabels.clear();
    m_groupHeaders.clear();

    const QColor secondary = secondaryTextColor(palette());
    const QColor primary = palette().color(QPalette::WindowText);
    const QFont headline = scaledFont(font(), 1.0, true);
    const QFont callout = scaledFont(font(), calloutScale);
    const qreal ratio = devicePixelRatioF();

    auto *content = new QWidget;
    content->setBackgroundRole(QPalette::Base);
    content->setAutoFillBackground(true);
    auto *list = new QVBoxLayout(content);
    // With the rows' own margins, checkboxes and sizes line up with the header's 20 points.
    list->setContentsMargins(12, 6, 12, 10);
    list->setSpacing(0);

    for (const FolderGroup &group : m_groups) {
        if (&group != &m_groups.front())
            list->addSpacing(10);

        auto *box = new GroupCheckBox(content);
        auto *row = new CheckRow(box, content);
        row->setToolTip(displayText(group.folder));
        box->setParent(row);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(8, 4, 8, 4);
        rowLayout->setSpacing(6);
        rowLayout->addWidget(box);
        auto *symbol = new QLabel(row);
        symbol->setPixmap(symbolPixmap(QStringLiteral("folder"), 16, primary, ratio));
        auto *name = new ElidedLabel(displayText(group.folder.filename()), Qt::ElideMiddle, row);
        name->setFont(headline);
        auto *parentText =
            new ElidedLabel(folderText(group.folder.parent_path()), Qt::ElideLeft, row);
        parentText->setColor(secondary);
        parentText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        rowLayout->addWidget(symbol);
        rowLayout->addWidget(name);
        rowLayout->addWidget(parentText, 1);
        list->addWidget(row);
        m_groupBoxes[group.folder] = box;
        m_groupHeaders[group.folder] = row;
        connect(box, &QCheckBox::clicked, this,
                [this, group](bool ticked) { setGroupTicked(group, ticked); });

        for (const fs::path &file : group.files) {
            auto *fileBox = new QCheckBox(content);
            auto *fileRow = new CheckRow(fileBox, content);
            fileBox->setParent(fileRow);
            auto *fileLayout = new QHBoxLayout(fileRow);
            fileLayout->setContentsMargins(8, 4, 8, 4);
            fileLayout->setSpacing(6);
            fileLayout->addWidget(fileBox);
            auto *parts = new QHBoxLayout;
            parts->setSpacing(8);
            auto *icon = new QLabel(fileRow);
            icon->setFixedSize(iconSize, iconSize);
            icon->setPixmap(m_icons.icon(file, iconSize, ratio, secondary));
            auto *fileName =
                new ElidedLabel(displayText(file.filename()), Qt::ElideMiddle, fileRow);
            fileName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            auto *sizeText = new TabularLabel(fileRow);
            sizeText->setFont(callout);
            sizeText->setColor(secondary);
            sizeText->setText(byteCountText(fileSize(file)));
            parts->addWidget(icon);
            parts->addWidget(fileName, 1);
            parts->addWidget(sizeText);
            fileLayout->addLayout(parts, 1);
            list->addWidget(fileRow);
            m_fileBoxes[file] = fileBox;
            m_sizeLabels[file] = sizeText;
            connect(fileBox, &QCheckBox::clicked, this,
                    [this, file](bool ticked) { setTicked(file, ticked); });
        }
    }
    list->addStretch();

    // The old content goes with the old widget.
    m_scroll->setWidget(content);
    updateChecks();
    m_scroll->verticalScrollBar()->setValue(scrolled);
    if (!focused.empty())
        if (QCheckBox *box = focusedGroup ? groupCheckBox(focused) : fileCheckBox(focused))
            box->setFocus();
}

void ReviewSheet::updateChecks() {
    for (const auto &[file, box] : m_fileBoxes)
        box->setChecked(m_selected.contains(file));
    for (const FolderGroup &group : m_groups) {
        const auto ticked =
            std::count_if(group.files.begin(), group.files.end(),
                          [&](const fs::path &file) { return m_selected.contains(file); });
        const Qt::CheckState state = ticked == 0 ? Qt::Unchecked
                                     : static_cast<size_t>(ticked) == group.files.size()
                                         ? Qt::Checked
                                         : Qt::PartiallyChecked;
        if (QCheckBox *box = groupCheckBox(group.folder))
            box->setCheckState(state);
    }
}

void ReviewSheet::updateFooter() {
    const int ticked = tickedCount();
    m_summary->setText(
        tr("%1 van %2 · %3").arg(ticked).arg(m_sizes.size()).arg(byteCountText(tickedTotal())));
    m_trash->setText(ticked == 1 ? tr("1 bestand naar prullenbak")
                                 : tr("%1 bestanden naar prullenbak").arg(ticked));
    m_trash->setEnabled(ticked > 0);
    fitToTitle(m_trash);
}

void ReviewSheet::setTicked(const fs::path &file, bool ticked) {
    if (ticked)
        m_selected.insert(file);
    else
        m_selected.erase(file);
    updateChecks();
    updateFooter();
}

void ReviewSheet::setGroupTicked(const FolderGroup &group, bool ticked) {
    for (const fs::path &file : group.files) {
        if (ticked)
            m_selected.insert(file);
        else
            m_selected.erase(file);
    }
    updateChecks();
    updateFooter();
}

void ReviewSheet::moveTickedToTrash() {
    if (m_trashing)
        return;
    // The shelf as it is now, in its order: what is ticked and still listed.
    std::vector<Shelf::Item> chosen;
    for (const auto &item : m_shelf.items())
        if (m_sizes.contains(item.url) && m_selected.contains(item.url))
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
