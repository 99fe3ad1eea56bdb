#pragma once
// The per-user store of each port's settings: one TOML file with one table per port name.
// An integer within 0..4294967295 is a 32-bit value (like a registry DWORD), a string a text
// (like a registry string); any other type is ignored as a wrong registry type would be.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>

using StoredValue = std::variant<uint32_t, std::string>;
using StoredValues = std::map<std::string, StoredValue>;

class SettingsStore {
 public:
  explicit SettingsStore(std::filesystem::path file);

  // "$XDG_CONFIG_HOME/Vantreck Software/Corvessa/settings.toml"; ~/.config stands in for
  // XDG_CONFIG_HOME when it is unset, empty or not an absolute path.
  static std::filesystem::path DefaultFile();
  // The store of the current user, at DefaultFile() as it was when first asked for.
  static SettingsStore& UserStore();

  // The port's values of a known type, by their exact names; a string is cut at its first
  // NUL. nullopt when the port has no table or the file is missing or cannot be parsed.
  std::optional<StoredValues> Load(const std::string& port) const;
  // Writes the port's values, merged with what is on disk, under an exclusive lock shared
  // with every other copy of the program, through a temporary file renamed over the old
  // one: the old file stays whole unless the new one is complete. Values of the port that
  // the program does not know are kept, and so are the other ports. A string that is not
  // valid UTF-8 cannot be stored in TOML unchanged and is skipped (its old value stays).
  // A file that cannot be parsed is kept beside as "<file>.unreadable-<time>" before it is
  // replaced. A settings file that is a symbolic link is written through it. False when
  // nothing could be written, and for a port name that is not valid UTF-8.
  bool Save(const std::string& port, const StoredValues& values);
  // Why the file cannot be read ("Permission denied", or where and why it is not TOML), or
  // nothing when it can, or is not there yet.
  std::optional<std::string> ReadProblem() const;

  const std::filesystem::path& file() const { return m_file; }

 private:
  std::filesystem::path m_file;
};
