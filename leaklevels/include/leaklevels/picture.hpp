// A picture of a level table: the total level over the steps, and the steps
// at which vases run dry, marked if they are few. Above kColumns steps each
// pixel column shows the least and the most level of its steps, so that a
// spike is never averaged away; the memory it takes and the size of the
// picture stay fixed whatever t is.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "textio/text_sink.hpp"

namespace leaklevels {

class Picture {
 public:
  static constexpr std::size_t kColumns = 840;  // the plot's width in pixels
  static constexpr std::size_t kMostMarks = 40;

  // `input_name` as the user gave it, for the title.
  explicit Picture(std::string input_name) : input_name_(std::move(input_name)) {}

  // The table to come: steps 0..last_step (only 0 if it is below 1).
  void begin(std::int32_t last_step, std::uint64_t vases) {
    last_step_ = std::max(last_step, 0);
    vases_ = vases;
    steps_ = static_cast<std::uint64_t>(last_step_) + 1;
    columns_.assign(std::min<std::uint64_t>(steps_, kColumns), Column{});
    current_ = 0;
    next_start_ = start_of(1);
  }

  // The level at the next step, in order.
  void add(std::int64_t level) {
    if (step_ == next_start_) next_start_ = start_of(++current_ + 1);
    Column& column = columns_[current_];
    column.least = std::min(column.least, level);
    column.most = std::max(column.most, level);
    if (step_ == 0) first_level_ = level;
    last_level_ = level;
    ++step_;
  }

  // The steps at which a vase runs dry, in order, and how many there are
  // in all (the list holds the first few).
  void dry_steps(std::vector<std::int64_t> first_few, std::uint64_t count) {
    dry_steps_ = std::move(first_few);
    dry_step_count_ = count;
  }

  // Writes the picture: a complete SVG document.
  void draw(textio::TextSink& out) const;

 private:
  struct Column {
    std::int64_t least = std::numeric_limits<std::int64_t>::max();
    std::int64_t most = std::numeric_limits<std::int64_t>::min();
  };

  // The first step of column `column`.
  std::uint64_t start_of(std::uint64_t column) const {
    return columns_.empty() ? 0 : column * steps_ / columns_.size();
  }

  std::string input_name_;
  std::int32_t last_step_ = 0;
  std::uint64_t vases_ = 0;
  std::uint64_t steps_ = 0;
  std::vector<Column> columns_;
  std::uint64_t current_ = 0;
  std::uint64_t next_start_ = 0;
  std::uint64_t step_ = 0;
  std::int64_t first_level_ = 0;
  std::int64_t last_level_ = 0;
  std::vector<std::int64_t> dry_steps_;
  std::uint64_t dry_step_count_ = 0;
};

}  // namespace leaklevels
