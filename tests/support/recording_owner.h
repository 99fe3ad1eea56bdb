#pragma once
// A PortOwner for tests: records every posted message in order, from any thread, and lets a
// test wait for what it expects with a deadline instead of sleeping.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <vector>

#include "logging/port_owner.h"

namespace testing_support {

struct PostedMessage {
  uint32_t message = 0;
  int wParam = 0;
  int lParam = 0;
  bool operator==(const PostedMessage&) const = default;
};
std::ostream& operator<<(std::ostream& out, const PostedMessage& posted);

inline PostedMessage StatusMessage(int index, int code) { return {WM_PORT_STATUS, index, code}; }
inline constexpr PostedMessage kStatisticsMessage{WM_PORT_STATISTICS, 0, 0};

class RecordingOwner : public PortOwner {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{5000};

  void PostPortMessage(uint32_t message, int wParam, int lParam) override;

  std::vector<PostedMessage> Messages() const;
  size_t Count(const PostedMessage& posted) const;
  void Clear();

  // True once `posted` has been recorded at least `times` times; false at the deadline.
  bool WaitFor(const PostedMessage& posted, size_t times = 1,
               std::chrono::milliseconds timeout = kDefaultTimeout) const;
  // True once `condition` holds. It is checked on every post and at least every 10 ms, so it
  // may also watch state that changes without a post.
  bool WaitUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = kDefaultTimeout) const;

 private:
  size_t CountLocked(const PostedMessage& posted) const;

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_posted;
  std::vector<PostedMessage> m_messages;
};

}  // namespace testing_support
