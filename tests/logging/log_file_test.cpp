#include "logging/log_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "logging/file_error.h"
#include "tests/support/run_in_child.h"
#include "tests/support/test_environment.h"

namespace {

using testing_support::TempDir;

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Create(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

struct OpenCase {
  const char* name;
  bool append;
  bool emptyNow;         // EmptyNow after opening, as a start whose port opened does
  std::string expected;  // after writing "new" over an existing "old contents"
  uint64_t sizeBeforeWrite;
};

class LogFileOpenTest : public testing::TestWithParam<OpenCase> {};

// A file opened to be emptied keeps its contents until the port is known to be ours (EmptyNow)
// or the first block comes.
TEST_P(LogFileOpenTest, EmptiesOrKeepsTheOldContents) {
  const OpenCase& c = GetParam();
  TempDir dir;
  Create(dir / "log", "old contents");
  LogFile file;
  ASSERT_TRUE(file.Open((dir / "log").string(), c.append));
  EXPECT_EQ(file.Size(), 12u) << "nothing is emptied at the open";
  if (c.emptyNow) file.EmptyNow();
  EXPECT_EQ(file.Size(), c.sizeBeforeWrite);
  file.Write(Bytes("new"));
  EXPECT_EQ(Contents(dir / "log"), c.expected);
  file.Close();
  ASSERT_TRUE(file.Open((dir / "log").string(), c.append));
  file.Close();
  EXPECT_EQ(Contents(dir / "log"), c.expected) << "a file closed unwritten stays as it was";
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LogFileOpenTest,
    testing::Values(OpenCase{"TruncateAtStart", false, true, "new", 0},
                    OpenCase{"TruncateAtTheFirstWrite", false, false, "new", 12},
                    OpenCase{"AppendAtEnd", true, true, "old contentsnew", 12}),
    [](const auto& p) { return std::string(p.param.name); });

// Every write goes to the end, so a file that another program empties gets no hole of zeros.
TEST(LogFileTest, AFileEmptiedByAnotherProgramGetsNoHole) {
  TempDir dir;
  LogFile file;
  ASSERT_TRUE(file.Open((dir / "log").string(), false));
  file.Write(Bytes("first block"));
  std::filesystem::resize_file(dir / "log", 0);
  file.Write(Bytes("next"));
  EXPECT_EQ(Contents(dir / "log"), "next");
}

enum class PathChange { Moved, Deleted, MovedAndRecreated };

class LogFileFollowTest : public testing::TestWithParam<PathChange> {};

// As log rotation does it: the open file goes away from the path, and what comes after goes
// to the path again, while the old file keeps what it had.
TEST_P(LogFileFollowTest, GoesOnInANewFileAtThePath) {
  TempDir dir;
  const std::filesystem::path path = dir / "log";
  LogFile file;
  ASSERT_TRUE(file.Open(path.string(), false));
  file.Write(Bytes("before"));
  EXPECT_FALSE(file.FollowPath());
  if (GetParam() == PathChange::Deleted)
    std::filesystem::remove(path);
  else
    std::filesystem::rename(path, dir / "log.1");
  if (GetParam() == PathChange::MovedAndRecreated) Create(path, "new:");

  EXPECT_TRUE(file.FollowPath());
  EXPECT_FALSE(file.FollowPath());
  file.Write(Bytes("after"));
  file.Close();
  EXPECT_EQ(Contents(path), GetParam() == PathChange::MovedAndRecreated ? "new:after" : "after");
  if (GetParam() != PathChange::Deleted) {
    EXPECT_EQ(Contents(dir / "log.1"), "before");
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, LogFileFollowTest,
                         testing::Values(PathChange::Moved, PathChange::Deleted,
                                         PathChange::MovedAndRecreated),
                         [](const auto& p) {
                           switch (p.param) {
                             case PathChange::Moved: return "Moved";
                             case PathChange::Deleted: return "Deleted";
                             default: return "MovedAndRecreated";
                           }
                         });

// "link/../log" is where the kernel puts it, not where tidying the text would: a file opened
// so has not moved.
TEST(LogFileTest, APathThroughALinkAndDotDotIsFollowedAsTheKernelResolvesIt) {
  TempDir dir;
  std::filesystem::create_directories(dir / "real/sub");
  std::filesystem::create_directory_symlink(dir / "real/sub", dir / "link");
  LogFile file;
  ASSERT_TRUE(file.Open((dir / "link/../log").string(), false));
  file.Write(Bytes("a"));
  EXPECT_FALSE(file.FollowPath());
  file.Write(Bytes("b"));
  EXPECT_EQ(Contents(dir / "real/log"), "ab");
  EXPECT_FALSE(std::filesystem::exists(dir / "log"));
}

TEST(LogFileTest, FollowingAPathWhoseFolderIsGoneIsAFileError) {
  TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  LogFile file;
  ASSERT_TRUE(file.Open((dir / "sub/log").string(), false));
  std::filesystem::remove_all(dir / "sub");
  try {
    file.FollowPath();
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(error.Cause(), FileErrorCause::kFileNotFound);
  }
}

TEST(LogFileTest, CreatesAMissingFileWithTheUsersUmask) {
  TempDir dir;
  const mode_t old = umask(027);
  LogFile file;
  const bool opened = file.Open((dir / "new.log").string(), false);
  umask(old);
  ASSERT_TRUE(opened);
  struct stat status {};
  ASSERT_EQ(stat((dir / "new.log").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(LogFileTest, FailsOnPathsThatCannotBeOpened) {
  TempDir dir;
  Create(dir / "plain", "x");
  for (const std::string& path : {std::string(), (dir / "missing/log").string(),
                                  (dir / "plain/log").string(), dir.path().string()}) {
    LogFile file;
    EXPECT_FALSE(file.Open(path, false)) << path;
    EXPECT_FALSE(file.IsOpen()) << path;
  }
}

TEST(LogFileTest, OpensPathsLongerThanTheOldLimit) {
  TempDir dir;
  std::filesystem::path folder = dir.path();
  for (int i = 0; i < 6; ++i) folder /= std::string(100, static_cast<char>('a' + i));
  std::filesystem::create_directories(folder);
  const std::filesystem::path path = folder / "log.bin";
  ASSERT_GT(path.string().size(), 600u);
  LogFile file;
  ASSERT_TRUE(file.Open(path.string(), false));
  file.Write(Bytes("x"));
  EXPECT_EQ(Contents(path), "x");
}

TEST(LogFileTest, HandsEveryBlockToTheSystemAtOnce) {
  TempDir dir;
  LogFile file;
  ASSERT_TRUE(file.Open((dir / "log").string(), false));
  file.Write(Bytes("first"));
  EXPECT_EQ(Contents(dir / "log"), "first");  // read through another descriptor, still open
  file.Write(Bytes(""));
  file.Write(Bytes(std::string("\0\r\n\xff", 4)));
  EXPECT_EQ(Contents(dir / "log"), std::string("first\0\r\n\xff", 9));
  EXPECT_EQ(file.Size(), 9u);
}

TEST(LogFileTest, NamesTheFileByItsFullPath) {
  TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  LogFile file;
  const bool opened = file.Open("./sub/../log.txt", false);
  std::filesystem::current_path(old);
  ASSERT_TRUE(opened);
  EXPECT_EQ(file.Path(), (std::filesystem::canonical(dir.path()) / "log.txt").string());
}

TEST(LogFileTest, WritingAClosedFileIsAnInvalidHandleAndClosingTwiceIsHarmless) {
  TempDir dir;
  LogFile never;
  try {
    never.Write(Bytes("x"));
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(error.Cause(), FileErrorCause::kInvalidFile);
    EXPECT_EQ(error.Message(), "An incorrect file handle was associated with an unnamed file.");
  }
  LogFile file;
  ASSERT_TRUE(file.Open((dir / "log").string(), false));
  file.Close();
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_THROW(file.Write(Bytes("x")), FileError);
  EXPECT_NO_THROW(file.Write(Bytes("")));
}

TEST(LogFileTest, AFullDeviceIsADiskFull) {
  LogFile file;
  ASSERT_TRUE(file.Open("/dev/full", false));
  try {
    file.Write(Bytes("x"));
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(error.Cause(), FileErrorCause::kDiskFull);
    EXPECT_EQ(error.Message(), "Disk full while accessing /dev/full.");
  }
}

// A block the file-size limit cuts short is partly written before the error: it must come
// back out, leaving the whole blocks before it.
TEST(LogFileTest, AShortWriteIsADiskFullAndLeavesNoTornBlock) {
  TempDir dir;
  const std::string path = (dir / "log").string();
  const auto result = testing_support::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{10000, 10000};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    LogFile file;
    EXPECT_TRUE(file.Open(path, false));
    file.Write(Bytes(std::string(8000, 'a')));
    try {
      file.Write(Bytes(std::string(4096, 'b')));
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.Cause(), FileErrorCause::kDiskFull);
    }
    EXPECT_EQ(file.Size(), 8000u);
    file.Write(Bytes(std::string(2000, 'c')));  // what fits is still written, after the rest
    EXPECT_EQ(Contents(path), std::string(8000, 'a') + std::string(2000, 'c'));
    return true;
  });
  EXPECT_EQ(result, testing_support::ChildResult::kPassed);
}

struct ErrnoCase {
  int error;
  FileErrorCause cause;
};

class CauseOfErrnoTest : public testing::TestWithParam<ErrnoCase> {};

TEST_P(CauseOfErrnoTest, MapsToItsCause) {
  EXPECT_EQ(CauseOfErrno(GetParam().error), GetParam().cause) << GetParam().error;
}

INSTANTIATE_TEST_SUITE_P(
    Errnos, CauseOfErrnoTest,
    testing::Values(ErrnoCase{ENOSPC, FileErrorCause::kDiskFull},
                    ErrnoCase{EDQUOT, FileErrorCause::kDiskFull},
                    ErrnoCase{EFBIG, FileErrorCause::kDiskFull},
                    ErrnoCase{EACCES, FileErrorCause::kAccessDenied},
                    ErrnoCase{EPERM, FileErrorCause::kAccessDenied},
                    ErrnoCase{EROFS, FileErrorCause::kAccessDenied},
                    ErrnoCase{EIO, FileErrorCause::kHardIO},
                    ErrnoCase{ENOENT, FileErrorCause::kFileNotFound},
                    ErrnoCase{ENOTDIR, FileErrorCause::kBadPath},
                    ErrnoCase{ENAMETOOLONG, FileErrorCause::kBadPath},
                    ErrnoCase{EMFILE, FileErrorCause::kTooManyOpenFiles},
                    ErrnoCase{ENFILE, FileErrorCause::kTooManyOpenFiles},
                    ErrnoCase{EBADF, FileErrorCause::kInvalidFile},
                    ErrnoCase{EINVAL, FileErrorCause::kGeneric},
                    ErrnoCase{0, FileErrorCause::kGeneric}));

struct MessageCase {
  FileErrorCause cause;
  const char* expected;
};

class FileErrorMessageTest : public testing::TestWithParam<MessageCase> {};

TEST_P(FileErrorMessageTest, NamesTheFullPath) {
  EXPECT_EQ(FileErrorMessage(GetParam().cause, "/home/u/Documents/Corvessa/ttyS0port.txt"),
            GetParam().expected);
  EXPECT_EQ(FileError(GetParam().cause, "/home/u/Documents/Corvessa/ttyS0port.txt").Message(),
            GetParam().expected);
}

#define P "/home/u/Documents/Corvessa/ttyS0port.txt"
INSTANTIATE_TEST_SUITE_P(
    Causes, FileErrorMessageTest,
    testing::Values(
        MessageCase{FileErrorCause::kGeneric, "An unknown error occurred while accessing " P "."},
        MessageCase{FileErrorCause::kFileNotFound, P " was not found."},
        MessageCase{FileErrorCause::kBadPath, P " contains an incorrect path."},
        MessageCase{FileErrorCause::kTooManyOpenFiles,
                    "Could not open " P " because there are too many open files."},
        MessageCase{FileErrorCause::kAccessDenied, "Access to " P " was denied."},
        MessageCase{FileErrorCause::kInvalidFile,
                    "An incorrect file handle was associated with " P "."},
        MessageCase{FileErrorCause::kRemoveCurrentDir,
                    "Could not remove " P " because it is the current directory."},
        MessageCase{FileErrorCause::kDirectoryFull,
                    "Could not create " P " because the directory is full."},
        MessageCase{FileErrorCause::kBadSeek, "Seek failed on " P},
        MessageCase{FileErrorCause::kHardIO,
                    "Encountered a hardware I/O error while accessing " P "."},
        MessageCase{FileErrorCause::kSharingViolation,
                    "Encountered a sharing violation while accessing " P "."},
        MessageCase{FileErrorCause::kLockViolation,
                    "Encountered a locking violation while accessing " P "."},
        MessageCase{FileErrorCause::kDiskFull, "Disk full while accessing " P "."},
        MessageCase{FileErrorCause::kEndOfFile, "Attempted to access " P " past its end."}));
#undef P

TEST(FileErrorMessageTest, SaysAnUnnamedFileWhenThereIsNoName) {
  EXPECT_EQ(FileErrorMessage(FileErrorCause::kDiskFull, ""),
            "Disk full while accessing an unnamed file.");
  EXPECT_EQ(FileErrorMessage(FileErrorCause::kFileNotFound, ""), "an unnamed file was not found.");
}

}  // namespace
