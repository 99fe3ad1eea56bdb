#pragma once
// What a logging task hands to a view of its data: each block it wrote to the log, with its
// offset there and, when the task keeps a time index, the times of its runs. The reader thread
// puts and never waits; a viewer takes the newest blocks at its own pace and learns how many
// bytes it missed. Nothing is read back from the file.
//
// A ring of slots, each guarded by a sequence lock: the reader always writes the next slot,
// and a viewer keeps a copy only when the slot's state word is the same after the copy as
// before it. So the newest block is always there to take; a copy the reader overwrote
// meanwhile is of an older block, and its bytes count as skipped. Every shared word is an
// atomic, so a copy that races a write is discarded, never undefined.

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
  static constexpr size_t kRunsPerBlock = 64;

  struct Block {
    uint64_t offset = 0;  // of the first byte, in the log file
    std::vector<uint8_t> bytes;
    std::vector<Run> runs;  // where each run starts in `bytes`, and when it came; may be empty
  };

  // Viewer thread: the next Take begins with what is put from now on.
  void StartViewing();
  // Reader thread. Bytes beyond kBlockBytes, and runs beyond kRunsPerBlock, are not shown.
  void Put(uint64_t offset, std::span<const uint8_t> bytes, std::span<const Run> runs);
  // Viewer thread: the blocks put since the last Take, oldest first, at most the newest
  // kSlots; `skipped` gets the number of bytes between them that could not be had.
  std::vector<Block> Take(uint64_t& skipped);

 private:
  using Word = std::atomic<uint64_t>;
  static constexpr uint64_t kWriting = 1;  // the state's low bit; the rest is the sequence
  struct Slot {
    Word state{0};
    Word position{0};  // bytes put before this block, for counting what a viewer missed
    Word offset{0};
    Word length{0};
    Word runCount{0};
    std::array<Word, kBlockBytes / sizeof(uint64_t)> bytes{};
    std::array<Word, kRunsPerBlock> runStarts{};
    std::array<Word, kRunsPerBlock> runTimes{};  // in the clock's ticks since its epoch
  };
  static void Fill(Slot& slot, std::span<const uint8_t> bytes, std::span<const Run> runs);
  static Block CopyOf(const Slot& slot);

  std::array<Slot, kSlots> m_slots;
  Word m_nextSequence{1};        // the reader's; blocks before it were put
  Word m_position{0};            // bytes put; the reader's, read at StartViewing
  uint64_t m_takenUpTo = 1;      // viewer: the next sequence it wants
  uint64_t m_takenPosition = 0;  // viewer: where the blocks it took ended
};
