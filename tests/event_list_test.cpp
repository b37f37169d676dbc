#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <utility>

#include "linkshare/event_list.hpp"

namespace {

using linkshare::Entry;
using linkshare::EventList;

// Random inserts and removals against an ordered set: the least entry must
// agree at every step, whatever the targets look like.
struct KeyShape {
  const char* name;
  double (*target)(std::mt19937_64&, double front);
};

double uniform(std::mt19937_64& random, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(random);
}

const KeyShape kShapes[] = {
    {"ahead of the front", [](std::mt19937_64& r, double front) { return front + uniform(r, 0, 400); }},
    {"anywhere", [](std::mt19937_64& r, double) { return uniform(r, -1e6, 1e6); }},
    {"few distinct", [](std::mt19937_64& r, double) { return static_cast<double>(r() % 5); }},
    {"all equal", [](std::mt19937_64&, double) { return 7.0; }},
    {"below the front", [](std::mt19937_64& r, double front) { return front - uniform(r, 0, 10); }},
    {"huge and tiny", [](std::mt19937_64& r, double) {
       const double pick[] = {-1e300, -1.0, -0.0, 0.0, 4.9e-324, 1e-300, 1.0, 1e300,
                              std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()};
       return pick[r() % 10] * (r() % 2 == 0 ? 1.0 : 1.0 + 1e-15);
     }},
    {"a few integers at a large magnitude", [](std::mt19937_64& r, double) {
       return 1e15 + static_cast<double>(r() % 61);
     }},
    {"one ulp apart", [](std::mt19937_64& r, double) {
       return std::nextafter(1e9, 1e9 + static_cast<double>(r() % 3) - 1.0) + static_cast<double>(r() % 2) * 1e-7;
     }},
};

TEST(EventList, GivesTheLeastEntryOfAnOrderedSet) {
  for (const KeyShape& shape : kShapes) {
    for (const std::size_t bottom_limit : {2, 8, 64}) {
      std::mt19937_64 random(31);
      EventList list(0, bottom_limit, bottom_limit * 4);
      std::set<std::pair<double, std::uint32_t>> expected;
      std::uint32_t next_id = 0;
      double front = 0;
      for (int step = 0; step < 60000; ++step) {
        // Phases of growth and of shrinking, as bursts and quiet spells do.
        const bool grow = (step / 5000) % 2 == 0 ? random() % 10 < 7 : random() % 10 < 3;
        if (grow || expected.empty()) {
          const Entry entry{shape.target(random, front), next_id++};
          list.insert(entry);
          expected.insert({entry.target, entry.id});
        } else {
          const Entry least = list.least();
          ASSERT_EQ(least.target, expected.begin()->first) << shape.name << ", step " << step;
          ASSERT_EQ(least.id, expected.begin()->second) << shape.name << ", step " << step;
          front = least.target;
          list.remove_least();
          expected.erase(expected.begin());
        }
        ASSERT_EQ(list.size(), expected.size());
      }
      while (!expected.empty()) {
        ASSERT_EQ(list.least().id, expected.begin()->second) << shape.name;
        list.remove_least();
        expected.erase(expected.begin());
      }
      EXPECT_TRUE(list.empty());
    }
  }
}

// The largest target of a rung sits at the very end of its range; a target
// just below it, inserted later, must still come out first.
TEST(EventList, TargetsAtTheEndOfARangeStayInOrder) {
  std::mt19937_64 random(3);
  for (int round = 0; round < 3000; ++round) {
    const double high = std::ldexp(1.0 + uniform(random, 0, 1), static_cast<int>(random() % 120) - 20);
    const double low = -uniform(random, 0, 1) * high;
    EventList list(0, 8, 32);
    std::uint32_t id = 0;
    list.insert({low, id++});
    const int count = 40 + static_cast<int>(random() % 200);
    for (int i = 0; i < count; ++i) list.insert({high, id++});
    // Takes the first entry, so the rungs are built, then adds one just below the top.
    ASSERT_EQ(list.least().target, low);
    list.remove_least();
    const double just_below = std::nextafter(high, low);
    list.insert({just_below, id++});
    ASSERT_EQ(list.least().target, just_below) << std::hexfloat << low << " " << high;
  }
}

}  // namespace
