#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
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
    {"ahead of the front",
     [](std::mt19937_64& r, double front) { return front + uniform(r, 0, 400); }},
    {"anywhere", [](std::mt19937_64& r, double) { return uniform(r, -1e6, 1e6); }},
    {"few distinct", [](std::mt19937_64& r, double) { return static_cast<double>(r() % 5); }},
    {"all equal", [](std::mt19937_64&, double) { return 7.0; }},
    {"below the front", [](std::mt19937_64& r, double front) { return front - uniform(r, 0, 10); }},
    {"huge and tiny",
     [](std::mt19937_64& r, double) {
       const double pick[] = {-1e300,
                              -1.0,
                              -0.0,
                              0.0,
                              4.9e-324,
                              1e-300,
                              1.0,
                              1e300,
                              std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::lowest()};
       return pick[r() % 10] * (r() % 2 == 0 ? 1.0 : 1.0 + 1e-15);
     }},
    {"a few integers at a large magnitude",
     [](std::mt19937_64& r, double) { return 1e15 + static_cast<double>(r() % 61); }},
    {"one ulp apart",
     [](std::mt19937_64& r, double) {
       return std::nextafter(1e9, 1e9 + static_cast<double>(r() % 3) - 1.0) +
              static_cast<double>(r() % 2) * 1e-7;
     }},
};

