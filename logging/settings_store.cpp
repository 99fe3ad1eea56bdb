#include "logging/settings_store.h"

#include <toml++/toml.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <system_error>
#include <vector>

#include "logging/log_folder.h"
#include "logging/store_file.h"
#include "logging/toml_text.h"
#include "logging/utf8.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kLargestDword = 0xFFFFFFFF;

// Only what a registry DWORD or string could hold; anything else counts as a wrong type.
std::optional<StoredValue> FromToml(const toml::node& node) {
  if (const auto* integer = node.as_integer()) {
    const int64_t number = integer->get();
    if (number < 0 || number > kLargestDword) return std::nullopt;
    return static_cast<uint32_t>(number);
  }
  if (const auto* text = node.as_string()) {
    const std::string& full = text->get();
    return full.substr(0, full.find('\0'));
  }
  return std::nullopt;
}

enum class StoreState { kParsed, kMissing, kUnreadable };

struct StoreContents {
  StoreState state;
  toml::table table;
};

StoreContents ReadStore(const fs::path& file) {
  std::string text;
  switch (store_file::ReadWholeFile(file, text)) {
    case store_file::ReadResult::kMissing:
      return {StoreState::kMissing, {}};
    case store_file::ReadResult::kFailed:
      return {StoreState::kUnreadable, {}};
    case store_file::ReadResult::kRead:
      break;
  }
  try {
    return {StoreState::kParsed, toml::parse(text, file.string())};
  } catch (const toml::parse_error&) {
    return {StoreState::kUnreadable, {}};
  }
}

// The user's settings are never dropped silently: the old file stays readable beside.
bool KeepUnreadable(const fs::path& file) {
  const auto aside = store_file::KeepAside(file, "unreadable");
  if (!aside) return false;
  std::cerr << "corvessa: settings file " << file << " could not be read; kept as " << *aside
            << " and replaced\n";
  return true;
}

toml::table& PortTable(toml::table& store, const std::string& port) {
  if (toml::table* existing = store[port].as_table()) return *existing;
  // No table yet, or a value of another type under the port's name: the table replaces it.
  return *store.insert_or_assign(port, toml::table{}).first->second.as_table();
}

void Merge(toml::table& portTable, const StoredValues& values) {
  for (const auto& [name, value] : values) {
    if (const auto* number = std::get_if<uint32_t>(&value)) {
      portTable.insert_or_assign(name, static_cast<int64_t>(*number));
    } else if (const auto& text = std::get<std::string>(value); IsValidUtf8(text)) {
      // TOML holds text as UTF-8 only; other bytes would come back altered.
      portTable.insert_or_assign(name, text);
    }
  }
}

}  // namespace

SettingsStore::SettingsStore(fs::path file) : m_file(std::move(file)) {}

fs::path SettingsStore::DefaultFile() {
  // Relative values are invalid by the XDG base directory rules.
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const fs::path config = configHome != nullptr && fs::path(configHome).is_absolute()
                              ? fs::path(configHome)
                              : HomeFolder() / ".config";
  return config / "Vantreck Software" / "Corvessa" / "settings.toml";
}

SettingsStore& SettingsStore::UserStore() {
  static SettingsStore store(DefaultFile());
  return store;
}

std::optional<StoredValues> SettingsStore::Load(const std::string& port) const {
  StoreContents store = ReadStore(m_file);
  const toml::table* table = store.table[port].as_table();
  if (table == nullptr) return std::nullopt;
  StoredValues values;
  for (const auto& [name, node] : *table) {
    if (auto value = FromToml(node)) values.emplace(std::string(name.str()), std::move(*value));
  }
  return values;
}

std::optional<std::string> SettingsStore::ReadProblem() const {
  std::string text;
  switch (store_file::ReadWholeFile(m_file, text)) {
    case store_file::ReadResult::kMissing:
      return std::nullopt;
    case store_file::ReadResult::kFailed:
      return std::strerror(errno);
    case store_file::ReadResult::kRead:
      break;
  }
  try {
    [[maybe_unused]] const toml::table parsed = toml::parse(text, m_file.string());
    return std::nullopt;
  } catch (const toml::parse_error& error) {
    const toml::source_position where = error.source().begin;
    return "not valid TOML at line " + std::to_string(where.line) + ", column " +
           std::to_string(where.column) + ": " + std::string(error.description());
  }
}

bool SettingsStore::Save(const std::string& port, const StoredValues& values) {
  // A name TOML cannot hold would come back as another port's, or as none.
  if (!IsValidUtf8(port)) return false;
  std::error_code error;
  if (m_file.has_parent_path()) fs::create_directories(m_file.parent_path(), error);
  if (error) return false;
  store_file::ExclusiveLock lock(m_file.string() + ".lock");
  if (!lock.held()) return false;
  // A settings file that links elsewhere (as dotfile managers make it) stays a link: the
  // file it names is the one replaced.
  std::error_code missing;  // a file not there yet is no link
  const bool link = fs::is_symlink(fs::symlink_status(m_file, missing));
  const fs::path target = link ? fs::weakly_canonical(m_file, error) : m_file;
  if (error) return false;
  // Another copy of the program may have saved its ports since this one started.
  StoreContents store = ReadStore(target);
  if (store.state == StoreState::kUnreadable && !KeepUnreadable(target)) return false;
  Merge(PortTable(store.table, port), values);
  return store_file::ReplaceFile(target, toml_text::Document(store.table));
}
