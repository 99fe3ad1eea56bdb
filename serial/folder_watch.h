#pragma once
// Waits, without polling, for device nodes to appear in a folder: inotify on the folder for a
// node made there, one moved there, and a change of attributes (udev makes a node and then
// gives it its group, and only then may the user open it). Nothing wakes while nothing changes
// in that folder. It can also wait for files written in a folder (a settings file saved).

#include <string>

namespace serial {

class FolderWatch {
 public:
  // Device nodes: made, moved there, given other attributes. Written files: a file finished
  // being written there, or moved there whole (as a file replaced safely is).
  enum class WatchFor { kDeviceNodes, kWrittenFiles };

  explicit FolderWatch(const std::string& folder, WatchFor what = WatchFor::kDeviceNodes);
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // 0, or the errno when the folder cannot be watched.
  int error() const { return m_error; }
  // Readable once something changed in the folder.
  int fd() const { return m_fd; }
  // Takes what changed; true when it concerned the entry `name` (any entry when empty).
  bool Changed(const std::string& name = {});

 private:
  int m_fd = -1;
  int m_error = 0;
};

}  // namespace serial
