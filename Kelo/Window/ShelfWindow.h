#pragma once

#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QTimer>
#include <QWidget>

#include "ReviewSheet.h"

namespace kelo {

class Shelf;
class ShelfListView;
class IntegrationDialog;
class TrayAvailability;

// The one shelf window, titled "Kelo": a header with the subtitle, then the progress indicator
// while the shelf loads, the empty shelf, or the list by freshness; a footer below. The review
// opens over it as a sheet while the shelf is reviewing. Where the desktop shows no tray, a quiet
// line under the body says how to get one.
class ShelfWindow : public QWidget {
    Q_OBJECT

public:
    explicit ShelfWindow(Shelf &shelf, QWidget *parent = nullptr);
    ~ShelfWindow() override;

    // Opens the window (there is only ever this one), raises it and gives it the focus.
    void present();

    // "12 over de datum", "Eerstvolgende: nog 3 dagen", or "" for an empty shelf.
    QString subtitle() const;
    // What the body shows now.
    enum class Body { loading, empty, list };
    Body body() const;
    ReviewSheet *reviewSheet() const { return m_sheet; }
    // Shows the line about the missing tray while `trays` finds none, and asks again each time
    // the window is shown.
    void followTray(TrayAvailability &trays);
    bool trayHintShown() const { return !m_trayHint->isHidden(); }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void updateReview();
    void scheduleMidnightRefresh();
    void showExtensions();
    // Secondary texts and links take their colours from the palette in force.
    void applyColors();

    Shelf &m_shelf;
    QWidget *m_header = nullptr;
    QLabel m_subtitle;
    QLabel *m_howTo = nullptr;
    QLabel *m_emptyText = nullptr;
    QLabel *m_trayHint = nullptr;
    QPointer<TrayAvailability> m_trays;
    QStackedWidget m_body;
    QWidget *m_loading = nullptr;
    QWidget *m_empty = nullptr;
    ShelfListView *m_list = nullptr;
    QPointer<ReviewSheet> m_sheet;
    QPointer<IntegrationDialog> m_extensions;
    QTimer m_midnight;
};

} // namespace kelo
