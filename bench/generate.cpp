// Writes a deterministic benchmark input to stdout.
//
//   generate downloads <shape> <n>   shape: burst | overlap | idle | large
//   generate vases <shape> <n> <t>   shape: spread | max
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
  std::fputs("usage: generate downloads burst|overlap|idle|large N\n"
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
    const int speed = shape == "large" ? 1000 : 100;
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
        amount = loss * static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(steps + 1)) +
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
