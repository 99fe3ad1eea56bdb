#pragma once
// Lets one thread end the blocking waits of others at once. Each waiting operation holds a
// ticket whose eventfd sits in its poll set; WakeAll makes every ticket held at that moment
// readable. A wake-up never outlives the waits it was meant for, so a later wait does not
// return early because of an old one.

#include <mutex>
#include <vector>

namespace serial {

class WakeSet {
 public:
  WakeSet() = default;
  WakeSet(const WakeSet&) = delete;
  WakeSet& operator=(const WakeSet&) = delete;
  ~WakeSet();

  void WakeAll();

 private:
  friend class WakeTicket;
  int Enter(int& fd);
  void Leave(int fd);

  struct Waiter {
    int fd;
    bool woken;  // only a woken eventfd needs draining when its ticket ends
  };

  std::mutex m_mutex;
  std::vector<Waiter> m_waiting;  // the tickets now held
  std::vector<int> m_spare;       // drained eventfds kept for the next tickets
};

// One waiting operation's registration, for as long as the object lives.
class WakeTicket {
 public:
  explicit WakeTicket(WakeSet& set) : m_set(set) { m_error = set.Enter(m_fd); }
  ~WakeTicket() {
    if (m_error == 0) m_set.Leave(m_fd);
  }
  WakeTicket(const WakeTicket&) = delete;
  WakeTicket& operator=(const WakeTicket&) = delete;

  // 0, or the errno when no eventfd could be had (then the ticket is unusable).
  int error() const { return m_error; }
  // Readable once woken.
  int fd() const { return m_fd; }
  // Takes the wake-up, so the ticket can block again.
  void Drain() const;

 private:
  WakeSet& m_set;
  int m_fd = -1;
  int m_error = 0;
};

}  // namespace serial
