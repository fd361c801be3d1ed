// Snapshot mode: which window is pictured and how, the two appearances, and the kelo program
// itself writing pictures (or refusing to) with --snapshot.
#include "Appearance.h"
#include "SnapshotMode.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QStyle>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kelo::SnapshotMode;

// How many pixels in `area` stand out from the colour at its top-left corner.
int ink(const QImage &picture, const QRect &area) {
    const int background = picture.pixelColor(area.topLeft()).lightness();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += std::abs(picture.pixelColor(x, y).lightness() - background) > 60 ? 1 : 0;
    return count;
}

// The visible window titled exactly "Kelo", or a sheet on it; nothing else. A sheet is pictured
// alone, without a drawn frame.
TEST(SnapshotTarget, TheVisibleKeloWindowOrTheSheetOnIt) {
    EXPECT_EQ(SnapshotMode::target(), nullptr);
    QWidget other, window;
    other.setWindowTitle(QStringLiteral("Kelo — other"));
    other.show();
    QDialog dialog(&other);
    dialog.show();
    window.setWindowTitle(QStringLiteral("kelo"));
    window.show();
    EXPECT_EQ(SnapshotMode::target(), nullptr);
    window.setWindowTitle(QStringLiteral("Kelo"));
    EXPECT_EQ(SnapshotMode::target(), &window);

    QDialog sheet(&window);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.resize(420, 300);
    sheet.show();
    EXPECT_EQ(SnapshotMode::target(), &sheet);
    const QImage sheetPicture = SnapshotMode::picture(sheet);
    const qreal ratio = sheet.devicePixelRatioF();
    EXPECT_EQ(sheetPicture.size(), QSize(qRound(420 * ratio), qRound(300 * ratio)));
    EXPECT_EQ(qAlpha(sheetPicture.pixel(0, 0)), 255);
    sheet.hide();
    EXPECT_EQ(SnapshotMode::target(), &window);
    window.hide();
    EXPECT_EQ(SnapshotMode::target(), nullptr);
}

// The window gets a title bar with rounded corners, its title and subtitle, and a close button.
TEST(SnapshotTarget, TheWindowGetsATitleBarWithTitleAndSubtitle) {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Kelo"));
    window.resize(640, 520);
    window.setProperty("keloSubtitle", QStringLiteral("3 over de datum"));
    window.show();
    const QImage picture = SnapshotMode::picture(window);
    const qreal ratio = window.devicePixelRatioF();
    EXPECT_EQ(picture.size(), QSize(qRound(640 * ratio), qRound((520 + 38) * ratio)));
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
    // The title in the middle of the upper half of the bar, the subtitle in the lower half, the
    // close button at the right end.
    const int middle = picture.width() / 2;
    EXPECT_GT(ink(picture, QRect(middle - 40, 2, 80, 18)), 10);
    EXPECT_GT(ink(picture, QRect(middle - 60, 21, 120, 15)), 10);
    EXPECT_GT(ink(picture, QRect(picture.width() - 36, 10, 26, 18)), 3);
    // Without a subtitle the title sits in the middle of the bar.
    window.setProperty("keloSubtitle", QString());
    const QImage plain = SnapshotMode::picture(window);
    EXPECT_GT(ink(plain, QRect(middle - 40, 12, 80, 14)), 10);
    EXPECT_EQ(ink(plain, QRect(middle - 60, 30, 120, 6)), 0);
}

// Light is light, dark is dark, and in the dark every text reads on its background, a disabled
// one quieter but still there.
TEST(Appearance, LightIsLightAndDarkIsDarkAndReadable) {
    const QPalette dark = kelo::darkPalette();
    EXPECT_GT(kelo::lightPalette().color(QPalette::Window).lightness(), 200);
    EXPECT_LT(kelo::lightPalette().color(QPalette::WindowText).lightness(), 60);
    EXPECT_LT(dark.color(QPalette::Window).lightness(), 50);
    const auto lightness = [&](QPalette::ColorRole role, QPalette::ColorGroup group) {
        return dark.color(group, role).lightness();
    };
    for (const auto &[text, background] : {std::pair{QPalette::WindowText, QPalette::Window},
                                           {QPalette::Text, QPalette::Base},
                                           {QPalette::ButtonText, QPalette::Button},
                                           {QPalette::ToolTipText, QPalette::ToolTipBase},
                                           {QPalette::Link, QPalette::Base}})
        EXPECT_GT(lightness(text, QPalette::Active), lightness(background, QPalette::Active) + 120)
            << text;
    const int disabled = lightness(QPalette::Text, QPalette::Disabled);
    EXPECT_LT(disabled, lightness(QPalette::Text, QPalette::Active) - 60);
    EXPECT_GT(disabled, lightness(QPalette::Base, QPalette::Disabled) + 50);
    // A calm blue for selections.
    EXPECT_GT(dark.color(QPalette::Highlight).blue(), dark.color(QPalette::Highlight).red() + 60);
}

