// Writes a deterministic benchmark input to stdout.
//
//   generate downloads <shape> <n>
//   generate vases <shape> <n> <t>   shape: spread | max
//
// Download shapes: the common ones (burst, overlap, idle, large) and the
// hostile ones, each an order of input that puts new targets where a
// bucketed list of downloads in progress does the most work: below every
// waiting target, in one place, or spread unevenly.
//
//   falling    all at time 0, each size below the last: every new target
//              below all waiting ones
//   backwards  arrival times falling: the clock and progress run backwards,
//              so each new target lies below the others
//   sawtooth   bursts of falling sizes, a burst every 2,000 units: targets
//              below the front while earlier ones complete
//   seesaw     arrivals stepping forward and back: progress rises and falls
//              between completions
//   equal      all at time 0 with one size: a million equal targets
//   doubling   all at time 0, sizes 1, 2, 4, ... 2^30 over and over: targets
//              crowded towards 0, a few far away
//   far-near   all at time 0, sizes alternating 10^9 and 1..1,000
//
// The same arguments always give the same bytes.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class Writer {
 public:
  ~Writer() { flush(); }
  void number(std::int64_t value, char separator) {
    if (sizeof buffer_ - used_ < 24) flush();
    char* end = std::to_chars(buffer_ + used_, buffer_ + sizeof buffer_ - 1, value).ptr;
    *end++ = separator;
    used_ = static_cast<std::size_t>(end - buffer_);
  }
  void flush() {
    std::fwrite(buffer_, 1, used_, stdout);
    used_ = 0;
  }

 private:
  char buffer_[1 << 16];
  std::size_t used_ = 0;
};

int usage() {
  std::fputs(
      "usage: generate downloads burst|overlap|idle|large|falling|backwards|sawtooth|\n"
      "                           seesaw|equal|doubling|far-near N\n"
      "       generate vases spread|max N T\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  const std::string what = argv[1];
  const std::string shape = argv[2];
  const long long n = std::stoll(argv[3]);
  std::mt19937_64 random(20261211);
  Writer out;
  if (what == "downloads") {
    const int speed = shape == "large" || shape == "falling" ? 1000 : 100;
    out.number(n, ' ');
    out.number(speed, '\n');
    std::int64_t time = 0;
    for (long long i = 0; i < n; ++i) {
      std::int64_t size = 0;
      if (shape == "burst") {  // everything arrives at once
        size = 1 + static_cast<std::int64_t>(random() % 100000);
      } else if (shape == "overlap") {  // an arrival every few units, the link fully loaded
        time += static_cast<std::int64_t>(random() % 5);
        size = 1 + static_cast<std::int64_t>(random() % 400);
      } else if (shape == "idle") {  // mostly one download at a time, gaps between
        time += 50 + static_cast<std::int64_t>(random() % 100);
        size = 1 + static_cast<std::int64_t>(random() % 3000);
      } else if (shape == "large") {  // sizes near 10^9, arrivals spread widely
        time += static_cast<std::int64_t>(random() % 2000);
        size = 999000000 + static_cast<std::int64_t>(random() % 1000000);
      } else if (shape == "falling") {
        size = 1000000000 - 1000000000 / n * i;
      } else if (shape == "backwards") {
        time = 2000000000 - 3 * i;
        size = 1 + static_cast<std::int64_t>(random() % 1000);
      } else if (shape == "sawtooth") {
        time = 2000 * (i / 1000);
        size = 1000000 - 1000 * (i % 1000) + static_cast<std::int64_t>(random() % 100);
      } else if (shape == "seesaw") {
        time += i % 2 == 0 ? 7 : -5;
        size = 1 + static_cast<std::int64_t>(random() % 400);
      } else if (shape == "equal") {
        size = 1000;
      } else if (shape == "doubling") {
        size = std::int64_t{1} << (i % 31);
      } else if (shape == "far-near") {
        size = i % 2 == 0 ? 1000000000 : 1 + static_cast<std::int64_t>(random() % 1000);
      } else {
        return usage();
      }
      if (time > 2000000000) time = 2000000000;
      out.number(time, ' ');
      out.number(size, '\n');
    }
  } else if (what == "vases" && argc == 5) {
    const long long steps = std::stoll(argv[4]);
    out.number(n, ' ');
    out.number(steps, '\n');
    for (long long i = 0; i < n; ++i) {
      std::int64_t loss = 1 + static_cast<std::int64_t>(random() % 1000);
      std::int64_t amount = 0;
      if (shape == "spread") {  // keys spread evenly over the steps
        amount =
            loss * static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(steps + 1)) +
            static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(loss));
        if (amount > 2147483647) amount = 2147483647;
      } else if (shape == "max") {  // amounts near the 32-bit limit
        amount = 2147483647 - static_cast<std::int64_t>(random() % 1000);
        loss = 2147 + static_cast<std::int64_t>(random() % 1000);
      } else {
        return usage();
      }
      out.number(amount, ' ');
      out.number(loss, '\n');
    }
  } else {
    return usage();
  }
  return 0;
}
