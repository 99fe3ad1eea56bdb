#pragma once
// LogFile: the file a logging task writes what it receives to. A thin owner of a POSIX
// descriptor with no buffer of its own, so every block reaches the operating system at once,
// and the disk within about a second (DiskFlusher). No locks are taken: other programs may
// read and write the file meanwhile.
//
// Every write goes to the end of the file (O_APPEND), so a file another program truncates gets
// no holes. A file that was moved away or deleted while open is followed by a new file at the
// path before the next block (FollowPath).
//
// The task opens and closes it on the window's thread while no reader thread runs; the reader
// thread writes in between, and the flusher's thread flushes.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "logging/disk_flusher.h"

class LogFile final : public Flushable {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Creates the file when missing; unless appending, it is to be emptied, which happens at
  // EmptyNow or before the first write, whichever comes first: a start that fails after the
  // file opened (the port is someone else's) must not have emptied it. False when it cannot
  // be opened (an empty path cannot). Closes a file still open first.
  bool Open(const std::string& path, bool append);
  // Empties the file if an Open without appending asked for it and nothing emptied it yet.
  // From any thread; the first write waits for it.
  void EmptyNow();
  bool IsOpen() const { return m_fd >= 0; }
  // The size in bytes; 0 when it cannot be read.
  uint64_t Size() const;
  // When the path no longer names the open file (it was moved away or deleted), opens a new
  // file there and returns true; throws FileError when that cannot be done. After
  // RequestReopen the file is opened again at its path even when the path still names it.
  bool FollowPath();
  // From any thread: the next FollowPath reopens the file at its path, as a log rotation
  // that renamed it expects.
  void RequestReopen() { m_reopenRequested = true; }
  // Renames the file to `asidePath`, never over another file, and goes on in a new empty file
  // at its path: a log rotation that programs following the path (tail -F) read once. 0, or
  // the errno (EEXIST: the name is taken) with the file left at its path, written on.
  int MoveAsideAndRenew(const std::string& asidePath);
  // The path the file was opened by, which rotation renames.
  const std::string& FollowedPath() const { return m_followedPath; }
  // Only a regular file can be renamed and renewed; a pipe, a terminal or /dev/null cannot.
  bool IsRegularFile() const { return m_regular; }
  // When the open file was made, where the file system keeps that; else when it was opened.
  std::chrono::system_clock::time_point BirthTime() const { return m_birthTime; }
  // Writes the whole block at the end of the file or throws FileError. A block the disk
  // cannot take whole is taken back out, so the file holds whole blocks only.
  void Write(std::span<const uint8_t> block);
  // Flushes what was written to the disk now, if anything is not there yet.
  void FlushToDisk() override;
  // Flushes to the disk and closes.
  void Close();

  // The absolute path given to the last Open, as error messages name it.
  const std::string& Path() const { return m_path; }

  // Whether log files are flushed to the disk at all, for the whole program; on unless the
  // benchmark turns it off to measure what flushing costs.
  static void SetDiskFlushes(bool on);

 private:
  void TakeBack(size_t written);
  void AfterWrite();
  void Adopt(int fd);  // the new descriptor of the file at the path, after the old one
  void NoteFile(int fd);

  int m_fd = -1;
  dev_t m_device = 0;  // which file the path named when it was opened
  ino_t m_inode = 0;
  bool m_regular = false;
  std::chrono::system_clock::time_point m_birthTime{};
  std::string m_path;
  std::string m_followedPath;  // the path the file was opened by, which FollowPath watches
  std::atomic<bool> m_reopenRequested{false};
  std::mutex m_emptyMutex;  // an emptying and the first write never overlap
  std::atomic<bool> m_emptyPending{false};

  std::mutex m_flushMutex;  // guards the fields below and the descriptor against Close
  bool m_unflushed = false;
  std::chrono::steady_clock::time_point m_lastFlush{};
};
