// leaklevels' whole path on arbitrary bytes as the input file's contents.
// Inputs whose table alone would be long (over 100,000 steps) are read but
// not walked; nothing is skipped for being malformed.
#include <cstdint>
#include <string>

#include "leaklevels/leaklevels.hpp"
#include "textio/decimal.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  textio::IntReader reader("vase.in", text);
  try {
    const leaklevels::Header header = leaklevels::read_header(reader);
    leaklevels::LevelTable table(header.last_step);
    leaklevels::read_vases(reader, header, table, size / 4 + 1);
    if (header.last_step > 100000) return 0;
    char line[textio::kMaxDecimalText];
    table.walk([&line](std::int64_t level) {
      if (level < 0) __builtin_trap();  // amounts and losses are never negative
      (void)textio::write_decimal(line, level);
    });
  } catch (const textio::Error&) {
  }
  return 0;
}
