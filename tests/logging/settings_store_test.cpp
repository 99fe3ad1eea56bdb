#include "logging/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing_support::TempDir;

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// Files in `folder` whose name contains `part`.
std::vector<fs::path> FilesNamed(const fs::path& folder, const std::string& part) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find(part) != std::string::npos) found.push_back(entry);
  return found;
}

const StoredValues kEightValues = {
    {"logging", 1u},  {"file", std::string("/home/u/Documents/Corvessa/pts_3port.txt")},
    {"append", 0u},   {"baudrate", 115200u},
    {"databits", 3u}, {"parity", 9u},
    {"stopbits", 0u}, {"flowctrl", 4294967295u},
};

class SettingsStoreTest : public testing::Test {
 protected:
  TempDir m_dir;
  fs::path m_file = m_dir / "config/Vantreck Software/Corvessa/settings.toml";
  SettingsStore m_store{m_file};
};

TEST_F(SettingsStoreTest, FirstRunFindsNothingAndSaveCreatesFoldersAndFile) {
  EXPECT_EQ(m_store.Load("pts/3"), std::nullopt);
  ASSERT_TRUE(m_store.Save("pts/3", kEightValues));
  EXPECT_TRUE(fs::is_regular_file(m_file));
  EXPECT_EQ(m_store.Load("pts/3"), kEightValues);
  EXPECT_EQ(m_store.Load("ttyS0"), std::nullopt);
  EXPECT_TRUE(FilesNamed(m_file.parent_path(), ".tmp-").empty());
}

struct RoundTripCase {
  std::string port;
  std::string file;
};

class SettingsRoundTrip : public SettingsStoreTest,
                          public testing::WithParamInterface<RoundTripCase> {};

TEST_P(SettingsRoundTrip, LoadsWhatWasSaved) {
  StoredValues values = kEightValues;
  values["file"] = GetParam().file;
  ASSERT_TRUE(m_store.Save(GetParam().port, values));
  EXPECT_EQ(m_store.Load(GetParam().port), values);
}

INSTANTIATE_TEST_SUITE_P(
    PortsAndTexts, SettingsRoundTrip,
    testing::Values(RoundTripCase{"ttyUSB0", "/home/u/Documents/Corvessa/ttyUSB0port.txt"},
                    RoundTripCase{"pts/3", ""},
                    RoundTripCase{"usb/tty USB.1", "quote \" backslash \\ tab\t line\n end"},
                    RoundTripCase{"ttyS0", "/home/jürgen/日誌/😀.txt"},
                    RoundTripCase{"ttyACM0", "control \x01\x1f\x7f bytes"},
                    RoundTripCase{"[ttyS1]", "'''single''' \"\"\"triple\"\"\""}));

// A saved name reads back as itself and as no other, and leaves the other ports readable.
TEST_F(SettingsStoreTest, AwkwardNamesNeverBecomeOtherNames) {
  const std::vector<std::string> names = {"it's", "a'b", "'",     "\"", "back\\slash", "a\tb\rc",
                                          "a\nb", "x y", "\x01\x7f", "münchen 港", ""};
  const auto valuesOf = [](size_t i) { return StoredValues{{"baudrate", uint32_t(i)}}; };
  for (size_t i = 0; i < names.size(); ++i) ASSERT_TRUE(m_store.Save(names[i], valuesOf(i)));
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(m_store.Load(names[i]), valuesOf(i)) << names[i];
  EXPECT_EQ(m_store.Load("it"), std::nullopt);
}

TEST_F(SettingsStoreTest, ANameThatIsNotUtf8IsRefusedAndTheFileStaysAsItWas) {
  ASSERT_TRUE(m_store.Save("ttyS0", kEightValues));
  const std::string before = ReadText(m_file);
  EXPECT_FALSE(m_store.Save("tty\xff", kEightValues));
  EXPECT_EQ(ReadText(m_file), before);
}

