#pragma once
// The per-user store of each port's settings: one TOML file with one table per port name.
// An integer is a 32-bit value (like a registry DWORD), a string a text (like a registry
// string); any other type is ignored as a wrong registry type would be.

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

  // "$XDG_CONFIG_HOME/Vantreck Software/Corvessa/settings.toml", ~/.config when unset.
  static std::filesystem::path DefaultFile();
  // The store of the current user, at DefaultFile() as it was when first asked for.
  static SettingsStore& UserStore();

  // The port's values of a known type; nullopt when the port has no table (or no file).
  std::optional<StoredValues> Load(const std::string& port) const;
  // Writes the port's values, merged with what is on disk, atomically and under a lock.
  // Values of the port that the program does not know are kept. False when nothing could
  // be written.
  bool Save(const std::string& port, const StoredValues& values);

  const std::filesystem::path& file() const { return m_file; }

 private:
  std::filesystem::path m_file;
};
