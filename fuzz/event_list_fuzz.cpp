// The list of downloads in progress against an ordered set, driven by
// operations decoded from the bytes, with small limits (also from the
// bytes) so that every path is reached: rungs and finer rungs, spills of
// the front heap, buckets too close to spread, rebuilds at the depth limit,
// entries below the front and past the last rung.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>

#include "linkshare/event_list.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  linkshare::EventList::Limits limits;
  limits.bucket = 2 + (data[0] & 3);
  limits.spill = limits.bucket + ((data[0] >> 2) & 7);
  limits.depth = 1 + ((data[0] >> 5) & 3);
  linkshare::EventList list(limits);
  std::set<std::pair<double, std::uint32_t>> expected;
  std::uint32_t next_id = 0;
  double front = 0;
  // Each operation: one byte; its low two bits choose it.
  for (std::size_t at = 1; at < size; ++at) {
    const std::uint8_t op = data[at];
    if ((op & 3) == 0 && !expected.empty()) {
      if (list.least().target != expected.begin()->first ||
          list.least().id != expected.begin()->second) {
        __builtin_trap();
      }
      front = list.least().target;
      list.remove_least();
      expected.erase(expected.begin());
      continue;
    }
    // A target near the front (above or below), far away, or equal to it.
    double target = 0;
    switch ((op >> 2) & 3) {
      case 0:
        target = front + static_cast<double>(op >> 4);
        break;
      case 1:
        target = front - static_cast<double>(op >> 4) / 16.0;
        break;
      case 2:
        target = std::ldexp(1.0, op >> 3) * ((op & 4) != 0 ? -1.0 : 1.0);
        break;
      default:
        target = front;
        break;
    }
    list.insert({target, next_id});
    expected.insert({target, next_id});
    ++next_id;
  }
  while (!expected.empty()) {
    if (list.least().id != expected.begin()->second) __builtin_trap();
    list.remove_least();
    expected.erase(expected.begin());
  }
  if (!list.empty()) __builtin_trap();
  return 0;
}
