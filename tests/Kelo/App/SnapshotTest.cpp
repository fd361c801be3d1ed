// Snapshot mode: which window is pictured and how, the two appearances, and the kelo program
// itself writing pictures (or refusing to) with --snapshot.
#include "Appearance.h"
#include "LaunchArguments.h"
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
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kelo::SnapshotMode;

// Mean brightness (0–255) of the picture's opaque pixels.
double meanLuma(const QImage &picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    long long count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) < 255)
                continue;
            sum += 0.2126 * qRed(pixel) + 0.7152 * qGreen(pixel) + 0.0722 * qBlue(pixel);
            ++count;
        }
    }
    return count > 0 ? sum / static_cast<double>(count) : 0;
}

// How many pixels in `area` stand out from the colour at its top-left corner.
int pixelsStandingOut(const QImage &picture, const QRect &area) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QColor background = image.pixelColor(area.topLeft());
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (std::abs(image.pixelColor(x, y).lightness() - background.lightness()) > 60)
                ++count;
        }
    }
    return count;
}

// ---- The arguments ----

TEST(SnapshotArguments, ThePathAfterTheFirstSnapshotCountsAndIsStillReadAsAnArgument) {
    const auto parse = [](QStringList arguments) {
        arguments.prepend(QStringLiteral("kelo"));
        return kelo::LaunchArguments::parse(arguments);
    };
    EXPECT_EQ(parse({"--snapshot", "a.png", "--snapshot", "b.png"}).snapshot, "a.png");
    EXPECT_EQ(parse({"--snapshot", "a.png", "--snapshot"}).snapshot, "a.png");
    EXPECT_EQ(parse({"--snapshot", "--snapshot", "b.png"}).snapshot, "--snapshot");
    EXPECT_FALSE(parse({"--dark", "--snapshot"}).snapshot);
    const auto arguments = parse({"--snapshot", "--dark"});
    EXPECT_EQ(arguments.snapshot, "--dark");
    EXPECT_TRUE(arguments.dark);
}

// ---- Which window, and the picture of it ----

class SnapshotTarget : public ::testing::Test {
protected:
    void SetUp() override {
        m_window.setWindowTitle(QStringLiteral("Kelo"));
        m_window.resize(640, 520);
    }
    void TearDown() override { QApplication::processEvents(); }

    QWidget m_window;
};

// The visible window titled exactly "Kelo", or a sheet on it; nothing else.
TEST_F(SnapshotTarget, TheVisibleKeloWindowOrTheSheetOnIt) {
    EXPECT_EQ(SnapshotMode::target(), nullptr);
    QWidget other;
    other.setWindowTitle(QStringLiteral("Kelo — other"));
    other.show();
    QDialog dialog(&other);
    dialog.show();
    m_window.setWindowTitle(QStringLiteral("kelo"));
    m_window.show();
    EXPECT_EQ(SnapshotMode::target(), nullptr);
    m_window.setWindowTitle(QStringLiteral("Kelo"));
    EXPECT_EQ(SnapshotMode::target(), &m_window);

    QDialog sheet(&m_window);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.resize(420, 300);
    sheet.show();
    EXPECT_EQ(SnapshotMode::target(), &sheet);
    // A sheet is pictured alone, without a drawn frame.
    const QImage sheetPicture = SnapshotMode::picture(sheet);
    const qreal ratio = sheet.devicePixelRatioF();
    EXPECT_EQ(sheetPicture.size(), QSize(qRound(420 * ratio), qRound(300 * ratio)));
    EXPECT_EQ(qAlpha(sheetPicture.pixel(0, 0)), 255);
    sheet.hide();
    EXPECT_EQ(SnapshotMode::target(), &m_window);
    m_window.hide();
    EXPECT_EQ(SnapshotMode::target(), nullptr);
}

