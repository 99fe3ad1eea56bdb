#pragma once
// Whole files as bytes, for tests that check what was logged.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// The file's bytes; empty when it cannot be read.
inline Bytes FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A stream of random bytes, the same for the same seed.
inline Bytes RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

inline void WriteFileBytes(const std::filesystem::path& path, const Bytes& contents) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(contents.data()),
             static_cast<std::streamsize>(contents.size()));
}

}  // namespace testing_support
