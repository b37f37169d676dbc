#include "linkshare/linkshare.hpp"

#include "linkshare/event_list.hpp"
#include "textio/decimal.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace linkshare {
namespace {

constexpr double kCompletionTolerance = 1e-9;

std::string download_field(const char* field, std::size_t index) {
  return std::string("the ") + field + " of download " + std::to_string(index);
}

}  // namespace

Batch read_batch(textio::IntReader& reader, std::uint64_t capacity_hint) {
  std::int32_t count = 0;
  if (!reader.read(count, [] { return "the number of downloads"; })) {
    throw textio::Error(reader.name() +
                        ": the file is empty; expected the number of downloads and the link speed");
  }
  if (count < 0) {
    reader.fail_here("the number of downloads is " + std::to_string(count) +
                     "; it cannot be negative");
  }
  Batch batch;
  if (!reader.read(batch.speed, [] { return "the link speed"; })) {
    throw textio::Error(reader.name() + ": the file ends before the link speed");
  }
  if (batch.speed < 1) {
    reader.fail_here("the link speed is " + std::to_string(batch.speed) +
                     "; it must be at least 1");
  }
  const auto announced = static_cast<std::size_t>(count);
  batch.slots.reserve(announced < capacity_hint ? announced : capacity_hint);
  for (std::size_t i = 0; i < announced; ++i) {
    Download download{};
    if (!reader.read(download.time, [i] { return download_field("arrival time", i); })) {
      throw textio::Error(reader.name() + ": " + std::to_string(announced) +
                          " downloads announced, " + std::to_string(i) + " found");
    }
    if (!reader.read(download.size, [i] { return download_field("size", i); })) {
      throw textio::Error(reader.name() + ": " + std::to_string(announced) +
                          " downloads announced, " + std::to_string(i) +
                          " found (download " + std::to_string(i) +
                          " has an arrival time but no size)");
    }
    batch.slots.push_back(Slot{download});
  }
  return batch;
}

// Every download in progress receives data at the same rate, so one value,
// `progress`, tells how much each has received since the link last became
// busy, and a download completes when progress reaches its target. Each
// operation below is one rounded double operation, in this order: the
// printed digits depend on it.
void simulate(std::int32_t speed, std::vector<Slot>& slots) {
  const std::size_t n = slots.size();
  if (n == 0) return;
  const double link_speed = speed;
  // Download `next` has not arrived yet, so its slot still holds it; every
  // slot written with a completion time belongs to one that has.
  const auto arriving = [&slots](std::size_t index) -> const Download& {
    return slots[index].download;
  };

  EventList active(n);
  active.insert({static_cast<double>(arriving(0).size), 0});
  std::size_t next = 1;
  double progress = 0;
  double clock = arriving(0).time;

  for (;;) {
    if (next >= n && active.empty()) break;

    // Completions that the last event brought within the tolerance happen
    // at the current clock; only the least entry is tested.
    while (!active.empty() && std::fabs(active.least().target - progress) <= kCompletionTolerance) {
      slots[active.least().id].completion = clock;
      active.remove_least();
    }
    if (active.empty()) {
      // Idle link: progress starts again from 0 at the next arrival.
      progress = 0;
      if (next >= n) break;
      clock = arriving(next).time;
      active.insert({static_cast<double>(arriving(next).size) + progress,
                     static_cast<std::uint32_t>(next)});
      ++next;
      continue;
    }

    const Entry least = active.least();
    const double rest = least.target - progress;
    const double active_count = static_cast<double>(active.size());
    const double share = link_speed / active_count;
    // The next arrival comes first only if it lies strictly before the
    // completion; once all have arrived the completion always comes next.
    if (next < n) {
      const double arrival = arriving(next).time;
      const double gap = arrival - clock;
      if (gap * link_speed < rest * active_count) {
        progress = progress + ((arrival - clock) * share);
        clock = arrival;
        active.insert({static_cast<double>(arriving(next).size) + progress,
                       static_cast<std::uint32_t>(next)});
        ++next;
        continue;
      }
    }

    const double done = (rest / share) + clock;
    active.remove_least();
    slots[least.id].completion = done;
    if (active.empty()) {
      progress = 0;
    } else {
      progress = progress + ((done - clock) * share);
    }
    clock = done;
  }
}

