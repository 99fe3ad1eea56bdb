#pragma once
// LogFile: the file a logging task writes what it receives to. A thin owner of a POSIX
// descriptor with no buffer of its own, so every block reaches the operating system at once.
// No locks are taken: other programs may read and write the file meanwhile.
//
// One thread at a time: the task opens and closes it on the window's thread while no reader
// thread runs, and the reader thread writes in between.

#include <cstdint>
#include <span>
#include <string>

class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Creates the file when missing and empties it unless appending; the position is the start.
  // False when it cannot be opened (an empty path cannot). Closes a file still open first.
  bool Open(const std::string& path, bool append);
  bool IsOpen() const { return m_fd >= 0; }
  bool SeekToEnd();
  // The size in bytes; 0 when it cannot be read.
  uint64_t Size() const;
  // Writes the whole block at the current position or throws FileError. A block the disk
  // cannot take whole is taken back out, so the file holds whole blocks only.
  void Write(std::span<const uint8_t> block);
  void Close();

  // The absolute path given to the last Open, as error messages name it.
  const std::string& Path() const { return m_path; }

 private:
  void TakeBack(size_t written);

  int m_fd = -1;
  std::string m_path;
};
