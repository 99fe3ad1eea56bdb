#pragma once
// How this layer turns what the operating system says into the errno it returns. Kept in
// one place so every operation reports failures the same way.

#include <cerrno>

namespace serial {

// A hung-up line (pseudo-terminal far end closed, USB adapter pulled) reads as end of file
// and polls as POLLHUP/POLLERR; both are reported as this.
inline constexpr int kDeviceGone = EIO;

// The errno of the call that just failed; never 0, so a failure is never taken for success.
inline int LastError() { return errno != 0 ? errno : EIO; }

// flock's "would block" means another open of the device holds it.
inline int LockError(int error) { return error == EWOULDBLOCK ? EBUSY : error; }

// What a driver answers for a feature it does not have (pseudo-terminals have no modem
// lines and no error counters). ENOIOCTLCMD (515) normally reaches user space as ENOTTY.
inline bool IsMissingCapability(int error) {
  constexpr int kNoIoctlCommand = 515;
  return error == ENOTTY || error == EINVAL || error == kNoIoctlCommand;
}

}  // namespace serial
