#include "serial/termios_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

#include "serial/sys_error.h"
#include "serial/termios2_line.h"

namespace serial {

namespace {

// Unix98 pseudo-terminal subordinates carry the fixed majors 136 to 143.
bool IsPseudoTerminal(dev_t device) {
  const unsigned int number = major(device);
  return number >= 136 && number <= 143;
}

int CheckedOpen(const std::string& path, int& fd, bool& pseudoTerminal) {
  fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError();
  struct stat info {};
  int error = fstat(fd, &info) != 0 ? LastError() : (S_ISCHR(info.st_mode) ? 0 : ENOTTY);
  // flock, because root passes TIOCEXCL and because TIOCEXCL leaves a gap after open.
  if (error == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) error = LockError(LastError());
  if (error != 0) {
    close(fd);
    return error;
  }
  ioctl(fd, TIOCEXCL);  // also keeps out other users' opens; a missing capability is fine
  pseudoTerminal = IsPseudoTerminal(info.st_rdev);
  return 0;
}

// What a port is before its first SetState: the driver's rate, frame and flow control, DTR
// and RTS raised, and the platform's usual values for the fields termios lacks. The line's
// own flow control is kept, since an open with a choice outside the table must keep it.
ControlBlock InitialBlock(const LineImage& image) {
  ControlBlock block;
  block.flags = dcb_flag::fBinary;
  block.XonLim = 2048;
  block.XoffLim = 512;
  ApplyFlowControl(block, 0);  // DTR and RTS raised; the line's handshakes are decoded next
  DecodeImage(image, true, block);
  if (block.BaudRate == 0) block.BaudRate = 9600;  // rate 0 would hang the line up
  return block;
}

}  // namespace

int TermiosDevice::Open(const std::string& path, std::unique_ptr<PortDevice>& device,
                        std::unique_ptr<PortLock> lock) {
  int fd = -1;
  bool pseudoTerminal = false;
  if (const int error = CheckedOpen(path, fd, pseudoTerminal)) return error;
  std::unique_ptr<TermiosDevice> opened(new TermiosDevice(fd, std::move(lock), pseudoTerminal));
  if (const int error = opened->Start()) return error;
  device = std::move(opened);
  return 0;
}

TermiosDevice::TermiosDevice(int fd, std::unique_ptr<PortLock> lock, bool frameForced)
    : m_fd(fd), m_lock(std::move(lock)), m_frameForced(frameForced) {}

TermiosDevice::~TermiosDevice() {
  m_watcher.reset();      // its thread waits on the descriptor
  ioctl(m_fd, TIOCNXCL);  // a pseudo-terminal outlives this open; let other users in again
  close(m_fd);            // also ends the flock
  m_lock.reset();         // only now may another program take the port
}

int TermiosDevice::Start() {
  LineImage image;
  if (const int error = ReadLine(m_fd, image)) return error;
  {
    const std::lock_guard lock(m_mutex);
    if (const int error = ApplyState(InitialBlock(image))) return error;
    m_hasCounts = ReadLineCounts(m_fd, m_errorsCleared) == 0;
  }
  if (!m_hasCounts) return 0;
  constexpr int kModemLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
  m_watcher = LineWatcher::Start(
      [fd = m_fd] { return ioctl(fd, TIOCMIWAIT, kModemLines) == 0 ? 0 : LastError(); },
      [fd = m_fd](LineCounts& counts) { return ReadLineCounts(fd, counts); },
      [this] { m_wake.WakeAll(); });
  return 0;
}

int TermiosDevice::GetState(ControlBlock& block) {
  const std::lock_guard lock(m_mutex);
  LineImage image;
  if (const int error = ReadLine(m_fd, image)) return error;
  block = m_block;
  DecodeImage(image, !m_frameForced, block);
  return 0;
}

int TermiosDevice::SetState(const ControlBlock& block) {
  if (const int error = CheckBlock(block)) return error;
  const std::lock_guard lock(m_mutex);
  return ApplyState(block);
}

// Applies the block whole or not at all: whatever the driver refuses or silently changes
// puts the line back as it was.
int TermiosDevice::ApplyState(const ControlBlock& block) {
  LineImage before;
  if (const int error = ReadLine(m_fd, before)) return error;
  LineImage wanted = before;
  EncodeBlock(block, wanted);
  if (const int error = ApplyLine(m_fd, wanted)) return error;
  LineImage actual;
  int error = ReadLine(m_fd, actual);
  if (error == 0 && !ImageApplied(wanted, actual, m_frameForced)) error = EINVAL;
  if (error == 0) error = SetModemLines(block);
  if (error != 0) {
    ApplyLine(m_fd, before);
    return error;
  }
  m_block = block;
  return 0;
}

// DTR and RTS are raised unless disabled. termios has no DTR handshake and no RTS toggling,
// so those keep the line raised; with RTS/CTS on, the driver drives RTS itself.
int TermiosDevice::SetModemLines(const ControlBlock& block) {
  const int raise = (block.DtrControl() != DTR_CONTROL_DISABLE ? TIOCM_DTR : 0) |
                    (block.RtsControl() != RTS_CONTROL_DISABLE ? TIOCM_RTS : 0);
  const int lower = (TIOCM_DTR | TIOCM_RTS) & ~raise;
  for (auto [request, lines] : {std::pair{TIOCMBIS, raise}, std::pair{TIOCMBIC, lower}}) {
    if (lines != 0 && ioctl(m_fd, request, &lines) != 0 && !IsMissingCapability(errno))
      return LastError();
  }
  return 0;
}

int TermiosDevice::SetTimeouts(const CommTimeouts& timeouts) {
  const std::lock_guard lock(m_mutex);
  m_timeouts = timeouts;
  return 0;
}

CommTimeouts TermiosDevice::Timeouts() {
  const std::lock_guard lock(m_mutex);
  return m_timeouts;
}

int TermiosDevice::SetEventMask(uint32_t mask) {
  m_mask.store(mask);
  m_maskChanges.fetch_add(1);
  m_wake.WakeAll();
  return 0;
}

int TermiosDevice::GetModemStatus(uint32_t& status) {
  status = 0;
  int lines = 0;
  if (ioctl(m_fd, TIOCMGET, &lines) != 0) return IsMissingCapability(errno) ? 0 : LastError();
  if (lines & TIOCM_CTS) status |= MS_CTS_ON;
  if (lines & TIOCM_DSR) status |= MS_DSR_ON;
  if (lines & TIOCM_RNG) status |= MS_RING_ON;
  if (lines & TIOCM_CD) status |= MS_RLSD_ON;
  return 0;
}

int TermiosDevice::ClearError(uint32_t& errors, uint32_t& bytesWaiting) {
  errors = 0;
  bytesWaiting = 0;
  int waiting = 0;
  if (ioctl(m_fd, FIONREAD, &waiting) != 0) return LastError();
  bytesWaiting = static_cast<uint32_t>(waiting);
  LineCounts now;
  if (m_hasCounts && ReadLineCounts(m_fd, now) == 0) {
    const std::lock_guard lock(m_mutex);
    errors = ErrorsBetween(m_errorsCleared, now);
    m_errorsCleared = now;
  }
  return 0;
}

int TermiosDevice::GetLineCounts(LineCounts& counts) {
  return m_hasCounts ? ReadLineCounts(m_fd, counts) : ENOTTY;
}

void TermiosDevice::Purge() {
  tcflush(m_fd, TCIOFLUSH);
  CancelIo();
}

void TermiosDevice::CancelIo() {
  m_cancels.fetch_add(1);
  m_wake.WakeAll();
}

}  // namespace serial
