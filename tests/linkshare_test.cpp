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

std::int32_t uniform(std::mt19937_64& random, std::int64_t low, std::int64_t high) {
  return static_cast<std::int32_t>(
      std::uniform_int_distribution<std::int64_t>(low, high)(random));
}

// A generated batch: the link speed and the downloads.
struct Generated {
  std::int32_t speed = 1;
  std::vector<Download> downloads;
};

Generated generate(std::mt19937_64& random, int max_n, std::int32_t max_speed,
                   const std::function<Download(std::mt19937_64&, int)>& download) {
  Generated batch;
  batch.speed = uniform(random, 1, max_speed);
  const int n = uniform(random, 1, max_n);
  for (int i = 0; i < n; ++i) batch.downloads.push_back(download(random, i));
  return batch;
}

Generated sorted_by_time(Generated batch) {
  std::stable_sort(batch.downloads.begin(), batch.downloads.end(),
                   [](const Download& a, const Download& b) { return a.time < b.time; });
  return batch;
}

struct Shape {
  const char* name;
  std::function<Generated(std::mt19937_64&)> make;
};

const std::vector<Shape>& shapes() {
  static const std::vector<Shape> all = {
      {"sorted arrivals",
       [](std::mt19937_64& r) {
         return sorted_by_time(generate(r, 60, 50, [](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 200), uniform(g, 0, 100)};
         }));
       }},
      {"unsorted arrivals, negative values",
       [](std::mt19937_64& r) {
         return generate(r, 40, 1000, [](std::mt19937_64& g, int) {
           return Download{uniform(g, -1000, 1000), uniform(g, -50, 500)};
         });
       }},
      {"equal sizes and times",
       [](std::mt19937_64& r) {
         const std::int32_t time = uniform(r, 0, 5);
         const std::int32_t size = uniform(r, 0, 20);
         return generate(r, 30, 9, [time, size](std::mt19937_64& g, int) {
           return Download{g() % 4 == 0 ? time + 1 : time, size};
         });
       }},
      {"large magnitudes",
       [](std::mt19937_64& r) {
         return sorted_by_time(generate(r, 30, 7, [](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 2000000000), uniform(g, 999999000, 1000000000)};
         }));
       }},
      {"equal large sizes",
       [](std::mt19937_64& r) {
         const std::int32_t size = uniform(r, 100000000, 2147483647);
         return generate(r, 12, 13, [size](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 3), size};
         });
       }},
      {"integer grid: arrivals meet completions",
       [](std::mt19937_64& r) {
         const std::int32_t sizes[] = {0, 1, 2, 3, 4, 6, 12};
         return sorted_by_time(generate(r, 12, 6, [&sizes](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 12), sizes[g() % 7]};
         }));
       }},
      {"thousands in progress",
       [](std::mt19937_64& r) {
         return sorted_by_time(generate(r, 3000, 100, [](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 3000), uniform(g, 0, 400)};
         }));
       }},
      {"thousands, unsorted",
       [](std::mt19937_64& r) {
         return generate(r, 3000, 1000, [](std::mt19937_64& g, int) {
           return Download{uniform(g, -100000, 100000), uniform(g, -1000, 1000000)};
         });
       }},
      {"32-bit extremes",
       [](std::mt19937_64& r) {
         const std::int32_t edges[] = {-2147483647 - 1, -2147483647, -1, 0, 1, 2147483646,
                                       2147483647};
         return generate(r, 8, 2147483647, [&edges](std::mt19937_64& g, int) {
           return Download{edges[g() % 7], edges[g() % 7]};
         });
       }},
  };
  return all;
}

TEST(CompletionTimes, PrintsWhatThePlainModelPrints) {
  for (const Shape& shape : shapes()) {
    std::mt19937_64 random(2024);
    for (int round = 0; round < 600; ++round) {
      const Generated batch = shape.make(random);
      std::vector<model::File> files;
      for (const Download& d : batch.downloads) {
        files.push_back({d.time, d.size, static_cast<int>(files.size())});
      }
      const std::vector<double> expected =
          model::linkshare_times(static_cast<int>(files.size()), batch.speed, files);
      const std::vector<double> got = linkshare::completion_times(batch.speed, batch.downloads);
      ASSERT_EQ(got.size(), expected.size());
      for (std::size_t i = 0; i < got.size(); ++i) {
        std::string line = model::linkshare_line(expected[i]);
        line.pop_back();
        ASSERT_EQ(format(got[i]), line) << shape.name << ", round " << round << ", download " << i;
      }
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
    const Generated batch =
        sorted_by_time(generate(random, 7, 5, [](std::mt19937_64& g, int) {
          return Download{uniform(g, 0, 30), uniform(g, 0, 20)};
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
