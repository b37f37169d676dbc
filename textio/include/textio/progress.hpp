// How far a long run has got, for a person watching it. The cores call due()
// in their hot loops: it costs one decrement until kInterval calls have
// passed, and only then asks the meter (which may look at a clock) whether a
// line is wanted. What is shown, and where, is the meter's business.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace textio {

class Progress {
 public:
  virtual ~Progress() = default;

  // True when the caller should describe its state through show().
  bool due() {
    if (--countdown_ != 0) return false;
    countdown_ = kInterval;
    return wanted();
  }

  // Shows one line, without a line end, in place of the last one.
  virtual void show(std::string_view line) = 0;

  static constexpr std::uint32_t kInterval = std::uint32_t{1} << 16;

 protected:
  Progress() = default;
  Progress(const Progress&) = default;
  Progress& operator=(const Progress&) = default;

  virtual bool wanted() = 0;

 private:
  std::uint32_t countdown_ = kInterval;
};

// Shows nothing: for runs nobody watches, tests and fuzzers.
class NoProgress final : public Progress {
 public:
  void show(std::string_view) override {}

 private:
  bool wanted() override { return false; }
};

// "1,234,567": digits in groups of three, for a person to read.
inline std::string grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

// "12%": done out of total, rounded down (0% when total is 0).
inline std::string percent(std::uint64_t done, std::uint64_t total) {
  const double share = total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
  return std::to_string(static_cast<unsigned>(share * 100.0)) + "%";
}

}  // namespace textio
