#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "differential.hpp"
#include "leaklevels/leaklevels.hpp"

namespace {

using differential::Vase;
using differential::VaseSet;

std::vector<std::int64_t> table_of(std::int32_t last_step, const std::vector<Vase>& vases) {
  return differential::table_of(VaseSet{last_step, vases});
}

TEST(LevelTable, MatchesTheSumOverVases) {
  std::mt19937_64 random(5);
  for (const differential::VaseShape& shape : differential::vase_shapes()) {
    for (int round = 0; round < shape.rounds; ++round) {
      const VaseSet set = differential::make_vases(shape, random);
      ASSERT_EQ(differential::table_of(set), differential::brute_force(set))
          << shape.name << ", round " << round;
    }
  }
}

TEST(LevelTable, LargestInputDoesNotOverflow) {
  const std::int32_t most = std::numeric_limits<std::int32_t>::max();
  const std::vector<Vase> vases(100000, Vase{most, 1});
  const std::vector<std::int64_t> levels = table_of(1000000, vases);
  ASSERT_EQ(levels.size(), 1000001u);
  for (std::size_t step = 0; step < levels.size(); ++step) {
    ASSERT_EQ(levels[step], 100000 * (std::int64_t{most} - static_cast<std::int64_t>(step)));
  }
}

// The steps are produced one at a time: a walk over two billion steps can be
// stopped after a few, so nothing of the size of the step count was built.
TEST(LevelTable, StreamsHugeStepCounts) {
  leaklevels::LevelTable table(2000000000);
  table.add(1000000000, 1);
  table.add(7, 3);
  std::vector<std::int64_t> levels;
  struct Enough {};
  try {
    table.walk([&levels](std::int64_t level) {
      levels.push_back(level);
      if (levels.size() == 5) throw Enough{};
    });
  } catch (Enough) {
  }
  EXPECT_EQ(levels,
            (std::vector<std::int64_t>{1000000007, 1000000003, 999999999, 999999997, 999999996}));
}

std::string read_error(const std::string& text) {
  try {
    differential::leaklevels_output(text);
  } catch (const textio::Error& error) {
    return error.what();
  }
  return "no error";
}

// The whole path, text in and text out, on sets of every shape.
TEST(Leaklevels, WritesTheTableOfTheSumOverVases) {
  std::mt19937_64 random(8);
  for (const differential::VaseShape& shape : differential::vase_shapes()) {
    for (int round = 0; round < shape.rounds / 20 + 1; ++round) {
      const VaseSet set = differential::make_vases(shape, random);
      std::string expected;
      for (const std::int64_t level : differential::brute_force(set))
        expected += std::to_string(level) + "\n";
      ASSERT_EQ(differential::leaklevels_output(differential::input_text(set)), expected)
          << shape.name << ", round " << round;
    }
  }
}

TEST(Leaklevels, RejectsBadInputWithItsPlace) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"", "vase.in: the file is empty; expected the number of vases and the last step"},
      {"3", "vase.in: the file ends before the last step"},
      {"3 2\n4 1\n", "vase.in: 3 vases announced, 1 found"},
      {"2 2\n4 1 5", "vase.in: 2 vases announced, 1 found (vase 1 has an amount but no loss)"},
      {"2 2\n4 1\n-5 1", "vase.in:3:1: the amount of vase 1 is -5; it cannot be negative"},
      {"1 2\n4 -1", "vase.in:2:3: the loss of vase 0 is -1; it cannot be negative"},
      {"1 2\n4 one", "vase.in:2:3: expected the loss of vase 0, found 'one'"},
      {"1 t", "vase.in:1:3: expected the last step, found 't'"},
      {"1 2 4 4294967296",
       "vase.in:1:7: the loss of vase 0 '4294967296' is outside the 32-bit integer range "
       "(-2147483648 to 2147483647)"},
      {"-3 2 anything", "no error"},
      {"0 -5", "no error"},
      {"1 2 4 1 more text", "no error"},
      {"\xEF\xBB\xBF"
       "1 2 4 1",
       "no error"},
      {"\xEF\xBB\xBF"
       "1 2 4 -1",
       "vase.in:1:7: the loss of vase 0 is -1; it cannot be negative"},
      {"\xFF\xFE"
       "1",
       "vase.in: the file is UTF-16 text (little-endian); save it as UTF-8 or ANSI text"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_error(c.text), c.message) << '"' << c.text << '"';
}

}  // namespace
