#include "logging/data_tap.h"

#include <algorithm>
#include <cstring>

void DataTap::Put(uint64_t offset, std::span<const uint8_t> bytes, std::span<const Run> runs) {
  const uint64_t sequence = m_nextSequence.load(std::memory_order_relaxed);
  Slot& slot = m_slots[sequence % kSlots];
  const size_t length = std::min(bytes.size(), kBlockBytes);
  uint64_t state = slot.state.load(std::memory_order_acquire);
  // A viewer copying the older block of this slot keeps it; this block is not shown.
  const bool claimed =
      (state & 3) != kReading && slot.state.compare_exchange_strong(
                                     state, StateOf(sequence, kWriting), std::memory_order_acq_rel);
  const uint64_t position = m_position.load(std::memory_order_relaxed);
  if (claimed) {
    slot.position = position;
    slot.offset = offset;
    slot.length = static_cast<uint32_t>(length);
    std::memcpy(slot.bytes.data(), bytes.data(), length);
    slot.runCount = static_cast<uint32_t>(std::min(runs.size(), slot.runs.size()));
    std::copy_n(runs.begin(), slot.runCount, slot.runs.begin());
    slot.state.store(StateOf(sequence, kFull), std::memory_order_release);
  }
  m_position.store(position + bytes.size(), std::memory_order_relaxed);
  m_nextSequence.store(sequence + 1, std::memory_order_release);
}

// Bytes put from here on that the viewer does not get count as skipped. The position read
// may be a block or two later than the sequence: the first count is then a little low.
void DataTap::StartViewing() {
  m_takenUpTo = m_nextSequence.load(std::memory_order_acquire);
  m_takenPosition = m_position.load(std::memory_order_relaxed);
}

std::vector<DataTap::Block> DataTap::Take(uint64_t& skipped) {
  skipped = 0;
  const uint64_t end = m_nextSequence.load(std::memory_order_acquire);
  const uint64_t first = std::max(m_takenUpTo, end > kSlots ? end - kSlots : uint64_t{1});
  std::vector<Block> blocks;
  for (uint64_t sequence = first; sequence < end; ++sequence) {
    Slot& slot = m_slots[sequence % kSlots];
    uint64_t full = StateOf(sequence, kFull);
    // Overwritten by a newer block meanwhile, or never put: its bytes count as skipped.
    if (!slot.state.compare_exchange_strong(full, StateOf(sequence, kReading),
                                            std::memory_order_acq_rel))
      continue;
    Block block;
    block.offset = slot.offset;
    block.bytes.assign(slot.bytes.begin(), slot.bytes.begin() + slot.length);
    block.runs.assign(slot.runs.begin(), slot.runs.begin() + slot.runCount);
    const uint64_t position = slot.position;
    slot.state.store(StateOf(sequence, kFull), std::memory_order_release);
    skipped += position - std::min(position, m_takenPosition);
    m_takenPosition = position + block.bytes.size();
    blocks.push_back(std::move(block));
  }
  m_takenUpTo = end;
  return blocks;
}
