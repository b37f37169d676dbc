// Decimal digits of integers, four at a time from a table: the same text
// std::to_chars writes, in fewer steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace textio {

// The four-digit texts "0000" to "9999".
struct DigitQuads {
  char text[10000][4];
};

constexpr DigitQuads make_digit_quads() {
  DigitQuads quads{};
  for (int value = 0; value < 10000; ++value) {
    quads.text[value][0] = static_cast<char>('0' + value / 1000);
    quads.text[value][1] = static_cast<char>('0' + value / 100 % 10);
    quads.text[value][2] = static_cast<char>('0' + value / 10 % 10);
    quads.text[value][3] = static_cast<char>('0' + value % 10);
  }
  return quads;
}

inline constexpr DigitQuads kDigitQuads = make_digit_quads();

// The longest text write_decimal() makes: "-9223372036854775808".
inline constexpr std::size_t kMaxDecimalText = 20;

// Writes `value` (below 10^8) as exactly eight digits, zeros in front.
inline void write_eight_digits(char* out, std::uint32_t value) {
  std::memcpy(out, kDigitQuads.text[value / 10000], 4);
  std::memcpy(out + 4, kDigitQuads.text[value % 10000], 4);
}

// Writes `value` in decimal without leading zeros; returns the end.
inline char* write_decimal(char* out, std::uint64_t value) {
  char text[20];
  char* digit = text + sizeof text;
  for (; value >= 10000; value /= 10000) {
    digit -= 4;
    std::memcpy(digit, kDigitQuads.text[value % 10000], 4);
  }
  const std::size_t lead = value >= 1000 ? 4 : value >= 100 ? 3 : value >= 10 ? 2 : 1;
  digit -= lead;
  std::memcpy(digit, kDigitQuads.text[value] + (4 - lead), lead);
  const auto length = static_cast<std::size_t>(text + sizeof text - digit);
  std::memcpy(out, digit, length);
  return out + length;
}

// Writes `value` in decimal, with a minus sign if negative; returns the end.
inline char* write_decimal(char* out, std::int64_t value) {
  if (value >= 0) return write_decimal(out, static_cast<std::uint64_t>(value));
  *out++ = '-';
  return write_decimal(out, 0 - static_cast<std::uint64_t>(value));
}

}  // namespace textio
