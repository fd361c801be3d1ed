// Snapshot mode: the kelo program writing pictures of its window or review, light or dark, or
// refusing to, with --snapshot.
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;

// Runs kelo on the offscreen platform in a home of its own, searching only that home for stamped
// files.
class SnapshotProgram : public ::testing::Test {
protected:
    TemporaryFolder home;

    ProcessResult run(const std::vector<std::string> &arguments) {
        const std::string folder = home.path().string();
        std::vector<std::string> argv = {"/usr/bin/env", "-C", folder, KELO_PROGRAM};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return runProcess(
            argv, {"QT_QPA_PLATFORM=offscreen", "HOME=" + folder,
                   "XDG_CONFIG_HOME=" + folder + "/config", "XDG_CACHE_HOME=" + folder + "/cache",
                   "XDG_DATA_HOME=" + folder + "/data", "KELO_SEARCH_SCOPES=" + folder + "/files"});
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
};

// The shelf window with its drawn title bar, light or dark; a relative path is taken against the
// current folder, and a file already there is replaced. With the review, the picture is of the
// sheet alone, at its own size.
TEST_F(SnapshotProgram, PicturesTheShelfWindowInBothAppearancesOrTheReviewAndEnds) {
    fs::create_directories(home.path() / "files");
    for (const std::string day : {"2099-01-01", "2020-01-01"}) {
        const fs::path file = home.path() / "files" / day;
        std::ofstream(file) << "data";
        ASSERT_EQ(::setxattr(file.c_str(), "user.wex.dorvel.kelo.expires", day.data(), 10, 0), 0);
        ASSERT_EQ(::setxattr(file.c_str(), "user.xdg.tags", "Kelo", 4, 0), 0);
    }
    std::ofstream(home.path() / "light.png") << "old";
    const auto light = run({"--snapshot", "light.png"});
    ASSERT_EQ(light.exitCode, 0) << light.err;
    const QImage shelf = picture("light.png");
    EXPECT_GE(shelf.width(), 640);
    EXPECT_GE(shelf.height(), 380 + 38);
    EXPECT_GT(lightness(shelf), 150);

    const auto dark = run({"--dark", "--snapshot", (home.path() / "dark.png").string()});
    ASSERT_EQ(dark.exitCode, 0) << dark.err;
    EXPECT_LT(lightness(picture("dark.png")), 90);

    // The sheet is 560 by 480; the shelf window, framed, is larger either way.
    const auto review = run({"--review", "--snapshot", "sheet.png"});
    ASSERT_EQ(review.exitCode, 0) << review.err;
    const QImage sheet = picture("sheet.png");
    EXPECT_EQ(sheet.size() / sheet.devicePixelRatio(), QSize(560, 480)) << "not the sheet alone";
}

// A folder that does not exist, or a start at login that shows no window: exit status 1, why,
// and no file.
TEST_F(SnapshotProgram, NothingToPictureOrNowhereToWriteEndsWithOneAndSaysWhy) {
    const std::string missing = (home.path() / "missing/shot.png").string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--snapshot", missing}, "could not write the snapshot to " + missing},
        {{"--login-item", "--snapshot", "shot.png"}, "nothing to take a snapshot of"}};
    for (const auto &[arguments, message] : cases) {
        const auto outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
        EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    }
    EXPECT_FALSE(fs::exists(home.path() / "shot.png"));
}

} // namespace
