#include "logging/data_tap.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
// A slot's words are stored with release and loaded with acquire: a viewer that reads any
// word of a newer block then also reads that block's writing state, or a later one.
constexpr auto kPublish = std::memory_order_release;
constexpr auto kSee = std::memory_order_acquire;
using Clock = serial::ReadArrivals::Clock;

uint64_t StateOf(uint64_t sequence) { return sequence << 1; }

}  // namespace

void DataTap::Put(uint64_t offset, std::span<const uint8_t> bytes, std::span<const Run> runs) {
  const uint64_t sequence = m_nextSequence.load(kRelaxed);
  Slot& slot = m_slots[sequence % kSlots];
  const uint64_t position = m_position.load(kRelaxed);
  slot.state.store(StateOf(sequence) | kWriting, kRelaxed);
  slot.position.store(position, kPublish);
  slot.offset.store(offset, kPublish);
  Fill(slot, bytes.first(std::min(bytes.size(), kBlockBytes)),
       runs.first(std::min(runs.size(), kRunsPerBlock)));
  slot.state.store(StateOf(sequence), std::memory_order_release);
  m_position.store(position + bytes.size(), kRelaxed);
  m_nextSequence.store(sequence + 1, std::memory_order_release);
}

void DataTap::Fill(Slot& slot, std::span<const uint8_t> bytes, std::span<const Run> runs) {
  slot.length.store(bytes.size(), kPublish);
  for (size_t at = 0, word = 0; at < bytes.size(); at += sizeof(uint64_t), ++word) {
    uint64_t packed = 0;
    std::memcpy(&packed, bytes.data() + at, std::min(sizeof packed, bytes.size() - at));
    slot.bytes[word].store(packed, kPublish);
  }
  slot.runCount.store(runs.size(), kPublish);
  for (size_t i = 0; i < runs.size(); ++i) {
    slot.runStarts[i].store(runs[i].start, kPublish);
    slot.runTimes[i].store(static_cast<uint64_t>(runs[i].time.time_since_epoch().count()),
                           kPublish);
  }
}

// Words read while the reader rewrites the slot may disagree with each other; the copy is
// only kept when the state shows no write began meanwhile, so they are clamped, not trusted.
DataTap::Block DataTap::CopyOf(const Slot& slot) {
  Block block;
  block.offset = slot.offset.load(kSee);
  block.bytes.resize(std::min<uint64_t>(slot.length.load(kSee), kBlockBytes));
  for (size_t at = 0, word = 0; at < block.bytes.size(); at += sizeof(uint64_t), ++word) {
    const uint64_t packed = slot.bytes[word].load(kSee);
    std::memcpy(block.bytes.data() + at, &packed, std::min(sizeof packed, block.bytes.size() - at));
  }
  block.runs.resize(std::min<uint64_t>(slot.runCount.load(kSee), kRunsPerBlock));
  for (size_t i = 0; i < block.runs.size(); ++i) {
    block.runs[i].start = static_cast<uint32_t>(slot.runStarts[i].load(kSee));
    const auto ticks = static_cast<int64_t>(slot.runTimes[i].load(kSee));
    block.runs[i].time = Clock::time_point(Clock::duration(ticks));
  }
  return block;
}

// Bytes put from here on that the viewer does not get count as skipped. The position read
// may be later than the sequence when blocks are put meanwhile: the first count is then low.
void DataTap::StartViewing() {
  m_takenUpTo = m_nextSequence.load(std::memory_order_acquire);
  m_takenPosition = m_position.load(kRelaxed);
}

std::vector<DataTap::Block> DataTap::Take(uint64_t& skipped) {
  skipped = 0;
  const uint64_t end = m_nextSequence.load(std::memory_order_acquire);
  const uint64_t first = std::max(m_takenUpTo, end > kSlots ? end - kSlots : uint64_t{1});
  std::vector<Block> blocks;
  for (uint64_t sequence = first; sequence < end; ++sequence) {
    const Slot& slot = m_slots[sequence % kSlots];
    // Overwritten by a newer block before or while it was copied: its bytes count as skipped.
    if (slot.state.load(std::memory_order_acquire) != StateOf(sequence)) continue;
    const uint64_t position = slot.position.load(kSee);
    Block block = CopyOf(slot);
    if (slot.state.load(kRelaxed) != StateOf(sequence)) continue;
    skipped += position - std::min(position, m_takenPosition);
    m_takenPosition = position + block.bytes.size();
    blocks.push_back(std::move(block));
  }
  m_takenUpTo = end;
  return blocks;
}