struct LinkCase {
  const char* name;
  bool relative;  // the link names its target relative to its own folder
};

class SettingsFileLink : public SettingsStoreTest, public testing::WithParamInterface<LinkCase> {};

// Dotfile managers keep the real file elsewhere and link to it: the link must stay a link.
TEST_P(SettingsFileLink, IsWrittenThroughAndStaysALink) {
  const fs::path real = m_dir / "dotfiles/corvessa.toml";
  WriteText(real, "[ttyS0]\nparity = 2\n");
  fs::create_directories(m_file.parent_path());
  fs::create_symlink(GetParam().relative ? fs::relative(real, m_file.parent_path()) : real,
                     m_file);
  ASSERT_TRUE(m_store.Save("pts/3", kEightValues));
  EXPECT_TRUE(fs::is_symlink(m_file));
  EXPECT_EQ(m_store.Load("pts/3"), kEightValues);
  EXPECT_EQ(m_store.Load("ttyS0"), (StoredValues{{"parity", 2u}}));
  EXPECT_THAT(ReadText(real), HasSubstr("pts/3"));
  EXPECT_TRUE(FilesNamed(real.parent_path(), ".tmp-").empty());
  EXPECT_TRUE(FilesNamed(m_file.parent_path(), ".tmp-").empty());
}

INSTANTIATE_TEST_SUITE_P(Targets, SettingsFileLink,
                         testing::Values(LinkCase{"Absolute", false}, LinkCase{"Relative", true}),
                         [](const auto& p) { return std::string(p.param.name); });

struct LoadCase {
  std::string body;  // the lines of the port's table
  StoredValues expected;
};

void PrintTo(const LoadCase& loadCase, std::ostream* out) { *out << loadCase.body; }

