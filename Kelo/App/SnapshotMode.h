#pragma once

#include <QImage>
#include <QObject>
#include <QString>

class QWidget;

namespace kelo {

struct LaunchArguments;

// "--snapshot PATH": a picture of what Kelo shows four seconds after start, written as a PNG to
// PATH, and then Kelo quits. Nothing of the normal start is skipped or delayed; the picture is
// drawn in the Fusion style with Kelo's own palettes, so it looks the same on every desktop.
// A window whose "keloSettling" property is true is still filling in what it shows (the review
// grouping its files or counting their sizes): the picture waits for it, ten seconds at most.
class SnapshotMode : public QObject {
    Q_OBJECT

public:
    // Arms snapshot mode when the arguments ask for it; otherwise does nothing. The armed mode
    // lives as a child of `parent`.
    static void arm(const LaunchArguments &arguments, QObject *parent);

    SnapshotMode(QString path, bool dark, QObject *parent = nullptr);

    // What the picture is taken of: the first visible dialog on the window titled "Kelo" (the
    // review sheet), else the first visible window titled "Kelo"; null when neither is on screen.
    static QWidget *target();
    // The picture of a target. The shelf window gets a title bar drawn by Kelo above its
    // content, with the title and the window's "keloSubtitle"; a dialog is pictured alone.
    static QImage picture(QWidget &target);

private:
    void capture();

    QString m_path;
    // How often the picture waited for a settling window.
    int m_settled = 0;
};

} // namespace kelo
