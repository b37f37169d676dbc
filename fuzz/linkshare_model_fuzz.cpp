// linkshare's core against the plain model on batches decoded from the
// bytes, with the list of downloads in progress given small limits (also
// from the bytes), so that short inputs reach its rungs, spills, sorted
// buckets, late entries and rebuilds: the printed lines must be identical.
#include <cstdint>
#include <cstring>
#include <string>

#include "differential.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes 0-3: the speed; byte 4: the limits; then 8 bytes a download (time,
  // size), at most 4,096.
  if (size < 5 + 8) return 0;
  std::uint32_t raw_speed = 0;
  std::memcpy(&raw_speed, data, 4);
  differential::Batch batch;
  batch.speed = static_cast<std::int32_t>(1 + raw_speed % 2147483647u);  // 1 to 2^31 - 1
  linkshare::EventList::Limits limits;
  limits.bucket = 2 + (data[4] & 3);
  limits.spill = limits.bucket + ((data[4] >> 2) & 7);
  limits.depth = 1 + ((data[4] >> 5) & 3);
  for (std::size_t at = 5; at + 8 <= size && batch.downloads.size() < 4096; at += 8) {
    differential::Download download{};
    std::memcpy(&download.time, data + at, 4);
    std::memcpy(&download.size, data + at + 4, 4);
    batch.downloads.push_back(download);
  }
  if (differential::linkshare_output(differential::input_text(batch), nullptr, limits) !=
      differential::model_output(batch)) {
    __builtin_trap();
  }
  return 0;
}
