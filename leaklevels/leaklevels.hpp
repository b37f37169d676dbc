// The total content left in a set of leaking vases at every step.
//
// Vase i holds `amount` at step 0 and loses `loss` per step until it is
// empty, so at step s it holds max(0, amount - loss * s). Each vase is filed
// once under its key, the number of whole losses it can bear; the steps are
// then walked in order with two running totals, in time proportional to the
// number of vases plus the number of steps and with memory that does not
// depend on the number of steps.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "textio/int_reader.hpp"
#include "textio/output_file.hpp"

namespace leaklevels {

struct Header {
  std::int32_t count = 0;      // vases announced; 0 or less means none
  std::int32_t last_step = 0;  // steps 0..last_step are reported (only 0 if it is below 1)
};

class LevelTable {
 public:
  explicit LevelTable(std::int32_t last_step) : last_step_(last_step) {}

  void reserve(std::size_t vases) { draining_.reserve(vases); }

  // Adds a vase; amount and loss must be 0 or more.
  void add(std::int32_t amount, std::int32_t loss) {
    level_ += amount;
    rate_ += loss;
    if (loss == 0) return;  // never drains: it keeps its amount on every line
    const std::int32_t key = amount / loss;
    if (key > last_step_) return;  // loses its full loss on every reported step
    draining_.push_back({static_cast<std::uint32_t>(key), loss, amount % loss});
  }

  // Calls emit(level) for every step 0..last_step in order, or once, for
  // step 0, when last_step is below 1.
  template <class Emit>
  void walk(Emit&& emit) {
    std::sort(draining_.begin(), draining_.end(),
              [](const Drain& a, const Drain& b) { return a.key < b.key; });
    std::int64_t level = level_;
    std::int64_t rate = rate_;
    emit(level);
    auto drain = draining_.cbegin();
    const auto drained = draining_.cend();
    for (std::int64_t step = 0; step < last_step_; ++step) {
      // Vases that run dry in this step lose only what they still hold; they
      // leave the rate before it is taken.
      for (; drain != drained && drain->key == step; ++drain) {
        rate -= drain->loss;
        level -= drain->remainder;
      }
      level -= rate;
      emit(level);
    }
  }

 private:
  struct Drain {
    std::uint32_t key;  // the last step at which the vase still loses its full loss
    std::int32_t loss;
    std::int32_t remainder;  // what is left for the step from key to key + 1
  };

  std::int32_t last_step_;
  std::int64_t level_ = 0;  // sum of all amounts
  std::int64_t rate_ = 0;   // sum of all losses
  std::vector<Drain> draining_;
};

// Reads "n t". Throws textio::Error if the file is empty or malformed.
Header read_header(textio::IntReader& reader);

// Reads the header's n pairs "amount loss" into `table`. Throws
// textio::Error for malformed, out-of-range or negative values and for a
// file that ends before the pairs announced.
void read_vases(textio::IntReader& reader, const Header& header, LevelTable& table,
                std::uint64_t capacity_hint);

// Writes the table, one level per line.
void write_levels(LevelTable& table, textio::OutputFile& output);

}  // namespace leaklevels
