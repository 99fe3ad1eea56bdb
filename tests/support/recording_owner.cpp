#include "tests/support/recording_owner.h"

#include <algorithm>

namespace testing_support {

std::ostream& operator<<(std::ostream& out, const PostedMessage& posted) {
  return out << "{0x" << std::hex << posted.message << std::dec << ", " << posted.wParam << ", "
             << posted.lParam << "}";
}

void RecordingOwner::PostPortMessage(uint32_t message, int wParam, int lParam) {
  {
    std::lock_guard lock(m_mutex);
    m_messages.push_back({message, wParam, lParam});
  }
  m_posted.notify_all();
}

std::vector<PostedMessage> RecordingOwner::Messages() const {
  std::lock_guard lock(m_mutex);
  return m_messages;
}

size_t RecordingOwner::Count(const PostedMessage& posted) const {
  std::lock_guard lock(m_mutex);
  return CountLocked(posted);
}

void RecordingOwner::Clear() {
  std::lock_guard lock(m_mutex);
  m_messages.clear();
}

bool RecordingOwner::WaitFor(const PostedMessage& posted, size_t times,
                             std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_posted.wait_for(lock, timeout, [&] { return CountLocked(posted) >= times; });
}

bool RecordingOwner::WaitUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(m_mutex);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    m_posted.wait_for(lock, std::chrono::milliseconds(10));
  }
  return true;
}

size_t RecordingOwner::CountLocked(const PostedMessage& posted) const {
  return static_cast<size_t>(std::count(m_messages.begin(), m_messages.end(), posted));
}

}  // namespace testing_support
