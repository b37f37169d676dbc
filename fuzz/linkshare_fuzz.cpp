// linkshare's whole path on arbitrary bytes as its input text: reading,
// simulating and writing. Bad input must end in textio::Error, never a
// crash, a hang or a read out of bounds; and every line written must be the
// exact 17-digit text (std::to_chars) of the completion time the simulation
// reached for that download.
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.hpp"
#include "linkshare/linkshare.hpp"

namespace {

class CompletionTimes final : public linkshare::Observer {
 public:
  // Only the downloads read get a slot: the count announced may be false.
  void begin(std::uint64_t, std::int32_t) override {}
  void arrived(std::uint32_t id, double, std::uint64_t) override {
    if (id != times_.size()) __builtin_trap();  // arrivals come in input order
    times_.push_back(0.0);
  }
  void completed(std::uint32_t id, double time, std::uint64_t) override { times_.at(id) = time; }
  const std::vector<double>& times() const { return times_; }

 private:
  std::vector<double> times_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput input(data, size);
  CompletionTimes observer;
  textio::StringSink output;
  textio::NoProgress quiet;
  try {
    textio::IntReader reader("downloading.in", input.text());
    linkshare::run(reader, output, quiet, &observer);
  } catch (const textio::Error&) {
    return 0;
  }
  const std::string& text = output.text();
  std::size_t at = 0;
  for (const double time : observer.times()) {
    char expected[400];
    const char* end =
        std::to_chars(expected, expected + sizeof expected, time, std::chars_format::fixed, 17).ptr;
    const std::string_view want(expected, static_cast<std::size_t>(end - expected));
    if (text.compare(at, want.size(), want) != 0) __builtin_trap();
    at += want.size();
    if (text.compare(at, textio::kLineEnd.size(), textio::kLineEnd) != 0) __builtin_trap();
    at += textio::kLineEnd.size();
  }
  if (at != text.size()) __builtin_trap();
  return 0;
}
