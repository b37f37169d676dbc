#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "linkshare/linkshare.hpp"
#include "differential.hpp"
#include "model/linkshare_model.hpp"

namespace {

using linkshare::Download;

std::string format(double time) {
  char text[linkshare::kMaxTimeText];
  return std::string(text, linkshare::format_time(text, time));
}

// --- reading -------------------------------------------------------------

linkshare::Batch read(const std::string& text) {
  textio::IntReader reader("downloading.in", text);
  return linkshare::read_batch(reader, std::numeric_limits<std::uint64_t>::max());
}

std::string read_error(const std::string& text) {
  try {
    read(text);
  } catch (const textio::Error& error) {
    return error.what();
  }
  return "no error";
}

TEST(ReadBatch, ReadsTheHeaderAndThePairsOnly) {
  const linkshare::Batch batch = read("3 7\n1 2\n-3 -4\n5 6 junk that is never read");
  EXPECT_EQ(batch.speed, 7);
  ASSERT_EQ(batch.slots.size(), 3u);
  EXPECT_EQ(batch.slots[1].download.time, -3);
  EXPECT_EQ(batch.slots[1].download.size, -4);
  EXPECT_EQ(batch.slots[2].download.size, 6);
  EXPECT_TRUE(read("0 1").slots.empty());
}

TEST(ReadBatch, RejectsBadInputWithItsPlace) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"", "downloading.in: the file is empty; expected the number of downloads and the link speed"},
      {"  \n ", "downloading.in: the file is empty; expected the number of downloads and the link speed"},
      {"4", "downloading.in: the file ends before the link speed"},
      {"-2 1", "downloading.in:1:1: the number of downloads is -2; it cannot be negative"},
      {"1 0 5 5", "downloading.in:1:3: the link speed is 0; it must be at least 1"},
      {"1 -2147483648 5 5", "downloading.in:1:3: the link speed is -2147483648; it must be at least 1"},
      {"2 1\n0 1", "downloading.in: 2 downloads announced, 1 found"},
      {"2 1\n0 1 7", "downloading.in: 2 downloads announced, 1 found (download 1 has an arrival time but no size)"},
      {"2147483647 1 0 1", "downloading.in: 2147483647 downloads announced, 1 found"},
      {"1 1\n\n  a 1", "downloading.in:3:3: expected the arrival time of download 0, found 'a'"},
      {"1 x", "downloading.in:1:3: expected the link speed, found 'x'"},
      {"n 1", "downloading.in:1:1: expected the number of downloads, found 'n'"},
      {"1 1 1 -2147483649", "downloading.in:1:7: the size of download 0 '-2147483649' is outside the 32-bit integer range (-2147483648 to 2147483647)"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_error(c.text), c.message) << '"' << c.text << '"';
}

// --- formatting ----------------------------------------------------------

TEST(FormatTime, MatchesPrintfAtEveryMagnitude) {
  const double cases[] = {0.0,
                          -0.0,
                          1.0 / 262144,  // a tie at the 18th decimal
                          0.5e-17,
                          1.5e-17,
                          2.5e-17,
                          1e-300,
                          std::numeric_limits<double>::denorm_min(),
                          0.1,
                          -2.0,
                          748950696.66666674613952637,
                          9007199254740993.0,
                          1e22,
                          -1e300,
                          std::numeric_limits<double>::max(),
                          std::numeric_limits<double>::lowest()};
  for (const double value : cases) {
    std::string expected = model::linkshare_line(value);
    expected.pop_back();
    EXPECT_EQ(format(value), expected);
  }
  EXPECT_EQ(format(1.0 / 262144), "0.00000381469726562");
  EXPECT_EQ(format(std::numeric_limits<double>::lowest()).size(), 1 + 309 + 1 + 17);
}

// The fast exact method against the standard library's correctly rounded
// conversion, over millions of doubles of every magnitude, with ties and
// values one step on either side of them.
TEST(FormatTime, MatchesToCharsOnMillionsOfDoubles) {
  std::mt19937_64 random(17);
  const auto reference = [](double value) {
    char text[linkshare::kMaxTimeText];
    return std::string(
        text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 17).ptr);
  };
  const auto check = [&](double value) {
    ASSERT_EQ(format(value), reference(value)) << std::hexfloat << value;
  };
  for (int i = 0; i < 1000000; ++i) {
    // Any finite bit pattern: every exponent, subnormals included.
    std::uint64_t bits = random();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) check(value);
    // From 2^-113 up to 2^62, spread evenly over the exponents.
    check(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 123) - 113));
    // Times as the simulation makes them.
    check(static_cast<double>(random() % 4000000000) / static_cast<double>(1 + random() % 1000) -
          2e9);
    // Multiples of powers of two at and around the 18th decimal: exact ties.
    const double tie = std::ldexp(static_cast<double>(random() % 1000001),
                                  -(18 + static_cast<int>(random() % 40)));
    check(tie);
    check(std::nextafter(tie, 0.0));
    check(std::nextafter(tie, 1.0));
    check(-tie);
  }
  for (double value = 1e17; value < 1e19; value *= 1.0001) check(value);  // around the fast path's edge
  check(std::nextafter(1e18, 0.0));
  check(1e18);
}

// --- differential test against the plain model ---------------------------

TEST(CompletionTimes, PrintsWhatThePlainModelPrints) {
  for (const differential::LinkshareShape& shape : differential::linkshare_shapes()) {
    std::mt19937_64 random(2024);
    for (int round = 0; round < 600; ++round) {
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

TEST(CompletionTimes, AgreeWithExactEqualSharing) {
  std::mt19937_64 random(99);
  for (int round = 0; round < 3000; ++round) {
    const differential::Batch batch = differential::sorted_by_time(
        differential::generate(random, 7, 5, [](std::mt19937_64& g, int) {
          return Download{differential::uniform(g, 0, 30), differential::uniform(g, 0, 20)};
        }));
    const std::vector<double> got = linkshare::completion_times(batch.speed, batch.downloads);
    const std::vector<Rational> exact = exact_times(batch.speed, batch.downloads);
    for (std::size_t i = 0; i < got.size(); ++i) {
      // Compare what was printed, read back.
      const std::string text = format(got[i]);
      double printed = 0;
      std::from_chars(text.data(), text.data() + text.size(), printed);
      const double want = exact[i].value();
      const double tolerance = std::abs(want) < 1 ? 1e-6 : 1e-9 * std::abs(want);
      ASSERT_NEAR(printed, want, tolerance) << "round " << round << ", download " << i;
    }
  }
}

}  // namespace
