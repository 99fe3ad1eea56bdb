#include "serial/control_block.h"

#include <iterator>

namespace serial {

namespace {
// Bits cleared and set in the flag word by each flow-control choice.
struct FlowPattern {
  uint32_t clear;
  uint32_t set;
};
constexpr FlowPattern kFlowPatterns[] = {
    {0x232C, 0x1010},  // None: DTR and RTS raised, no handshake
    {0x202C, 0x1310},  // Xon\Xoff: as None plus software flow control both ways
    {0x1310, 0x202C},  // Hardware: CTS and DSR output flow, DTR and RTS as handshake lines
};
}  // namespace

void ApplyFlowControl(ControlBlock& block, uint8_t flowChoice) {
  if (flowChoice >= std::size(kFlowPatterns)) return;
  const FlowPattern& pattern = kFlowPatterns[flowChoice];
  block.flags = (block.flags & ~pattern.clear) | pattern.set;
}

void ApplyOpeningSettings(ControlBlock& block, uint32_t baudRate, uint8_t byteSize,
                          uint8_t stopBits, uint8_t parity, uint8_t flowChoice) {
  block.BaudRate = baudRate;
  block.ByteSize = byteSize;
  block.Parity = parity;
  if (stopBits <= TWOSTOPBITS) block.StopBits = stopBits;
  ApplyFlowControl(block, flowChoice);
}

}  // namespace serial
