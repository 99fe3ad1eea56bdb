#include "logging/log_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !fs::path(value).is_absolute()) return std::nullopt;
  return fs::path(value);
}

// A line of user-dirs.dirs: XDG_DOCUMENTS_DIR="$HOME/Documents" (or an absolute path).
std::optional<fs::path> DocumentsLineOf(std::string_view line) {
  constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
  if (!line.starts_with(kKey) || !line.ends_with('"')) return std::nullopt;
  std::string_view value = line.substr(kKey.size(), line.size() - kKey.size() - 1);
  if (value.starts_with("$HOME")) {
    value.remove_prefix(5);
    if (!value.empty() && value.front() != '/') return std::nullopt;
    return HomeFolder().string() + std::string(value);
  }
  if (!value.starts_with('/')) return std::nullopt;
  return fs::path(value);
}

std::optional<fs::path> FromUserDirs() {
  const fs::path config =
      AbsoluteFromEnvironment("XDG_CONFIG_HOME").value_or(HomeFolder() / ".config");
  std::ifstream file(config / "user-dirs.dirs");
  std::optional<fs::path> found;
  for (std::string line; std::getline(file, line);)
    if (auto folder = DocumentsLineOf(line)) found = std::move(folder);
  return found;
}

}  // namespace

fs::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->pw_dir;
  return {};  // nothing better is known: relative to the working folder
}

std::optional<fs::path> UserDocumentsFolder() {
  std::optional<fs::path> named = AbsoluteFromEnvironment("XDG_DOCUMENTS_DIR");
  if (!named) named = FromUserDirs();
  const fs::path folder = named.value_or(HomeFolder() / "Documents");
  std::error_code error;
  if (!fs::is_directory(folder, error)) return std::nullopt;
  return folder;
}

std::string DefaultLogFolder(const std::optional<fs::path>& documents) {
  return documents ? (*documents / "Corvessa").string() : HomeFolder().string();
}

std::string PrepareLogFolder(const std::optional<fs::path>& documents) {
  const std::string folder = DefaultLogFolder(documents);
  std::error_code ignored;
  if (documents) fs::create_directory(folder, ignored);
  return folder;
}
