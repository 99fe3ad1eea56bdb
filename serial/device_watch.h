#pragma once
// Waits, without polling, for a device node to appear in its folder again: inotify on the
// folder for a node made there, one moved there, and a change of attributes (udev makes a
// node and then gives it its group, and only then may the user open it). Nothing wakes while
// nothing changes in that folder.

#include <string>

namespace serial {

class DeviceWatch {
 public:
  explicit DeviceWatch(const std::string& devicePath);
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  // 0, or the errno when the folder cannot be watched.
  int error() const { return m_error; }
  // Readable once something changed in the folder.
  int fd() const { return m_fd; }
  // Takes what changed; true when it concerned the node.
  bool NodeChanged();

 private:
  int m_fd = -1;
  int m_error = 0;
  std::string m_name;  // the node's name within its folder
};

}  // namespace serial
