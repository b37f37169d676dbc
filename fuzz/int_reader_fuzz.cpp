// The integer reader over arbitrary bytes: it yields values or one
// positioned error, never a crash, a hang or a read out of bounds, and reads
// the same block by block, whatever pieces its source gives, as from memory.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_input.hpp"
#include "piece_source.hpp"
#include "textio/int_reader.hpp"

namespace {

struct Outcome {
  std::vector<std::int32_t> values;
  textio::IntReader::Status last = textio::IntReader::Status::end;
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  bool refused = false;  // UTF-16
};

Outcome read_all(textio::IntReader& reader) {
  Outcome outcome;
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
  const FuzzInput input(data, size);
  const std::string_view text = input.text();
  Outcome expected;
  try {
    textio::IntReader from_memory("in", text);
    expected = read_all(from_memory);
  } catch (const textio::Error&) {
    expected.refused = true;
  }
  // The same bytes block by block: with the smallest block only the general
  // path runs; with a larger one the in-block path and the general path take
  // turns at every block's end.
  for (const std::size_t block : {std::size_t{64}, std::size_t{200}}) {
    testing_support::PieceSource source(text, 97, static_cast<std::uint32_t>(size + block));
    Outcome got;
    try {
      textio::IntReader from_source("in", source, block);
      got = read_all(from_source);
    } catch (const textio::Error&) {
      got.refused = true;
    }
    if (got.refused != expected.refused || got.values != expected.values ||
        got.last != expected.last || got.line != expected.line || got.column != expected.column) {
      __builtin_trap();
    }
  }
  return 0;
}
