#pragma once
// Telling valid UTF-8 from bytes that only look like it: what the settings file may hold, and
// what a view of a port's bytes may show as characters.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

struct Utf8Character {
  size_t length;  // 1 to 4 bytes
  uint32_t codePoint;
};

// The character at the start of `bytes`; nothing for a broken or cut sequence, an overlong
// form, a surrogate or a code point beyond U+10FFFF.
std::optional<Utf8Character> Utf8CharacterAt(std::span<const uint8_t> bytes);
bool IsValidUtf8(std::string_view text);
