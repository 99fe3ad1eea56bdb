#include "serial/folder_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

#include "serial/sys_error.h"

namespace serial {

FolderWatch::FolderWatch(const std::string& folder, WatchFor what) {
  m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_fd < 0) {
    m_error = LastError();
    return;
  }
  // A closed device node is no change: ports opened and closed must not wake the watch.
  const uint32_t events = what == WatchFor::kDeviceNodes ? IN_CREATE | IN_MOVED_TO | IN_ATTRIB
                                                         : IN_CLOSE_WRITE | IN_MOVED_TO;
  if (inotify_add_watch(m_fd, folder.c_str(), events) < 0)
    m_error = LastError();
}

FolderWatch::~FolderWatch() {
  if (m_fd >= 0) close(m_fd);
}

bool FolderWatch::Changed(const std::string& name) {
  bool changed = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = read(m_fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return changed;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      // A lost event may have been the one asked for; the caller just looks again.
      if (name.empty() || (event->mask & IN_Q_OVERFLOW) || (event->len > 0 && name == event->name))
        changed = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

}  // namespace serial
