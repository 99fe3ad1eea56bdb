#include "serial/device_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "serial/sys_error.h"

namespace serial {

DeviceWatch::DeviceWatch(const std::string& devicePath) {
  const std::filesystem::path path(devicePath);
  m_name = path.filename().string();
  m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_fd < 0) {
    m_error = LastError();
    return;
  }
  const std::string folder = path.parent_path().string();
  if (inotify_add_watch(m_fd, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ATTRIB) < 0)
    m_error = LastError();
}

DeviceWatch::~DeviceWatch() {
  if (m_fd >= 0) close(m_fd);
}

bool DeviceWatch::NodeChanged() {
  bool changed = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = read(m_fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return changed;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      // A lost event may have been ours; the caller just tries the node again.
      if ((event->mask & IN_Q_OVERFLOW) || (event->len > 0 && m_name == event->name))
        changed = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

}  // namespace serial
