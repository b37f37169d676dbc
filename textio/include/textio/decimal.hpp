// Decimal text of numbers, exact and locale-free: integers four digits at a
// time from a table, and doubles in fixed-point notation with 17 digits after
// the point. Both write the same text std::to_chars writes, in fewer steps.
#pragma once

#include <charconv>
#include <cmath>
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

namespace detail {

// The 128-bit product of two 64-bit values, as (high, low), where the
// compiler has no 128-bit integer.
struct U128 {
  std::uint64_t high;
  std::uint64_t low;
};

inline U128 multiply(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a_low = a & 0xffffffffu;
  const std::uint64_t a_high = a >> 32;
  const std::uint64_t b_low = b & 0xffffffffu;
  const std::uint64_t b_high = b >> 32;
  const std::uint64_t low_low = a_low * b_low;
  const std::uint64_t high_low = a_high * b_low;
  const std::uint64_t low_high = a_low * b_high;
  const std::uint64_t middle =
      (low_low >> 32) + (high_low & 0xffffffffu) + (low_high & 0xffffffffu);
  return {a_high * b_high + (high_low >> 32) + (low_high >> 32) + (middle >> 32),
          (middle << 32) | (low_low & 0xffffffffu)};
}

inline constexpr std::uint64_t kFiveToThe17 = 762939453125;  // 10^17 = 5^17 * 2^17
inline constexpr std::uint64_t kTenToThe17 = 100000000000000000;

// round(fraction * 10^17), ties to even, exactly, for 0 <= fraction < 1.
// With fraction = m * 2^e (m an integer below 2^53, e <= -53 as the
// fraction is below 1), fraction * 10^17 = m * 5^17 / 2^(-e - 17): a
// product below 2^93 shifted right by at least 36 bits.
inline std::uint64_t scaled_fraction(double fraction) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &fraction, sizeof bits);
  const auto biased_exponent = static_cast<int>(bits >> 52);
  if (biased_exponent == 0) return 0;  // zero, or subnormal: far below half a unit
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int right = 1075 - biased_exponent - 17;  // e = biased_exponent - 1075
  if (right > 93) return 0;                       // the product lies below half a unit
#if defined(__SIZEOF_INT128__)
  // One multiplication, and the bits shifted out compared with one half.
  __extension__ typedef unsigned __int128 Wide;
  const Wide product = static_cast<Wide>(m) * kFiveToThe17;
  auto quotient = static_cast<std::uint64_t>(product >> right);
  const Wide remainder = product & ((Wide{1} << right) - 1);
  const Wide half = Wide{1} << (right - 1);
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) ++quotient;
#else
  const U128 product = multiply(m, kFiveToThe17);
  // quotient = product >> right; the bits shifted out are compared with
  // one half, both as (high, low) pairs.
  std::uint64_t quotient = 0;
  U128 remainder{0, 0};
  U128 half{0, 0};
  if (right < 64) {
    quotient = (product.low >> right) | (product.high << (64 - right));
    remainder.low = product.low & ((std::uint64_t{1} << right) - 1);
    half.low = std::uint64_t{1} << (right - 1);
  } else {
    const int high_right = right - 64;
    quotient = product.high >> high_right;
    remainder = {product.high & ((std::uint64_t{1} << high_right) - 1), product.low};
    half = high_right == 0 ? U128{0, std::uint64_t{1} << 63}
                           : U128{std::uint64_t{1} << (high_right - 1), 0};
  }
  const bool above_half =
      remainder.high > half.high || (remainder.high == half.high && remainder.low > half.low);
  const bool at_half = remainder.high == half.high && remainder.low == half.low;
  if (above_half || (at_half && (quotient & 1) != 0)) ++quotient;
#endif
  return quotient;
}

}  // namespace detail

// Enough for any finite double with 17 digits after the point: 309 integer
// digits, sign, point and fraction.
inline constexpr std::size_t kMaxFixed17Text = 400;

// Writes a finite `value` in fixed-point notation with exactly 17 digits
// after the point, correctly rounded (ties to even), as printf's "%.17f"
// does; returns the end of the text.
//
// Below 10^18 the integer part fits in 64 bits and the fraction's digits
// follow exactly from one 64x64-bit product; larger magnitudes go through
// std::to_chars.
inline char* write_fixed17(char* out, double value) {
  const double magnitude = std::fabs(value);
  if (!(magnitude < 1e18)) {
    return std::to_chars(out, out + kMaxFixed17Text, value, std::chars_format::fixed, 17).ptr;
  }
  if (std::signbit(value)) *out++ = '-';
  auto integer = static_cast<std::uint64_t>(magnitude);  // truncation: the floor
  std::uint64_t fraction =
      detail::scaled_fraction(magnitude - static_cast<double>(integer));  // exact
  if (fraction == detail::kTenToThe17) {  // rounded up into the next integer
    fraction = 0;
    ++integer;
  }
  out = write_decimal(out, integer);
  *out = '.';
  const auto leading = static_cast<std::uint32_t>(fraction / 100000000);   // nine digits
  const auto trailing = static_cast<std::uint32_t>(fraction % 100000000);  // eight digits
  out[1] = static_cast<char>('0' + leading / 100000000);
  write_eight_digits(out + 2, leading % 100000000);
  write_eight_digits(out + 10, trailing);
  return out + 18;
}

}  // namespace textio