class SettingsLoadTypes : public SettingsStoreTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(SettingsLoadTypes, KeepsOnlyDwordsAndStrings) {
  WriteText(m_file, "[\"pts/3\"]\n" + GetParam().body + "\n[ttyS0]\nparity = 2\n");
  EXPECT_EQ(m_store.Load("pts/3"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsLoadTypes,
    testing::Values(LoadCase{"", {}},
                    LoadCase{"baudrate = 19200\nparity = 1",
                             {{"baudrate", 19200u}, {"parity", 1u}}},
                    LoadCase{"baudrate = 0", {{"baudrate", 0u}}},
                    LoadCase{"baudrate = 4294967295", {{"baudrate", 4294967295u}}},
                    LoadCase{"baudrate = 0x4B0", {{"baudrate", 1200u}}},
                    LoadCase{"baudrate = 4294967296", {}}, LoadCase{"baudrate = -1", {}},
                    LoadCase{"baudrate = 9600.0", {}}, LoadCase{"baudrate = true", {}},
                    LoadCase{"baudrate = [9600]", {}}, LoadCase{"baudrate = { value = 9600 }", {}},
                    LoadCase{"baudrate = 1979-05-27", {}},
                    LoadCase{"baudrate = \"9600\"", {{"baudrate", std::string("9600")}}},
                    LoadCase{"Baudrate = 4800", {{"Baudrate", 4800u}}},
                    LoadCase{"file = \"/tmp/a.txt\"", {{"file", std::string("/tmp/a.txt")}}},
                    LoadCase{"file = \"/tmp/a.txt\\u0000\"", {{"file", std::string("/tmp/a.txt")}}},
                    LoadCase{"file = \"/tmp/a\\u0000.txt\"", {{"file", std::string("/tmp/a")}}},
                    LoadCase{"file = '''C:\\x'''", {{"file", std::string("C:\\x")}}}));

class SettingsLoadMissing : public SettingsStoreTest,
                            public testing::WithParamInterface<std::string> {};

TEST_P(SettingsLoadMissing, LoadsAsNoTable) {
  WriteText(m_file, GetParam());
  EXPECT_EQ(m_store.Load("pts/3"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Files, SettingsLoadMissing,
                         testing::Values("", "[ttyS0]\nbaudrate = 1\n", "[PTS/3]\nparity = 1\n",
                                         "\"pts/3\" = 5\n", "[\"pts/3\"\nbaudrate = 1\n",
                                         "[\"pts/3\"]\nbaudrate = 1\nbaudrate = 2\n",
                                         "[\"pts/3\"]\nfile = \"\xff\"\n"));

TEST_F(SettingsStoreTest, UnparsableFileIsKeptAsideWithAWarningBeforeTheFirstSave) {
  const std::string garbage = "[\"pts/3\"]\nbaudrate = \n";
  WriteText(m_file, garbage);
  ASSERT_EQ(m_store.Load("pts/3"), std::nullopt);

  testing::internal::CaptureStderr();
  ASSERT_TRUE(m_store.Save("pts/3", kEightValues));
  const std::string warning = testing::internal::GetCapturedStderr();

  const auto kept = FilesNamed(m_file.parent_path(), "settings.toml.unreadable-");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(ReadText(kept[0]), garbage);
  EXPECT_THAT(warning, HasSubstr(kept[0].string()));
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
  EXPECT_EQ(m_store.Load("pts/3"), kEightValues);

  testing::internal::CaptureStderr();
  ASSERT_TRUE(m_store.Save("ttyS0", kEightValues));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(FilesNamed(m_file.parent_path(), "unreadable").size(), 1u);
}

TEST_F(SettingsStoreTest, ReadProblemSaysWhereAndWhyTheFileCannotBeRead) {
  EXPECT_EQ(m_store.ReadProblem(), std::nullopt) << "a file not there yet is no problem";
  WriteText(m_file, "[ttyS0]\nbaudrate = 9600\n");
  EXPECT_EQ(m_store.ReadProblem(), std::nullopt);
  WriteText(m_file, "[ttyS0]\nbaudrate = \n");
  EXPECT_THAT(m_store.ReadProblem().value_or(""), testing::StartsWith("not valid TOML at line 2"));
  fs::remove(m_file);
  fs::create_directory(m_file);  // unreadable even for root
  EXPECT_EQ(m_store.ReadProblem(), "Is a directory");
}

// A service that runs as a user of its own must be able to read what root stored for it, and a
// user who made the file private keeps it so.
TEST_F(SettingsStoreTest, AFirstFileIsReadableByAllAndAReplacedOneKeepsItsPermissions) {
  const mode_t old = ::umask(022);
  ASSERT_TRUE(m_store.Save("ttyS0", kEightValues));
  EXPECT_EQ(fs::status(m_file).permissions(), fs::perms(0644));
  fs::permissions(m_file, fs::perms(0600));
  ASSERT_TRUE(m_store.Save("ttyS1", kEightValues));
  EXPECT_EQ(fs::status(m_file).permissions(), fs::perms(0600));
  ::umask(old);
}

TEST_F(SettingsStoreTest, SaveKeepsWhatTheProgramDoesNotKnow) {
  WriteText(m_file,
            "[\"pts/3\"]\nbaudrate = 1.5\nBaudrate = 5\nnote = \"mine\"\nratio = 0.25\n"
            "[\"pts/3\".extra]\ndepth = 2\n"
            "[ttyS0]\nfile = \"/var/log/s0.txt\"\n");
  ASSERT_TRUE(m_store.Save("pts/3", {{"baudrate", 9600u}, {"file", std::string("/x")}}));

  const StoredValues expected = {{"baudrate", 9600u},
                                 {"Baudrate", 5u},
                                 {"note", std::string("mine")},
                                 {"file", std::string("/x")}};
  EXPECT_EQ(m_store.Load("pts/3"), expected);
  EXPECT_EQ(m_store.Load("ttyS0"), (StoredValues{{"file", std::string("/var/log/s0.txt")}}));
  const std::string text = ReadText(m_file);
  EXPECT_THAT(text, HasSubstr("ratio = 0.25"));
  EXPECT_THAT(text, HasSubstr("depth = 2"));
}

TEST_F(SettingsStoreTest, PortNameHoldingAnotherTypeBecomesATable) {
  WriteText(m_file, "\"pts/3\" = [1, 2]\n");
  ASSERT_TRUE(m_store.Save("pts/3", kEightValues));
  EXPECT_EQ(m_store.Load("pts/3"), kEightValues);
}

class SettingsInvalidText : public SettingsStoreTest,
                            public testing::WithParamInterface<std::string> {};

TEST_P(SettingsInvalidText, IsSkippedAndTheOtherValuesAreSaved) {
  ASSERT_TRUE(m_store.Save("pts/3", {{"file", std::string("/old.txt")}}));
  ASSERT_TRUE(m_store.Save("pts/3", {{"file", "/new" + GetParam()}, {"parity", 2u}}));
  const StoredValues expected = {{"file", std::string("/old.txt")}, {"parity", 2u}};
  EXPECT_EQ(m_store.Load("pts/3"), expected);
}

INSTANTIATE_TEST_SUITE_P(NotUtf8, SettingsInvalidText,
                         testing::Values("\xff", "\x80", "\xc3", "\xc0\xaf", "\xe0\x80\xaf",
                                         "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82 "));

// Every save adds a value of a new name, so a save lost between the other copy's reading
// and writing shows at the end.
TEST_F(SettingsStoreTest, TwoStoresSavingAtOnceLoseNothing) {
  constexpr uint32_t kSaves = 40;
  const auto saveMany = [this](const std::string& port, bool& allSaved) {
    SettingsStore store(m_file);  // a store of its own, like another running copy
    allSaved = true;
    for (uint32_t i = 0; i < kSaves; ++i)
      allSaved = store.Save(port, {{"value" + std::to_string(i), i}}) && allSaved;
  };
  bool firstSaved = false, secondSaved = false;
  std::thread first(saveMany, "ttyS0", std::ref(firstSaved));
  std::thread second(saveMany, "pts/3", std::ref(secondSaved));
  first.join();
  second.join();
  EXPECT_TRUE(firstSaved);
  EXPECT_TRUE(secondSaved);
  StoredValues expected;
  for (uint32_t i = 0; i < kSaves; ++i) expected["value" + std::to_string(i)] = i;
  EXPECT_EQ(m_store.Load("ttyS0"), expected);
  EXPECT_EQ(m_store.Load("pts/3"), expected);
}

TEST_F(SettingsStoreTest, SaveFailsWhenTheFolderCannotBeMade) {
  WriteText(m_dir / "config/Vantreck Software", "a file where the folder belongs");
  EXPECT_FALSE(m_store.Save("pts/3", kEightValues));
  EXPECT_EQ(ReadText(m_dir / "config/Vantreck Software"), "a file where the folder belongs");
}

// A save that runs out of room must leave the previous file whole. Each way of running out
// of room changes the process (a limit, a mount namespace), so it runs in a child.
enum class ChildResult { kPassed = 0, kSkipped = 77 };

int RunSaveWithoutRoom(const fs::path& folder, const std::function<bool()>& leaveNoRoom) {
  const fs::path file = folder / "settings.toml";
  SettingsStore store(file);
  if (!store.Save("pts/3", kEightValues)) return 10;
  const std::string before = ReadText(file);
  if (!leaveNoRoom()) return 11;
  if (store.Save("pts/3", {{"file", std::string(256 * 1024, 'x')}})) return 12;
  if (ReadText(file) != before) return 13;
  if (store.Load("pts/3") != kEightValues) return 14;
  if (!FilesNamed(folder, ".tmp-").empty()) return 15;
  return 0;
}

bool LimitFileSize() {
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
  const rlimit limit{4096, 4096};
  return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool FillDisk(const fs::path& folder) {
  std::FILE* filler = std::fopen((folder / "filler").c_str(), "wb");
  if (filler == nullptr) return false;
  const std::string block(4096, 'f');
  while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
         std::fflush(filler) == 0) {
  }
  std::fclose(filler);
  return true;
}

// A small tmpfs of the child's own, invisible to every other process.
ChildResult MountSmallDisk(const fs::path& folder) {
  if (unshare(CLONE_NEWNS) != 0) return ChildResult::kSkipped;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return ChildResult::kSkipped;
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0) return ChildResult::kSkipped;
  return ChildResult::kPassed;
}

enum class NoRoom { kFileSizeLimit, kFullDisk };

class SettingsSaveWithoutRoom : public SettingsStoreTest,
                                public testing::WithParamInterface<NoRoom> {};

TEST_P(SettingsSaveWithoutRoom, FailsAndLeavesTheOldFileWhole) {
  const fs::path folder = m_dir / "store";
  fs::create_directories(folder);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    if (GetParam() == NoRoom::kFileSizeLimit) _exit(RunSaveWithoutRoom(folder, LimitFileSize));
    if (MountSmallDisk(folder) == ChildResult::kSkipped)
      _exit(static_cast<int>(ChildResult::kSkipped));
    _exit(RunSaveWithoutRoom(folder, [&] { return FillDisk(folder); }));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == static_cast<int>(ChildResult::kSkipped))
    GTEST_SKIP() << "no private tmpfs mount allowed here (needs CAP_SYS_ADMIN)";
  // 10: first save failed, 11: no room could not be made, 12: save reported success,
  // 13: old file changed, 14: old values lost, 15: temporary file left behind.
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(Causes, SettingsSaveWithoutRoom,
                         testing::Values(NoRoom::kFileSizeLimit, NoRoom::kFullDisk),
                         [](const testing::TestParamInfo<NoRoom>& cause) {
                           return cause.param == NoRoom::kFullDisk ? "FullDisk" : "FileSizeLimit";
                         });

// Restores XDG_CONFIG_HOME when a test has changed it.
class ConfigHomeGuard {
 public:
  ConfigHomeGuard() {
    if (const char* value = std::getenv("XDG_CONFIG_HOME")) m_saved = value;
  }
  ~ConfigHomeGuard() {
    if (m_saved)
      setenv("XDG_CONFIG_HOME", m_saved->c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
  }

 private:
  std::optional<std::string> m_saved;
};

struct DefaultFileCase {
  std::optional<std::string> configHome;  // nullopt: unset
  bool usesConfigHome;
};

class SettingsDefaultFile : public testing::TestWithParam<DefaultFileCase> {};

TEST_P(SettingsDefaultFile, FollowsXdgConfigHomeOrHome) {
  ConfigHomeGuard guard;
  if (GetParam().configHome)
    setenv("XDG_CONFIG_HOME", GetParam().configHome->c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  const fs::path base = GetParam().usesConfigHome ? fs::path(*GetParam().configHome)
                                                  : fs::path(std::getenv("HOME")) / ".config";
  EXPECT_EQ(SettingsStore::DefaultFile(), base / "Vantreck Software/Corvessa/settings.toml");
}

INSTANTIATE_TEST_SUITE_P(Environment, SettingsDefaultFile,
                         testing::Values(DefaultFileCase{"/srv/cfg", true},
                                         DefaultFileCase{std::nullopt, false},
                                         DefaultFileCase{"", false},
                                         DefaultFileCase{"relative/cfg", false}));

TEST(SettingsUserStore, LivesAtTheDefaultFileOfTheIsolatedHome) {
  EXPECT_EQ(&SettingsStore::UserStore(), &SettingsStore::UserStore());
  EXPECT_EQ(SettingsStore::UserStore().file(), SettingsStore::DefaultFile());
  EXPECT_THAT(SettingsStore::UserStore().file().string(), HasSubstr(std::getenv("HOME")));
}

}  // namespace
