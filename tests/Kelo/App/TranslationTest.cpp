// The translations built into Kelo: every text in the code has an English translation. Which
// language a user gets is the core's messageLanguage(), tested with it.
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Collects the texts from the code as it is now into a copy of the English translation, so a
// text added without its English fails here.
TEST(EnglishTranslationFile, EveryTextInTheCodeHasOne) {
    TemporaryFolder folder;
    const std::filesystem::path copy = folder.path() / "kelo_en.ts";
    std::filesystem::copy_file(KELO_ENGLISH_TS, copy);
    const auto lupdate = runProcess(
        {KELO_LUPDATE, "-no-obsolete", "-locations", "none", KELO_SOURCES, "-ts", copy.string()});
    ASSERT_EQ(lupdate.exitCode, 0) << lupdate.err;
    std::ifstream in(copy);
    std::string line, source, missing;
    int found = 0;
    while (std::getline(in, line)) {
        if (line.find("<source>") != std::string::npos)
            source = line, ++found;
        if (line.find("type=\"unfinished\"") != std::string::npos)
            missing += source + "\n";
    }
    EXPECT_GT(found, 50);
    EXPECT_EQ(missing, "")
        << "no English yet (run `make translations`, then translate in " KELO_ENGLISH_TS ")";
}

} // namespace
