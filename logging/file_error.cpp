#include "logging/file_error.h"

#include <cerrno>
#include <string_view>
#include <utility>

FileErrorCause CauseOfErrno(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FileErrorCause::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileErrorCause::kAccessDenied;
    case EIO:
      return FileErrorCause::kHardIO;
    case ENOENT:
      return FileErrorCause::kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
      return FileErrorCause::kBadPath;
    case EMFILE:
    case ENFILE:
      return FileErrorCause::kTooManyOpenFiles;
    case EBADF:
      return FileErrorCause::kInvalidFile;
    default:
      return FileErrorCause::kGeneric;
  }
}

namespace {

// Each text has exactly one "%1", the place of the file's name.
std::string_view TemplateOf(FileErrorCause cause) {
  switch (cause) {
    case FileErrorCause::kGeneric:
      break;
    case FileErrorCause::kFileNotFound:
      return "%1 was not found.";
    case FileErrorCause::kBadPath:
      return "%1 contains an incorrect path.";
    case FileErrorCause::kTooManyOpenFiles:
      return "Could not open %1 because there are too many open files.";
    case FileErrorCause::kAccessDenied:
      return "Access to %1 was denied.";
    case FileErrorCause::kInvalidFile:
      return "An incorrect file handle was associated with %1.";
    case FileErrorCause::kRemoveCurrentDir:
      return "Could not remove %1 because it is the current directory.";
    case FileErrorCause::kDirectoryFull:
      return "Could not create %1 because the directory is full.";
    case FileErrorCause::kBadSeek:
      return "Seek failed on %1";
    case FileErrorCause::kHardIO:
      return "Encountered a hardware I/O error while accessing %1.";
    case FileErrorCause::kSharingViolation:
      return "Encountered a sharing violation while accessing %1.";
    case FileErrorCause::kLockViolation:
      return "Encountered a locking violation while accessing %1.";
    case FileErrorCause::kDiskFull:
      return "Disk full while accessing %1.";
    case FileErrorCause::kEndOfFile:
      return "Attempted to access %1 past its end.";
  }
  return "An unknown error occurred while accessing %1.";
}

}  // namespace

std::string FileErrorMessage(FileErrorCause cause, const std::string& path) {
  const std::string_view text = TemplateOf(cause);
  const size_t mark = text.find("%1");
  std::string message(text.substr(0, mark));
  message += path.empty() ? std::string_view("an unnamed file") : std::string_view(path);
  message += text.substr(mark + 2);
  return message;
}

FileError::FileError(FileErrorCause cause, std::string path)
    : std::runtime_error(FileErrorMessage(cause, path)), m_cause(cause), m_path(std::move(path)) {}
