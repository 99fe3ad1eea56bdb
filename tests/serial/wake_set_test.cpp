// Wake-ups reach the waits held at that moment and never a later one.
#include "serial/wake_set.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <optional>

namespace serial {
namespace {

bool Readable(const WakeTicket& ticket) {
  pollfd ready{ticket.fd(), POLLIN, 0};
  return poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0;
}

TEST(WakeSet, WakesTheTicketsHeldAndNoLaterOne) {
  WakeSet set;
  std::optional<WakeTicket> first(std::in_place, set);
  const WakeTicket second(set);
  ASSERT_EQ(first->error(), 0);
  ASSERT_FALSE(Readable(*first));
  set.WakeAll();
  EXPECT_TRUE(Readable(*first));
  EXPECT_TRUE(Readable(second));

  // Its wait ended without taking the wake-up; the ticket after it reuses the same eventfd.
  const int reused = first->fd();
  first.reset();
  const WakeTicket later(set);
  ASSERT_EQ(later.fd(), reused);
  EXPECT_FALSE(Readable(later)) << "an old wake-up would end this wait early";
}

TEST(WakeSet, ADrainedTicketCanBlockAgain) {
  WakeSet set;
  const WakeTicket ticket(set);
  set.WakeAll();
  ticket.Drain();
  EXPECT_FALSE(Readable(ticket));
  set.WakeAll();
  EXPECT_TRUE(Readable(ticket));
}

}  // namespace
}  // namespace serial
