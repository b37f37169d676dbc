// leaklevels' level table against the sum over vases on small sets decoded
// from the bytes.
#include <cstdint>
#include <cstring>

#include "differential.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes 0-1: the last step (-8 to 2039); then 8 bytes a vase, at most 16.
  if (size < 2) return 0;
  differential::VaseSet set;
  set.last_step = static_cast<std::int32_t>((data[0] | (data[1] << 8)) % 2048) - 8;
  for (std::size_t at = 2; at + 8 <= size && set.vases.size() < 16; at += 8) {
    std::uint32_t amount = 0;
    std::uint32_t loss = 0;
    std::memcpy(&amount, data + at, 4);
    std::memcpy(&loss, data + at + 4, 4);
    // Both 0 or more; small losses now and then, so that vases run dry.
    set.vases.push_back(
        {static_cast<std::int32_t>(amount >> 1),
         static_cast<std::int32_t>((loss & 1) != 0 ? (loss >> 1) : (loss >> 1) % 4096)});
  }
  if (differential::table_of(set) != differential::brute_force(set)) __builtin_trap();
  return 0;
}
