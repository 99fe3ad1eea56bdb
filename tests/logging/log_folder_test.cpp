#include "logging/log_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;

// The documents folder as the desktop names it, each way it may be named.
class DocumentsFolderTest : public testing::Test {
 protected:
  DocumentsFolderTest() {
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    ::unsetenv("XDG_DOCUMENTS_DIR");
    fs::create_directories(home / ".config");
  }

  void UserDirs(const std::string& line) {
    std::ofstream(home / ".config/user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
        << line << "\n";
  }

  testing_support::TempDir dir;
  fs::path home = dir / "home";
};

TEST_F(DocumentsFolderTest, IsTakenFromTheEnvironmentThenUserDirsThenTheHomeFolder) {
  EXPECT_EQ(UserDocumentsFolder(), std::nullopt) << "no ~/Documents yet";
  fs::create_directories(home / "Documents");
  EXPECT_EQ(UserDocumentsFolder(), home / "Documents");

  fs::create_directories(home / "Dokumente");
  UserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"");
  EXPECT_EQ(UserDocumentsFolder(), home / "Dokumente");
  fs::create_directories(dir / "shared/docs");
  UserDirs("XDG_DOCUMENTS_DIR=\"" + (dir / "shared/docs").string() + "\"");
  EXPECT_EQ(UserDocumentsFolder(), dir / "shared/docs");
  // Relative paths mean nothing by the rules; the next place counts.
  UserDirs("XDG_DOCUMENTS_DIR=\"Dokumente\"");
  EXPECT_EQ(UserDocumentsFolder(), home / "Documents");

  fs::create_directories(dir / "from-env");
  ::setenv("XDG_DOCUMENTS_DIR", (dir / "from-env").c_str(), 1);
  EXPECT_EQ(UserDocumentsFolder(), dir / "from-env");
  ::setenv("XDG_DOCUMENTS_DIR", "from-env", 1);
  EXPECT_EQ(UserDocumentsFolder(), home / "Documents");
}

TEST_F(DocumentsFolderTest, TheLogFolderIsItsCorvessaSubfolderMadeOnlyWhenPrepared) {
  EXPECT_EQ(DefaultLogFolder(std::nullopt), home.string());
  EXPECT_EQ(DefaultLogFolder(dir / "docs"), (dir / "docs/Corvessa").string());
  fs::create_directories(dir / "docs");
  EXPECT_FALSE(fs::exists(dir / "docs/Corvessa"));
  EXPECT_EQ(PrepareLogFolder(dir / "docs"), (dir / "docs/Corvessa").string());
  EXPECT_TRUE(fs::is_directory(dir / "docs/Corvessa"));
}

}  // namespace
