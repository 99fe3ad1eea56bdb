#include "tests/support/test_environment.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

namespace testing_support {

namespace {
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
}

TempDir::TempDir() : m_path(MakeTempDir("corvessa-test-")) {}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

}  // namespace testing_support
