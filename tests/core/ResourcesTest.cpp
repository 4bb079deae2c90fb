// Where the program finds locale/ and data/: beside the executable first,
// then ../share/zvbasic, under any prefix.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/Resources.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace {

class ResourceFolder : public ::testing::Test {
protected:
    void SetUp() override {
        Root = fs::temp_directory_path() / ("zvres_" + std::to_string(::getpid()));
        fs::remove_all(Root);
        fs::create_directories(Root / "usr" / "bin");
        Bin = (Root / "usr" / "bin").string();
        Share = (Root / "usr" / "share" / "zvbasic").string();
    }
    void TearDown() override { fs::remove_all(Root); }

    fs::path Root;
    std::string Bin, Share;
};

TEST_F(ResourceFolder, InstalledLayoutIsFoundFromBin) {
    // Nothing anywhere: the executable's own folder (English, built-in pictures).
    EXPECT_EQ(Resources::Folder(Bin), Bin);

    // Either folder in share/zvbasic is enough.
    fs::create_directories(fs::path(Share) / "data");
    EXPECT_EQ(Resources::Folder(Bin), Share);
    EXPECT_EQ(Resources::Folder(Bin + "/"), Share);
    fs::remove_all(fs::path(Share) / "data");
    fs::create_directories(fs::path(Share) / "locale");
    EXPECT_EQ(Resources::Folder(Bin), Share);
}

TEST_F(ResourceFolder, BesideTheExecutableWins) {
    fs::create_directories(fs::path(Share) / "locale");
    // An unpacked folder or the build tree: its own catalogues come first.
    fs::create_directories(fs::path(Bin) / "locale");
    EXPECT_EQ(Resources::Folder(Bin), Bin);
    fs::remove_all(fs::path(Bin) / "locale");
    fs::create_directories(fs::path(Bin) / "data");
    EXPECT_EQ(Resources::Folder(Bin), Bin);
}

TEST_F(ResourceFolder, FilesNamedLikeTheFoldersDoNotCount) {
    // A stray file called locale beside the executable is no catalogue folder.
    std::ofstream(fs::path(Bin) / "locale") << "x";
    std::ofstream(fs::path(Bin) / "data") << "x";
    fs::create_directories(fs::path(Share) / "locale");
    EXPECT_EQ(Resources::Folder(Bin), Share);
}

TEST_F(ResourceFolder, HelpPictureComesFromUserThenSystemThenDataFolder) {
    const fs::path user = Root / "home" / "data", etc = Root / "etc" / "zvbasic", data = fs::path(Share) / "data";
    const testkit::cScopedEnv xdg("XDG_DATA_HOME", user.string());
    const auto put = [](const fs::path& dir) {
        fs::create_directories(dir);
        std::ofstream(dir / "schwzvb.jpg") << "jpeg";
        return (dir / "schwzvb.jpg").string();
    };
    EXPECT_EQ(Resources::HelpPicture(Share, etc.string()), "");
    // A folder named like the picture is none.
    fs::create_directories(etc / "schwzvb.jpg");
    EXPECT_EQ(Resources::HelpPicture(Share, etc.string()), "");
    fs::remove_all(etc);
    // Each place wins over the ones after it: added from the last to the first.
    for (const fs::path& dir : {data, etc, user / "zvbasic"}) {
        const std::string picture = put(dir);
        EXPECT_EQ(Resources::HelpPicture(Share, etc.string()), picture);
    }
}

TEST_F(ResourceFolder, ExecutableDirIsTheTestsOwnFolder) {
    const std::string dir = Resources::ExecutableDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(fs::exists(fs::path(dir) / "zvcore_tests")) << dir;
    EXPECT_EQ(Resources::Folder(), Resources::Folder(dir));
    EXPECT_EQ(Resources::Folder(""), "");
}

}  // namespace
