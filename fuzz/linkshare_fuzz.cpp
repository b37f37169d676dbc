// linkshare's whole path on arbitrary bytes as the input file's contents:
// reading, simulating and formatting. Any outcome but a crash, a hang or an
// out-of-bounds access is fine; bad input must end in textio::Error.
#include <cstdint>
#include <string>

#include "linkshare/linkshare.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  textio::IntReader reader("downloading.in", text);
  try {
    linkshare::Batch batch = linkshare::read_batch(reader, size / 4 + 1);
    linkshare::simulate(batch.speed, batch.slots);
    char line[linkshare::kMaxTimeText];
    for (const linkshare::Slot& slot : batch.slots) {
      if (linkshare::format_time(line, slot.completion) <= line) __builtin_trap();
    }
  } catch (const textio::Error&) {
  }
  return 0;
}