std::vector<double> completion_times(std::int32_t speed, const std::vector<Download>& downloads) {
  std::vector<Slot> slots;
  slots.reserve(downloads.size());
  for (const Download& download : downloads) slots.push_back(Slot{download});
  simulate(speed, slots);
  std::vector<double> times;
  times.reserve(slots.size());
  for (const Slot& slot : slots) times.push_back(slot.completion);
  return times;
}

namespace {

// The 128-bit product of two 64-bit values, as (high, low).
struct U128 {
  std::uint64_t high;
  std::uint64_t low;
};

U128 multiply(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a_low = a & 0xffffffffu;
  const std::uint64_t a_high = a >> 32;
  const std::uint64_t b_low = b & 0xffffffffu;
  const std::uint64_t b_high = b >> 32;
  const std::uint64_t low_low = a_low * b_low;
  const std::uint64_t high_low = a_high * b_low;
  const std::uint64_t low_high = a_low * b_high;
  const std::uint64_t middle = (low_low >> 32) + (high_low & 0xffffffffu) + (low_high & 0xffffffffu);
  return {a_high * b_high + (high_low >> 32) + (low_high >> 32) + (middle >> 32),
          (middle << 32) | (low_low & 0xffffffffu)};
}

constexpr std::uint64_t kFiveToThe17 = 762939453125;  // 10^17 = 5^17 * 2^17
constexpr std::uint64_t kTenToThe17 = 100000000000000000;

// round(fraction * 10^17), ties to even, exactly, for 0 <= fraction < 1.
// With fraction = m * 2^e (m an integer below 2^53, e <= -53 as the
// fraction is below 1), fraction * 10^17 = m * 5^17 / 2^(-e - 17): a
// product below 2^93 shifted right by at least 36 bits.
std::uint64_t scaled_fraction(double fraction) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &fraction, sizeof bits);
  const auto biased_exponent = static_cast<int>(bits >> 52);
  if (biased_exponent == 0) return 0;  // zero, or subnormal: far below half a unit
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int right = 1075 - biased_exponent - 17;  // e = biased_exponent - 1075
  if (right > 93) return 0;  // the product lies below half a unit
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
  const bool above_half = remainder.high > half.high ||
                          (remainder.high == half.high && remainder.low > half.low);
  const bool at_half = remainder.high == half.high && remainder.low == half.low;
  if (above_half || (at_half && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

}  // namespace

// Below 10^18 the integer part fits in 64 bits and the fraction's digits
// follow exactly from one 64x64-bit product; larger values (never within
// the program's limits) go through std::to_chars.
char* format_time(char* out, double time) {
  const double magnitude = std::fabs(time);
  if (!(magnitude < 1e18)) {
    return std::to_chars(out, out + kMaxTimeText, time, std::chars_format::fixed, 17).ptr;
  }
  if (std::signbit(time)) *out++ = '-';
  auto integer = static_cast<std::uint64_t>(magnitude);  // truncation: the floor
  std::uint64_t fraction = scaled_fraction(magnitude - static_cast<double>(integer));  // exact
  if (fraction == kTenToThe17) {  // rounded up into the next integer
    fraction = 0;
    ++integer;
  }
  out = textio::write_decimal(out, integer);
  *out = '.';
  const auto leading = static_cast<std::uint32_t>(fraction / 100000000);  // nine digits
  const auto trailing = static_cast<std::uint32_t>(fraction % 100000000);  // eight digits
  out[1] = static_cast<char>('0' + leading / 100000000);
  textio::write_eight_digits(out + 2, leading % 100000000);
  textio::write_eight_digits(out + 10, trailing);
  return out + 18;
}

void write_times(const std::vector<Slot>& slots, textio::OutputFile& output) {
  for (const Slot& slot : slots) {
    char* end =
        format_time(output.begin_write(kMaxTimeText + textio::kLineEnd.size()), slot.completion);
    output.end_write(textio::write_line_end(end));
  }
}

}  // namespace linkshare
