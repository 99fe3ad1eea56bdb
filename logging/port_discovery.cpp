#include "logging/port_discovery.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Port names had to fit a 100-byte buffer of UTF-16 text with its terminating NUL.
constexpr size_t kLongestPortName = 49;

std::optional<std::string> FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  return line;
}

std::optional<unsigned long> ReadNumber(const fs::path& file) {
  const auto line = FirstLine(file);
  if (!line || line->empty()) return std::nullopt;
  char* end = nullptr;
  const unsigned long number = std::strtoul(line->c_str(), &end, 10);
  if (end == line->c_str()) return std::nullopt;
  return number;
}

// The 8250 driver lists as many ports as it was built for, with or without a chip; an empty
// slot has type 0. A zero I/O port and memory base mean nothing: UARTs on SPI or I2C have both.
bool IsPlaceholderPort(const fs::path& entry) { return ReadNumber(entry / "type") == 0ul; }

bool HasDevice(const fs::path& entry) {
  std::error_code error;
  return fs::exists(fs::symlink_status(entry / "device", error));
}

// The node under /dev; the class entry's name unless the kernel says otherwise.
std::string NodeName(const fs::path& entry) {
  std::ifstream uevent(entry / "uevent");
  constexpr std::string_view kKey = "DEVNAME=";
  for (std::string line; std::getline(uevent, line);) {
    if (line.starts_with(kKey) && line.size() > kKey.size()) return line.substr(kKey.size());
  }
  return entry.filename().string();
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Compares two digit runs by their numeric value, without any limit on their length.
int CompareNumbers(std::string_view a, std::string_view b) {
  const auto strip = [](std::string_view s) {
    return s.substr(std::min(s.find_first_not_of('0'), s.size()));
  };
  a = strip(a);
  b = strip(b);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

std::string_view TakeDigits(std::string_view& s) {
  size_t n = 0;
  while (n < s.size() && IsDigit(s[n])) ++n;
  const std::string_view digits = s.substr(0, n);
  s.remove_prefix(n);
  return digits;
}

// Natural order: digit runs compare as numbers, everything else byte by byte. Names equal
// in that order ("ttyS01", "ttyS1") fall back to plain comparison, so the order never
// depends on how the folder happens to list them.
bool NaturallyBefore(std::string_view a, std::string_view b) {
  std::string_view restA = a, restB = b;
  while (!restA.empty() && !restB.empty()) {
    int order;
    if (IsDigit(restA.front()) && IsDigit(restB.front())) {
      order = CompareNumbers(TakeDigits(restA), TakeDigits(restB));
    } else {
      order = static_cast<unsigned char>(restA.front()) - static_cast<unsigned char>(restB.front());
      restA.remove_prefix(1);
      restB.remove_prefix(1);
    }
    if (order != 0) return order < 0;
  }
  if (!restA.empty() || !restB.empty()) return restA.empty();
  return a < b;
}

}  // namespace

int EnumerateSerialPorts(std::vector<std::string>& names, const fs::path& sysfsRoot) {
  std::vector<std::string> found;
  std::error_code error;
  fs::directory_iterator entry(sysfsRoot / "class" / "tty", error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const fs::path& path = entry->path();
    if (!HasDevice(path) || IsPlaceholderPort(path)) continue;
    std::string name = NodeName(path);
    if (name.size() <= kLongestPortName) found.push_back(std::move(name));
  }
  std::stable_sort(found.begin(), found.end(), NaturallyBefore);
  names.insert(names.end(), found.begin(), found.end());
  return static_cast<int>(found.size());
}

std::string DefaultLogFile(const std::string& logFolder, const std::string& portName) {
  std::string fileName = portName;
  std::replace(fileName.begin(), fileName.end(), '/', '_');
  return logFolder + "/" + fileName + "port" + ".txt";
}
