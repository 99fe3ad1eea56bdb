#include "logging/utf8.h"

namespace {

struct SequenceStart {
  size_t length;
  uint32_t bits;      // the code point bits carried by the first byte
  uint32_t smallest;  // anything below is an overlong form
};

std::optional<SequenceStart> DecodeFirstByte(uint8_t lead) {
  if (lead < 0x80) return SequenceStart{1, lead, 0};
  if ((lead & 0xE0) == 0xC0) return SequenceStart{2, lead & 0x1Fu, 0x80};
  if ((lead & 0xF0) == 0xE0) return SequenceStart{3, lead & 0x0Fu, 0x800};
  if ((lead & 0xF8) == 0xF0) return SequenceStart{4, lead & 0x07u, 0x10000};
  return std::nullopt;
}

}  // namespace

std::optional<Utf8Character> Utf8CharacterAt(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return std::nullopt;
  const auto start = DecodeFirstByte(bytes[0]);
  if (!start || bytes.size() < start->length) return std::nullopt;
  uint32_t point = start->bits;
  for (size_t k = 1; k < start->length; ++k) {
    if ((bytes[k] & 0xC0) != 0x80) return std::nullopt;
    point = (point << 6) | (bytes[k] & 0x3Fu);
  }
  const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
  if (point < start->smallest || point > 0x10FFFF || surrogate) return std::nullopt;
  return Utf8Character{start->length, point};
}

bool IsValidUtf8(std::string_view text) {
  const std::span bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  for (size_t i = 0; i < bytes.size();) {
    const auto character = Utf8CharacterAt(bytes.subspan(i));
    if (!character) return false;
    i += character->length;
  }
  return true;
}