TEST_F(SnapshotTarget, TheWindowGetsATitleBarWithTitleAndSubtitle) {
    m_window.setProperty("keloSubtitle", QStringLiteral("3 over de datum"));
    m_window.show();
    const QImage picture = SnapshotMode::picture(m_window);
    ASSERT_FALSE(picture.isNull());
    const qreal ratio = m_window.devicePixelRatioF();
    EXPECT_EQ(picture.width(), qRound(640 * ratio));
    EXPECT_EQ(picture.height(), qRound((520 + 38) * ratio));
    // Rounded corners: the very corner is left clear.
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
    // The title in the middle of the upper half of the bar, the subtitle in the lower half.
    const int middle = picture.width() / 2;
    EXPECT_GT(pixelsStandingOut(picture, QRect(middle - 40, 2, 80, 18)), 10);
    EXPECT_GT(pixelsStandingOut(picture, QRect(middle - 60, 21, 120, 15)), 10);
    // The close button at the right end.
    EXPECT_GT(pixelsStandingOut(picture, QRect(picture.width() - 36, 10, 26, 18)), 3);

    // Without a subtitle the title sits in the middle of the bar.
    m_window.setProperty("keloSubtitle", QString());
    const QImage plain = SnapshotMode::picture(m_window);
    EXPECT_GT(pixelsStandingOut(plain, QRect(middle - 40, 12, 80, 14)), 10);
    EXPECT_EQ(pixelsStandingOut(plain, QRect(middle - 60, 30, 120, 6)), 0);
}

// ---- The appearances ----

TEST(Appearance, LightIsLightAndDarkIsDarkAndReadable) {
    const QPalette dark = kelo::darkPalette();
    EXPECT_GT(kelo::lightPalette().color(QPalette::Window).lightness(), 200);
    EXPECT_LT(kelo::lightPalette().color(QPalette::WindowText).lightness(), 60);
    EXPECT_LT(dark.color(QPalette::Window).lightness(), 50);
    EXPECT_LT(dark.color(QPalette::Base).lightness(), 60);
    EXPECT_GT(dark.color(QPalette::WindowText).lightness(), 200);
    EXPECT_GT(dark.color(QPalette::Text).lightness(), 200);
    EXPECT_GT(dark.color(QPalette::ButtonText).lightness(), 200);
    EXPECT_GT(dark.color(QPalette::ToolTipText).lightness(),
              dark.color(QPalette::ToolTipBase).lightness() + 120);
    // A calm blue for selections, and readable links.
    const QColor highlight = dark.color(QPalette::Highlight);
    EXPECT_GT(highlight.blue(), highlight.red() + 60);
    EXPECT_GT(dark.color(QPalette::Link).lightness(), 140);
    // Disabled texts are quieter than the enabled ones, but still there.
    const int disabled = dark.color(QPalette::Disabled, QPalette::Text).lightness();
    EXPECT_LT(disabled, dark.color(QPalette::Active, QPalette::Text).lightness() - 60);
    EXPECT_GT(disabled, dark.color(QPalette::Disabled, QPalette::Base).lightness() + 50);
}

TEST(Appearance, ApplyingItReachesEveryWidget) {
    QWidget window;
    QWidget child(&window);
    kelo::applyAppearance(kelo::darkPalette());
    QApplication::processEvents();
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
    EXPECT_EQ(child.palette().color(QPalette::Window), kelo::darkPalette().color(QPalette::Window));
    kelo::applyAppearance(kelo::lightPalette());
    QApplication::processEvents();
    EXPECT_EQ(child.palette().color(QPalette::Window),
              kelo::lightPalette().color(QPalette::Window));
}

// ---- The kelo program with --snapshot ----

