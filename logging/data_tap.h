#pragma once
// What a logging task hands to a view of its data: each block it wrote to the log, with its
// offset there and, when the task keeps a time index, the times of its runs. The reader thread
// puts and never waits; a viewer takes the newest blocks at its own pace and learns how many
// bytes it missed. Nothing is read back from the file.
//
// A ring of slots, each claimed through its own state word: the reader writes a slot only
// while it holds it, and a viewer copies one only while it holds it; a slot the viewer is
// copying is passed over, so the reader drops that block for the viewer instead of waiting.

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "serial/read_arrivals.h"

class DataTap {
 public:
  using Run = serial::ReadArrivals::Run;
  static constexpr size_t kSlots = 64;  // the newest 256 KiB in blocks of 4096
  static constexpr size_t kBlockBytes = 4096;

  struct Block {
    uint64_t offset = 0;  // of the first byte, in the log file
    std::vector<uint8_t> bytes;
    std::vector<Run> runs;  // where each run starts in `bytes`, and when it came; may be empty
  };

  // Viewer thread: the next Take begins with what is put from now on.
  void StartViewing();
  // Reader thread. Bytes beyond kBlockBytes, and runs beyond the slot's room, are not shown.
  void Put(uint64_t offset, std::span<const uint8_t> bytes, std::span<const Run> runs);
  // Viewer thread: the blocks put since the last Take, oldest first, at most the newest
  // kSlots; `skipped` gets the number of bytes between them that could not be had.
  std::vector<Block> Take(uint64_t& skipped);

 private:
  enum : uint64_t { kEmpty = 0, kWriting = 1, kFull = 2, kReading = 3 };
  static constexpr uint64_t StateOf(uint64_t sequence, uint64_t phase) {
    return sequence << 2 | phase;
  }
  struct Slot {
    std::atomic<uint64_t> state{kEmpty};  // the block's sequence number and its phase
    uint64_t position = 0;  // bytes put before this block, for counting what a viewer missed
    uint64_t offset = 0;
    uint32_t length = 0;
    uint32_t runCount = 0;
    std::array<uint8_t, kBlockBytes> bytes;
    std::array<Run, 64> runs;
  };

  std::array<Slot, kSlots> m_slots;
  std::atomic<uint64_t> m_nextSequence{1};  // the reader's; blocks before it were put
  std::atomic<uint64_t> m_position{0};      // bytes put; the reader's, read at StartViewing
  uint64_t m_takenUpTo = 1;                 // viewer: the next sequence it wants
  uint64_t m_takenPosition = 0;             // viewer: where the blocks it took ended
};
