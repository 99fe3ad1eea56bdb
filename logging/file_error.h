#pragma once
// Why a log file operation failed, and the text the user sees for it. Operating-system error
// numbers become causes in one place (CauseOfErrno) so every caller reports them alike.

#include <stdexcept>
#include <string>

enum class FileErrorCause {
  kGeneric,
  kFileNotFound,
  kBadPath,
  kTooManyOpenFiles,
  kAccessDenied,
  kInvalidFile,
  kRemoveCurrentDir,
  kDirectoryFull,
  kBadSeek,
  kHardIO,
  kSharingViolation,
  kLockViolation,
  kDiskFull,
  kEndOfFile,
};

FileErrorCause CauseOfErrno(int error);

// The message for `cause` naming `path` ("an unnamed file" when it is empty).
std::string FileErrorMessage(FileErrorCause cause, const std::string& path);

class FileError : public std::runtime_error {
 public:
  FileError(FileErrorCause cause, std::string path);

  FileErrorCause Cause() const { return m_cause; }
  const std::string& Path() const { return m_path; }
  std::string Message() const { return what(); }

 private:
  FileErrorCause m_cause;
  std::string m_path;
};
