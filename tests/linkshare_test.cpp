#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "differential.hpp"

namespace {

using differential::Download;

std::string read_error(const std::string& text) {
  try {
    differential::linkshare_output(text);
  } catch (const textio::Error& error) {
    return error.what();
  }
  return "no error";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// --- reading -------------------------------------------------------------

TEST(Linkshare, ReadsTheHeaderAndThePairsOnly) {
  EXPECT_EQ(differential::linkshare_output("3 7\n1 2\n-3 -4\n5 6 junk that is never read"),
            "0.71428571428571441\n-4.14285714285714235\n5.85714285714285676\n");
  EXPECT_EQ(differential::linkshare_output("0 1"), "");
  EXPECT_EQ(differential::linkshare_output("\xEF\xBB\xBF"
                                           "1 10\r\n5 30\r\n"),
            "8.00000000000000000\n");
}

TEST(Linkshare, RejectsBadInputWithItsPlace) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"",
       "downloading.in: the file is empty; expected the number of downloads and the link speed"},
      {"  \n ",
       "downloading.in: the file is empty; expected the number of downloads and the link speed"},
      {"4", "downloading.in: the file ends before the link speed"},
      {"-2 1", "downloading.in:1:1: the number of downloads is -2; it cannot be negative"},
      {"-2", "downloading.in:1:1: the number of downloads is -2; it cannot be negative"},
      {"1 0 5 5", "downloading.in:1:3: the link speed is 0; it must be at least 1"},
      {"1 -2147483648 5 5",
       "downloading.in:1:3: the link speed is -2147483648; it must be at least 1"},
      {"2 1\n0 1", "downloading.in: 2 downloads announced, 1 found"},
      {"2 1\n0 1 7",
       "downloading.in: 2 downloads announced, 1 found (download 1 has an arrival time but no "
       "size)"},
      {"2147483647 1 0 1", "downloading.in: 2147483647 downloads announced, 1 found"},
      {"1 1\n\n  a 1", "downloading.in:3:3: expected the arrival time of download 0, found 'a'"},
      {"1 x", "downloading.in:1:3: expected the link speed, found 'x'"},
      {"n 1", "downloading.in:1:1: expected the number of downloads, found 'n'"},
      {"1 1 1 -2147483649",
       "downloading.in:1:7: the size of download 0 '-2147483649' is outside the 32-bit integer "
       "range (-2147483648 to 2147483647)"},
      {"\xEF\xBB\xBF"
       "x",
       "downloading.in:1:1: expected the number of downloads, found 'x'"},
      {"\xFF\xFE"
       "1\0 \0",
       "downloading.in: the file is UTF-16 text (little-endian); save it as UTF-8 or ANSI text"},
      {"\xFE\xFF\0"
       "1",
       "downloading.in: the file is UTF-16 text (big-endian); save it as UTF-8 or ANSI text"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_error(c.text), c.message) << '"' << c.text << '"';
}

// --- differential test against the plain model ---------------------------

TEST(Linkshare, PrintsWhatThePlainModelPrints) {
  for (const differential::LinkshareShape& shape : differential::linkshare_shapes()) {
    std::mt19937_64 random(2024);
    for (int round = 0; round < shape.rounds; ++round) {
      const std::string mismatch = differential::linkshare_mismatch(shape.make(random));
      ASSERT_EQ(mismatch, "") << shape.name << ", round " << round;
    }
  }
}

// --- the physics: exact equal sharing -------------------------------------

// A small exact rational; the inputs below keep every value far from the
// 64-bit limits, and any overflow fails the test rather than passing it.
struct Rational {
  std::int64_t num = 0;
  std::int64_t den = 1;

  static std::int64_t checked_mul(std::int64_t a, std::int64_t b) {
    if (a != 0 && std::llabs(b) > std::numeric_limits<std::int64_t>::max() / std::llabs(a)) {
      throw std::overflow_error("rational overflow");
    }
    return a * b;
  }
  static Rational make(std::int64_t num, std::int64_t den) {
    if (den < 0) num = -num, den = -den;
    const std::int64_t g = std::gcd(num, den);
    return {num / (g == 0 ? 1 : g), den / (g == 0 ? 1 : g)};
  }
  friend Rational operator+(Rational a, Rational b) {
    return make(checked_mul(a.num, b.den) + checked_mul(b.num, a.den), checked_mul(a.den, b.den));
  }
  friend Rational operator-(Rational a, Rational b) { return a + Rational{-b.num, b.den}; }
  friend Rational operator*(Rational a, Rational b) {
    return make(checked_mul(a.num, b.num), checked_mul(a.den, b.den));
  }
  friend Rational operator/(Rational a, Rational b) {
    return make(checked_mul(a.num, b.den), checked_mul(a.den, b.num));
  }
  friend bool operator<(Rational a, Rational b) {
    return checked_mul(a.num, b.den) < checked_mul(b.num, a.den);
  }
  friend bool operator==(Rational a, Rational b) { return a.num == b.num && a.den == b.den; }
  double value() const { return static_cast<double>(num) / static_cast<double>(den); }
};

// Completion times under exact equal sharing, for arrivals in time order
// and sizes of 0 or more.
std::vector<Rational> exact_times(std::int32_t speed, const std::vector<Download>& downloads) {
  const std::size_t n = downloads.size();
  std::vector<Rational> done(n);
  std::vector<std::pair<std::size_t, Rational>> remaining;  // in progress
  Rational now{downloads[0].time, 1};
  std::size_t next = 0;
  const Rational s{speed, 1};
  while (next < n || !remaining.empty()) {
    while (next < n && !(now < Rational{downloads[next].time, 1})) {
      remaining.push_back({next, Rational{downloads[next].size, 1}});
      ++next;
    }
    for (auto it = remaining.begin(); it != remaining.end();) {
      if (it->second == Rational{}) {
        done[it->first] = now;
        it = remaining.erase(it);
      } else {
        ++it;
      }
    }
    if (remaining.empty()) {
      if (next < n) now = Rational{downloads[next].time, 1};
      continue;
    }
    const Rational count{static_cast<std::int64_t>(remaining.size()), 1};
    Rational least = remaining.front().second;
    for (const auto& entry : remaining) least = std::min(least, entry.second);
    Rational finish = now + least * count / s;
    Rational delivered = least;
    if (next < n && Rational{downloads[next].time, 1} < finish) {
      finish = Rational{downloads[next].time, 1};
      delivered = (finish - now) * s / count;
    }
    for (auto& entry : remaining) entry.second = entry.second - delivered;
    now = finish;
  }
  return done;
}

TEST(Linkshare, AgreesWithExactEqualSharing) {
  std::mt19937_64 random(99);
  for (int round = 0; round < 3000; ++round) {
    const differential::Batch batch = differential::sorted_by_time(
        differential::generate(random, 7, 5, [](std::mt19937_64& g, int) {
          return Download{differential::uniform(g, 0, 30), differential::uniform(g, 0, 20)};
        }));
    const std::vector<std::string> printed =
        lines_of(differential::linkshare_output(differential::input_text(batch)));
    const std::vector<Rational> exact = exact_times(batch.speed, batch.downloads);
    ASSERT_EQ(printed.size(), exact.size());
    for (std::size_t i = 0; i < printed.size(); ++i) {
      double value = 0;
      std::from_chars(printed[i].data(), printed[i].data() + printed[i].size(), value);
      const double want = exact[i].value();
      const double tolerance = std::abs(want) < 1 ? 1e-6 : 1e-9 * std::abs(want);
      ASSERT_NEAR(value, want, tolerance) << "round " << round << ", download " << i;
    }
  }
}

}  // namespace