TEST(EventList, GivesTheLeastEntryOfAnOrderedSet) {
  for (const KeyShape& shape : kShapes) {
    for (const std::size_t bottom_limit : {2, 8, 64}) {
      std::mt19937_64 random(31);
      EventList list({bottom_limit, bottom_limit * 4, 4});
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
    const double high =
        std::ldexp(1.0 + uniform(random, 0, 1), static_cast<int>(random() % 120) - 20);
    const double low = -uniform(random, 0, 1) * high;
    EventList list({8, 32, 8});
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

// --- work bounds ----------------------------------------------------------
//
// Orders of targets that defeat a bucketed list: new entries below every
// waiting one (in bursts, or one at a time between removals), equal targets,
// and targets spread so unevenly that buckets will not split. For each, the
// list must still give the order of an ordered set, with a bounded number
// of rungs, a bounded number of rungs looked at per insert, and a bounded
// number of entry moves per operation: together, O(log n) per operation.

struct Sequence {
  const char* name;
  // Drives the list with about `n` inserts and as many removals; calls
  // check() after every removal.
  void (*drive)(EventList&, std::uint32_t n, const std::function<void()>& check);
};

// Inserts with ids in order, as the simulation does.
struct Inserter {
  EventList& list;
  std::set<std::pair<double, std::uint32_t>>* mirror;
  std::uint32_t next_id = 0;
  void operator()(double target) {
    list.insert({target, next_id});
    if (mirror != nullptr) mirror->insert({target, next_id});
    ++next_id;
  }
};

std::set<std::pair<double, std::uint32_t>>* g_mirror = nullptr;  // the test's reference, if any

void remove_least(EventList& list, const std::function<void()>& check) {
  check();
  list.remove_least();
  if (g_mirror != nullptr) g_mirror->erase(g_mirror->begin());
}

void drain(EventList& list, const std::function<void()>& check) {
  while (!list.empty()) remove_least(list, check);
}

const Sequence kHostileSequences[] = {
    {"all at once, each below the last",
     [](EventList& list, std::uint32_t n, const std::function<void()>& check) {
       Inserter insert{list, g_mirror};
       for (std::uint32_t i = 0; i < n; ++i) insert(1e9 - 1000.0 * i);
       drain(list, check);
     }},
    {"bursts below the front, one removal each",
     [](EventList& list, std::uint32_t n, const std::function<void()>& check) {
       Inserter insert{list, g_mirror};
       double low = 1e12;
       for (std::uint32_t i = 0; i < n; ++i) {
         insert(low -= 1.0);
         if (i % 1000 == 999) remove_least(list, check);
       }
       drain(list, check);
     }},
    {"one below the front per removal, over a large body",
     [](EventList& list, std::uint32_t n, const std::function<void()>& check) {
       Inserter insert{list, g_mirror};
       for (std::uint32_t i = 0; i < n / 2; ++i) insert(1e6 + i);
       double low = 1e6;
       for (std::uint32_t i = 0; i < n / 2; ++i) {
         insert(low -= 0.5);
         insert(low -= 0.5);
         remove_least(list, check);
       }
       drain(list, check);
     }},
    {"progress falling: every new target below the last removed",
     [](EventList& list, std::uint32_t n, const std::function<void()>& check) {
       Inserter insert{list, g_mirror};
       double progress = 1e9;
       for (std::uint32_t i = 0; i < n; ++i) {
         insert(progress + static_cast<double>(i % 7) * 10.0);
         progress -= 3.0;
         if (i % 3 == 0) remove_least(list, check);
       }
       drain(list, check);
     }},
    {"equal targets",
     [](EventList& list, std::uint32_t n, const std::function<void()>& check) {
       Inserter insert{list, g_mirror};
       for (std::uint32_t i = 0; i < n; ++i) insert(42.0);
       drain(list, check);
     }},
    {"one far target, the rest in a sliver",
     [](EventList& list, std::uint32_t n, const std::function<void()>& check) {
       Inserter insert{list, g_mirror};
       insert(4e9);
       for (std::uint32_t i = 1; i < n; ++i)
         insert(1.0 + std::ldexp(static_cast<double>(i % 4096), -40) +
                std::ldexp(static_cast<double>(i), -52));
       drain(list, check);
     }},
    {"targets doubling: every bucket holds nearly all",
     [](EventList& list, std::uint32_t n, const std::function<void()>& check) {
       Inserter insert{list, g_mirror};
       for (std::uint32_t i = 0; i < n; ++i)
         insert(std::ldexp(1.0 + (i % 97) / 97.0, static_cast<int>(i % 61)));
       drain(list, check);
     }},
    {"alternating far ahead and below the front",
     [](EventList& list, std::uint32_t n, const std::function<void()>& check) {
       Inserter insert{list, g_mirror};
       double low = 0;
       for (std::uint32_t i = 0; i < n; ++i) {
         insert(i % 2 == 0 ? 1e12 + i : (low -= 1.0));
         if (i % 4 == 3) remove_least(list, check);
       }
       drain(list, check);
     }},
};

// Against an ordered set, at a size where a wrong order shows quickly.
TEST(EventList, HostileOrdersStayExact) {
  for (const Sequence& sequence : kHostileSequences) {
    std::set<std::pair<double, std::uint32_t>> mirror;
    g_mirror = &mirror;
    EventList list;
    sequence.drive(list, 60000, [&] {
      ASSERT_EQ(list.least().target, mirror.begin()->first) << sequence.name;
      ASSERT_EQ(list.least().id, mirror.begin()->second) << sequence.name;
    });
    g_mirror = nullptr;
    EXPECT_TRUE(list.empty()) << sequence.name;
  }
}

// At two million inserts the work per operation stays below small bounds,
// the same at n as at 2n. A list whose rungs pile up (one more for every
// spill below the front) fails at once: its depth grows with n.
TEST(EventList, HostileOrdersCostBoundedWorkPerOperation) {
  const EventList::Limits limits;
  for (const Sequence& sequence : kHostileSequences) {
    for (const std::uint32_t n : {1000000u, 2000000u}) {
      EventList list(limits);
      std::uint64_t removals = 0;
      sequence.drive(list, n, [&] { ++removals; });
      const EventList::Work& work = list.work();
      const double operations = static_cast<double>(n + removals);
      EXPECT_LE(work.deepest, limits.depth) << sequence.name << ", n = " << n;
      EXPECT_LE(work.rungs_looked_at, limits.depth * n) << sequence.name << ", n = " << n;
      EXPECT_LE(static_cast<double>(work.entries_moved) / operations, 12.0)
          << sequence.name << ", n = " << n;
      EXPECT_LE(work.rebuilds, 64u) << sequence.name << ", n = " << n;
    }
  }
}

}  // namespace
