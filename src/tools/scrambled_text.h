#pragma once
// Addresses kept inside the program in scrambled form, so that they are not
// plain text in the binary; they are descrambled just before use. The
// scrambling runs at compile time for the built-in ones.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

constexpr uint8_t ScrambleKey(size_t i) {
  return static_cast<uint8_t>(0xA7u ^ (i * 29u + 0x3Bu) ^ (i >> 3));
}

template <size_t N>
struct ScrambledLiteral {
  std::array<char, N - 1> bytes{};
  std::string_view view() const { return {bytes.data(), bytes.size()}; }
};

template <size_t N>
consteval ScrambledLiteral<N> Scramble(const char (&text)[N]) {
  ScrambledLiteral<N> out;
  for (size_t i = 0; i + 1 < N; ++i)
    out.bytes[i] = static_cast<char>(static_cast<uint8_t>(text[i]) ^ ScrambleKey(i));
  return out;
}

// The same at run time, for addresses given from outside.
inline std::string ScrambleText(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char>(static_cast<uint8_t>(out[i]) ^ ScrambleKey(i));
  return out;
}

inline std::string Descramble(std::string_view scrambled) { return ScrambleText(scrambled); }

}  // namespace orvane
