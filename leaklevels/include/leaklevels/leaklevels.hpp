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
#include <utility>
#include <vector>

#include "leaklevels/picture.hpp"
#include "textio/int_reader.hpp"
#include "textio/progress.hpp"
#include "textio/text_sink.hpp"

namespace leaklevels {

class LevelTable {
 public:
  explicit LevelTable(std::int32_t last_step) : last_step_(last_step) {}

  std::int32_t last_step() const { return last_step_; }

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
    sort_by_key();
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

  // The steps up to last_step at which a vase is empty for the first time,
  // in order: the first `limit` of them, and how many there are.
  std::pair<std::vector<std::int64_t>, std::uint64_t> dry_steps(std::size_t limit) {
    sort_by_key();
    std::vector<std::int64_t> first_few;
    std::uint64_t count = 0;
    std::int64_t previous = -1;
    for (const Drain& drain : draining_) {
      // Empty at `key` if the losses use it up exactly, else one step later.
      const std::int64_t dry = std::int64_t{drain.key} + (drain.remainder == 0 ? 0 : 1);
      if (dry > last_step_ || dry == previous) continue;
      previous = dry;
      ++count;
      if (first_few.size() < limit) first_few.push_back(dry);
    }
    return {first_few, count};
  }

 private:
  void sort_by_key() {
    std::sort(draining_.begin(), draining_.end(),
              [](const Drain& a, const Drain& b) { return a.key < b.key; });
  }

  struct Drain {
    // The number of whole losses the vase can bear: it loses its full loss
    // in every step up to step `key`, only `remainder` in the step from
    // `key` to `key` + 1, and is empty from then on.
    std::uint32_t key;
    std::int32_t loss;
    std::int32_t remainder;
  };

  std::int32_t last_step_;
  std::int64_t level_ = 0;  // sum of all amounts
  std::int64_t rate_ = 0;   // sum of all losses
  std::vector<Drain> draining_;
};

// Reads "n t" and then n pairs "amount loss" from `input` (n of 0 or less
// means no vases), and writes the total level at every step 0..t to
// `output`, one line each (only step 0 when t is below 1). Throws
// textio::Error for input that is malformed, out of range, negative where an
// amount or loss is due, or that ends before the pairs it announces; no line
// is written before all input has been read.
// `picture`, if given, is drawn from the table as it is written.
void run(textio::IntReader& input, textio::TextSink& output, textio::Progress& meter,
         Picture* picture = nullptr);

}  // namespace leaklevels
