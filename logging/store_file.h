#pragma once
// File-system steps of the settings store: a lock that running copies of the program share,
// reading a whole file, replacing a file so that a crash or a full disk never leaves it
// half written, and keeping an unreadable file aside before it is replaced.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace store_file {

// An exclusive flock on a lock file, held while the object lives. Blocks until every other
// holder, in this process or another, has let go. The lock file is never removed: removing
// it would let two copies lock two different files.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(const std::filesystem::path& lockFile);
  ~ExclusiveLock();
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
  bool held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

enum class ReadResult { kRead, kMissing, kFailed };
// On kFailed, errno says why.
ReadResult ReadWholeFile(const std::filesystem::path& file, std::string& contents);

// Writes a temporary file in the same folder, flushes it to the disk and renames it over
// `file`, then flushes the folder. On failure the temporary file is removed and `file` is
// as it was.
bool ReplaceFile(const std::filesystem::path& file, std::string_view contents);

// Keeps the present `file` under "<file>.<tag>-<local time>" (a hard link, or a copy where
// links are not possible); returns that name, or nullopt when it could not be kept.
std::optional<std::filesystem::path> KeepAside(const std::filesystem::path& file,
                                               std::string_view tag);

}  // namespace store_file
