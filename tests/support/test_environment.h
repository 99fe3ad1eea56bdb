#pragma once
// Keeps tests away from the user's real configuration, documents and serial ports.

#include <filesystem>
#include <string>

#include "serial/port_holders.h"

namespace testing_support {

// Points HOME, XDG_CONFIG_HOME, XDG_DOCUMENTS_DIR, XDG_DATA_HOME, XDG_CACHE_HOME and
// XDG_RUNTIME_DIR at a fresh temporary folder of this test process, and the lock files of
// the ports it opens into that folder too. Call once from main, before any thread starts.
void IsolateUserEnvironment();

// The lock folder and /proc that the ports of tests use, as IsolateUserEnvironment set them.
serial::MachinePlaces TestMachinePlaces();

// A temporary folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

}  // namespace testing_support
