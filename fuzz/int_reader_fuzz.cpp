// The integer reader over arbitrary bytes: it yields values or one
// positioned error, never a crash or a hang, and reads the same from a file
// in small blocks as from memory.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "textio/int_reader.hpp"

namespace {

struct Outcome {
  std::vector<std::int32_t> values;
  textio::IntReader::Status last;
  std::uint64_t line;
  std::uint64_t column;
};

Outcome read_all(textio::IntReader& reader) {
  Outcome outcome{};
  std::int32_t value = 0;
  while ((outcome.last = reader.next(value)) == textio::IntReader::Status::value) {
    outcome.values.push_back(value);
  }
  outcome.line = reader.token_line();
  outcome.column = reader.token_column();
  if (outcome.last != textio::IntReader::Status::end) (void)reader.token_excerpt();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  textio::IntReader from_memory("in", text);
  const Outcome expected = read_all(from_memory);

  if (text.empty()) return 0;
  // The same bytes block by block: with the smallest block only the general
  // path runs; with a larger one the in-block path and the general path take
  // turns at every block's end.
  for (const std::size_t block : {std::size_t{64}, std::size_t{200}}) {
    std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    if (file == nullptr) return 0;
    textio::IntReader from_file("in", file, block);
    const Outcome got = read_all(from_file);
    std::fclose(file);
    if (got.values != expected.values || got.last != expected.last || got.line != expected.line ||
        got.column != expected.column) {
      __builtin_trap();
    }
  }
  return 0;
}
