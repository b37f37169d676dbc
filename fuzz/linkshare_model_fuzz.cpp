// linkshare's core against the plain model on small batches decoded from
// the bytes: the printed lines must be identical.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "linkshare/linkshare.hpp"
#include "model/linkshare_model.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes 0-3: the speed; then 8 bytes a download (time, size), at most 32.
  if (size < 4 + 8) return 0;
  std::uint32_t raw_speed = 0;
  std::memcpy(&raw_speed, data, 4);
  const auto speed = static_cast<std::int32_t>(1 + raw_speed % 2147483647u);  // 1 to 2^31 - 1
  std::vector<linkshare::Download> downloads;
  std::vector<model::File> files;
  for (std::size_t at = 4; at + 8 <= size && downloads.size() < 32; at += 8) {
    linkshare::Download download{};
    std::memcpy(&download.time, data + at, 4);
    std::memcpy(&download.size, data + at + 4, 4);
    downloads.push_back(download);
    files.push_back({download.time, download.size, static_cast<int>(files.size())});
  }
  const std::vector<double> got = linkshare::completion_times(speed, downloads);
  const std::vector<double> expected =
      model::linkshare_times(static_cast<int>(files.size()), speed, files);
  char line[linkshare::kMaxTimeText + 1];
  for (std::size_t i = 0; i < got.size(); ++i) {
    char* end = linkshare::format_time(line, got[i]);
    *end++ = '\n';
    if (std::string(line, end) != model::linkshare_line(expected[i])) __builtin_trap();
  }
  return 0;
}
