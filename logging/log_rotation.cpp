#include "logging/log_rotation.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <optional>
#include <string_view>
#include <system_error>

#include "logging/time_index.h"

namespace log_rotation {

namespace fs = std::filesystem;

namespace {

constexpr size_t kStampLength = 15;  // "20261210-101319"

std::tm LocalTime(WallTime time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct Rotated {
  std::string stamp;
  unsigned long counter;
  fs::path path;
};

// "20261210-101319" or "20261210-101319-4" between the stem's dash and the extension.
std::optional<Rotated> ParseRotated(const fs::path& file, std::string_view stem,
                                    std::string_view extension) {
  const std::string name = file.filename().string();
  std::string_view middle = name;
  if (!middle.starts_with(stem) || !middle.ends_with(extension)) return std::nullopt;
  middle.remove_prefix(stem.size());
  middle.remove_suffix(extension.size());
  if (!middle.starts_with('-') || middle.size() < kStampLength + 1) return std::nullopt;
  middle.remove_prefix(1);
  const std::string_view stamp = middle.substr(0, kStampLength);
  if (!AllDigits(stamp.substr(0, 8)) || stamp[8] != '-' || !AllDigits(stamp.substr(9)))
    return std::nullopt;
  std::string_view counter = middle.substr(kStampLength);
  if (counter.empty()) return Rotated{std::string(stamp), 0, file};
  if (!counter.starts_with('-') || !AllDigits(counter.substr(1)) || counter.size() > 10)
    return std::nullopt;
  return Rotated{std::string(stamp), std::stoul(std::string(counter.substr(1))), file};
}

}  // namespace

std::string RotatedPath(const std::string& logPath, WallTime begun, unsigned counter) {
  const fs::path path(logPath);
  const std::tm local = LocalTime(begun);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", &local);
  std::string name = path.stem().string() + stamp;
  if (counter > 0) name += "-" + std::to_string(counter);
  name += path.extension().string();
  return (path.parent_path() / name).string();
}

namespace {

// Oldest first.
std::vector<Rotated> FindRotated(const fs::path& logPath) {
  const std::string stem = logPath.stem().string();
  const std::string extension = logPath.extension().string();
  std::vector<Rotated> found;
  std::error_code error;
  const fs::path folder = logPath.has_parent_path() ? logPath.parent_path() : fs::path(".");
  // Stepped with error codes: a folder that fails to read ends the list, never the program.
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (auto rotated = ParseRotated(it->path(), stem, extension))
      found.push_back(std::move(*rotated));
  }
  std::sort(found.begin(), found.end(), [](const Rotated& a, const Rotated& b) {
    return a.stamp != b.stamp ? a.stamp < b.stamp : a.counter < b.counter;
  });
  return found;
}

}  // namespace

unsigned NextCounter(const fs::path& logPath, WallTime begun) {
  const std::string name = fs::path(RotatedPath(logPath.string(), begun, 0)).filename().string();
  const std::string stamp = name.substr(logPath.stem().string().size() + 1, kStampLength);
  unsigned next = 0;
  for (const Rotated& rotated : FindRotated(logPath))
    if (rotated.stamp == stamp) next = std::max(next, static_cast<unsigned>(rotated.counter) + 1);
  return next;
}

std::vector<fs::path> RotatedFiles(const fs::path& logPath) {
  std::vector<Rotated> found = FindRotated(logPath);
  std::vector<fs::path> files;
  for (Rotated& rotated : found) files.push_back(std::move(rotated.path));
  return files;
}

void KeepNewest(const fs::path& logPath, uint32_t keep) {
  if (keep == 0) return;
  const std::vector<fs::path> files = RotatedFiles(logPath);
  if (files.size() <= keep) return;
  for (size_t i = 0; i < files.size() - keep; ++i) {
    std::error_code ignored;
    fs::remove(files[i], ignored);
    fs::remove(files[i].string() + std::string(kTimeIndexSuffix), ignored);
  }
}

bool SameLocalDay(WallTime a, WallTime b) {
  const std::tm first = LocalTime(a);
  const std::tm second = LocalTime(b);
  return first.tm_year == second.tm_year && first.tm_yday == second.tm_yday;
}

}  // namespace log_rotation