TEST(Appearance, ApplyingItReachesEveryWidget) {
    QWidget window;
    QWidget child(&window);
    for (const QPalette &palette : {kelo::darkPalette(), kelo::lightPalette()}) {
        kelo::applyAppearance(palette);
        QApplication::processEvents();
        EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
        EXPECT_EQ(child.palette().color(QPalette::Window), palette.color(QPalette::Window));
    }
}

// Runs kelo on the offscreen platform in a home of its own, searching only that home for stamped
// files.
class SnapshotProgram : public ::testing::Test {
protected:
    TemporaryFolder home;

    // Runs kelo to its end, in its home folder; `took` is how long it ran.
    ProcessResult run(const std::vector<std::string> &arguments) {
        const std::string folder = home.path().string();
        std::vector<std::string> argv = {"/usr/bin/env", "-C", folder, KELO_PROGRAM};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const auto start = std::chrono::steady_clock::now();
        ProcessResult result = runProcess(
            argv, {"QT_QPA_PLATFORM=offscreen", "HOME=" + folder,
                   "XDG_CONFIG_HOME=" + folder + "/config", "XDG_CACHE_HOME=" + folder + "/cache",
                   "XDG_DATA_HOME=" + folder + "/data", "KELO_SEARCH_SCOPES=" + folder + "/files"});
        took = std::chrono::steady_clock::now() - start;
        return result;
    }
    // A file in the searched folder, stamped with an expiry day.
    void stamp(const std::string &name, const std::string &day) {
        fs::create_directories(home.path() / "files");
        const fs::path file = home.path() / "files" / name;
        std::ofstream(file) << "data";
        ASSERT_EQ(
            ::setxattr(file.c_str(), "user.wex.dorvel.kelo.expires", day.data(), day.size(), 0), 0);
        ASSERT_EQ(::setxattr(file.c_str(), "user.xdg.tags", "Kelo", 4, 0), 0);
    }
    QImage picture(const std::string &name) const {
        return QImage(QString::fromStdString((home.path() / name).string()));
    }
    // The lightness of the picture's average colour.
    static int lightness(const QImage &picture) {
        return picture.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .pixelColor(0, 0)
            .lightness();
    }

    std::chrono::steady_clock::duration took{};
};

// The shelf window with its drawn title bar, light or dark, after four seconds; a relative path is
// taken against the current folder, and a file already there is replaced. With the review, the
// picture is of the sheet alone.
TEST_F(SnapshotProgram, PicturesTheShelfWindowInBothAppearancesOrTheReviewAndEnds) {
    stamp("report.pdf", "2099-01-01");
    stamp("old.pdf", "2020-01-01");
    std::ofstream(home.path() / "light.png") << "old";
    const auto light = run({"--snapshot", "light.png"});
    ASSERT_EQ(light.exitCode, 0) << light.err;
    EXPECT_GE(took, 3900ms);
    const QImage shelf = picture("light.png");
    EXPECT_GE(shelf.width(), 640);
    EXPECT_GE(shelf.height(), 380 + 38);
    EXPECT_EQ(qAlpha(shelf.pixel(0, 0)), 0) << "no rounded corner: no drawn frame";
    EXPECT_GT(lightness(shelf), 150);

    const auto dark = run({"--dark", "--snapshot", (home.path() / "dark.png").string()});
    ASSERT_EQ(dark.exitCode, 0) << dark.err;
    EXPECT_LT(lightness(picture("dark.png")), 90);

    const auto review = run({"--review", "--snapshot", "sheet.png"});
    ASSERT_EQ(review.exitCode, 0) << review.err;
    EXPECT_EQ(qAlpha(picture("sheet.png").pixel(0, 0)), 255) << "a frame drawn around the sheet";
}

// A folder that does not exist, or a start at login that shows no window: exit status 1, why,
// and no file.
TEST_F(SnapshotProgram, NothingToPictureOrNowhereToWriteEndsWithOneAndSaysWhy) {
    const std::string missing = (home.path() / "missing/shot.png").string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--snapshot", missing}, "kelo: could not write the snapshot to " + missing + ": "},
        {{"--login-item", "--snapshot", "shot.png"}, "kelo: nothing to take a snapshot of"}};
    for (const auto &[arguments, message] : cases) {
        const auto outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
        EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    }
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(home.path() / "shot.png"));
}

} // namespace
