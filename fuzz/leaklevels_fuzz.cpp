// leaklevels' whole path on arbitrary bytes as its input text. Bad input
// must end in textio::Error, never a crash, a hang or a read out of bounds;
// every line written is a level that is never negative. Inputs whose table
// alone would be long (over 100,000 steps) are read but not walked.
#include <charconv>
#include <cstdint>
#include <string>

#include "fuzz_input.hpp"
#include "leaklevels/leaklevels.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput input(data, size);
  textio::StringSink output;
  textio::NoProgress quiet;
  try {
    // The last step is the second number; long tables are skipped.
    textio::IntReader peek("vase.in", input.text());
    std::int32_t count = 0;
    std::int32_t last_step = 0;
    if (peek.next(count) == textio::IntReader::Status::value &&
        peek.next(last_step) == textio::IntReader::Status::value && last_step > 100000) {
      return 0;
    }
    textio::IntReader reader("vase.in", input.text());
    leaklevels::run(reader, output, quiet);
  } catch (const textio::Error&) {
    return 0;
  }
  const std::string& text = output.text();
  for (std::size_t at = 0; at < text.size();) {
    std::int64_t level = -1;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), level);
    if (error != std::errc() || level < 0) __builtin_trap();
    at = static_cast<std::size_t>(end - text.data());
    if (text.compare(at, textio::kLineEnd.size(), textio::kLineEnd) != 0) __builtin_trap();
    at += textio::kLineEnd.size();
  }
  return 0;
}
