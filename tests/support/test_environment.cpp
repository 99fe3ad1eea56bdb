#include "tests/support/test_environment.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

#include "serial/port_device.h"

namespace testing_support {

namespace {
serial::MachinePlaces& TestPlaces() {
  static serial::MachinePlaces places{.lockFolders = {}};
  return places;
}

std::filesystem::path MakeTempDir(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  return pattern;
}
}  // namespace

void IsolateUserEnvironment() {
  // Lives for the whole process; the folder is removed at exit.
  static TempDir home;
  const auto make = [](const char* var, const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    setenv(var, dir.c_str(), 1);
  };
  make("HOME", home.path());
  make("XDG_CONFIG_HOME", home / ".config");
  make("XDG_DATA_HOME", home / ".local/share");
  make("XDG_CACHE_HOME", home / ".cache");
  make("XDG_DOCUMENTS_DIR", home / "Documents");
  make("XDG_RUNTIME_DIR", home / "runtime");
  std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
  // Lock files of the ports tests open go here, never into the machine's /run/lock.
  std::filesystem::create_directories(home / "lock");
  TestPlaces() = {.lockFolders = {home / "lock"}};
  serial::SetSystemMachinePlacesForTesting(TestPlaces());
}

serial::MachinePlaces TestMachinePlaces() { return TestPlaces(); }

TempDir::TempDir() : m_path(MakeTempDir("corvessa-test-")) {}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

}  // namespace testing_support
