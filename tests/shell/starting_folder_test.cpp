#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "shell/program.h"
#include "support/treatment_files.h"

namespace lumera {
namespace {

namespace fs = std::filesystem;

// Each case leaves the process where it found it.
class StartingFolderTest : public testing::Test {
protected:
    void SetUp() override { before = fs::current_path(); }
    void TearDown() override { fs::current_path(before); }
    fs::path before;
    test::TempFolder folder{"starting_folder"};
};

TEST_F(StartingFolderTest, TheCurrentFolderWhileItStands) {
    fs::create_directory(folder.path() / "here");
    fs::current_path(folder.path() / "here");
    EXPECT_EQ(startingFolder(folder.file("home")), fs::current_path().string());
}

// A window started in a folder deleted under it works in the home folder,
// and relative names open there.
TEST_F(StartingFolderTest, AGoneFolderFallsBackToTheHomeFolder) {
    const fs::path gone = folder.path() / "gone", home = folder.path() / "home";
    fs::create_directory(gone);
    fs::create_directory(home);
    test::writeTreatment((home / "t.txt").string(), {.replicates = {1, 2}});
    const struct {
        std::string home, expected;
    } cases[] = {
        {home.string(), home.string()},
        {"", ""},                      // no home folder known
        {folder.file("missing"), ""},  // one that cannot be entered
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.home);
        fs::create_directory(gone);
        fs::current_path(gone);
        fs::remove(gone);
        std::error_code ec;
        const fs::path stillThere = fs::current_path(ec);
        ASSERT_TRUE(ec) << stillThere;
        EXPECT_EQ(startingFolder(c.home), c.expected);
        if (!c.expected.empty()) {
            EXPECT_EQ(::access("t.txt", R_OK), 0);
        }
    }
}

}  // namespace
}  // namespace lumera