// Runs kelo on the offscreen platform in a home of its own, searching only that home for stamped
// files.
class SnapshotProgram : public ::testing::Test {
protected:
    std::vector<std::string> environment() const {
        const std::string home = m_home.path().string();
        return {"QT_QPA_PLATFORM=offscreen",           "HOME=" + home,
                "XDG_CONFIG_HOME=" + home + "/config", "XDG_CACHE_HOME=" + home + "/cache",
                "XDG_DATA_HOME=" + home + "/data",     "KELO_SEARCH_SCOPES=" + home + "/files"};
    }
    // Runs kelo to its end, in its home folder; `took` is how long it ran.
    ProcessResult run(const std::vector<std::string> &arguments) {
        std::vector<std::string> argv = {"/usr/bin/env", "-C", m_home.path().string(),
                                         KELO_PROGRAM};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const auto start = std::chrono::steady_clock::now();
        ProcessResult result = runProcess(argv, environment());
        took = std::chrono::steady_clock::now() - start;
        return result;
    }

    // A file in the searched folder, stamped with an expiry day.
    void stamp(const std::string &name, const std::string &day) {
        fs::create_directories(m_home.path() / "files");
        const fs::path file = m_home.path() / "files" / name;
        std::ofstream(file) << "data";
        ASSERT_EQ(
            ::setxattr(file.c_str(), "user.wex.dorvel.kelo.expires", day.data(), day.size(), 0), 0);
        ASSERT_EQ(::setxattr(file.c_str(), "user.xdg.tags", "Kelo", 4, 0), 0);
    }

    fs::path path(const std::string &name) const { return m_home.path() / name; }

    std::chrono::steady_clock::duration took{};

private:
    TemporaryFolder m_home;
};

// A relative path is taken against the current folder, and a file already there is replaced.
TEST_F(SnapshotProgram, PicturesTheShelfWindowWithItsTitleBarInBothAppearancesAndEnds) {
    stamp("report.pdf", "2099-01-01");
    std::ofstream(path("light.png")) << "old";
    const auto light = run({"--snapshot", "light.png"});
    ASSERT_EQ(light.exitCode, 0) << light.err;
    EXPECT_GE(took, 3900ms);
    const QImage picture(QString::fromStdString(path("light.png").string()));
    ASSERT_FALSE(picture.isNull());
    EXPECT_GE(picture.width(), 640);
    EXPECT_GE(picture.height(), 380 + 38);
    // The drawn frame's rounded corner: this is the window, title bar included.
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
    EXPECT_GT(meanLuma(picture), 150);

    const auto dark = run({"--dark", "--snapshot", path("dark.png").string()});
    ASSERT_EQ(dark.exitCode, 0) << dark.err;
    EXPECT_LT(meanLuma(QImage(QString::fromStdString(path("dark.png").string()))), 90);
}

TEST_F(SnapshotProgram, AFolderThatDoesNotExistEndsWithOneAndSaysWhy) {
    const std::string target = path("missing/shot.png").string();
    const auto outcome = run({"--snapshot", target});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("kelo: could not write the snapshot to " + target + ": "),
              std::string::npos)
        << outcome.err;
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(SnapshotProgram, ALoginItemStartHasNothingToPicture) {
    const auto outcome = run({"--login-item", "--snapshot", path("shot.png").string()});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("kelo: "), std::string::npos);
    EXPECT_FALSE(fs::exists(path("shot.png")));
}

TEST_F(SnapshotProgram, AsTheLastArgumentKeloRunsOnAsUsual) {
    const pid_t kelo = spawnProcess({KELO_PROGRAM, "--snapshot"}, environment());
    ASSERT_GT(kelo, 0);
    std::this_thread::sleep_for(6s);
    int status = 0;
    EXPECT_EQ(::waitpid(kelo, &status, WNOHANG), 0) << "ended with " << WEXITSTATUS(status);
    ::kill(kelo, SIGTERM);
    ::waitpid(kelo, &status, 0);
}

TEST_F(SnapshotProgram, WithTheReviewThePictureIsOfTheSheetAlone) {
    stamp("old.pdf", "2020-01-01");
    const auto outcome = run({"--review", "--snapshot", path("sheet.png").string()});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const QImage picture(QString::fromStdString(path("sheet.png").string()));
    ASSERT_FALSE(picture.isNull());
    // No drawn frame around a sheet: its corner is the sheet's own background.
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 255);
}

} // namespace
