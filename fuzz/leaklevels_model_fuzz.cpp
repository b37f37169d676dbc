// leaklevels' level table against the sum over vases on small sets decoded
// from the bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "leaklevels/leaklevels.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes 0-1: the last step (-8 to 2039); then 8 bytes a vase, at most 16.
  if (size < 2) return 0;
  const std::int32_t last_step = static_cast<std::int32_t>((data[0] | (data[1] << 8)) % 2048) - 8;
  std::vector<std::pair<std::int32_t, std::int32_t>> vases;
  for (std::size_t at = 2; at + 8 <= size && vases.size() < 16; at += 8) {
    std::uint32_t amount = 0;
    std::uint32_t loss = 0;
    std::memcpy(&amount, data + at, 4);
    std::memcpy(&loss, data + at + 4, 4);
    // Both 0 or more; small losses now and then, so that vases run dry.
    vases.push_back({static_cast<std::int32_t>(amount >> 1),
                     static_cast<std::int32_t>((loss & 1) != 0 ? (loss >> 1) : (loss >> 1) % 4096)});
  }
  leaklevels::LevelTable table(last_step);
  for (const auto& [amount, loss] : vases) table.add(amount, loss);
  std::int64_t step = 0;
  table.walk([&](std::int64_t level) {
    std::int64_t expected = 0;
    for (const auto& [amount, loss] : vases) {
      expected += std::max<std::int64_t>(0, amount - std::int64_t{loss} * step);
    }
    if (level != expected) __builtin_trap();
    ++step;
  });
  if (step != std::max<std::int64_t>(last_step, 0) + 1) __builtin_trap();
  return 0;
}
