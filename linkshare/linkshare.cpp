#include "linkshare/linkshare.hpp"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "textio/bulk_memory.hpp"
#include "textio/decimal.hpp"
#include "textio/records.hpp"

namespace linkshare {
namespace {

constexpr double kCompletionTolerance = 1e-9;

constexpr textio::RecordNames kNames{
    "the number of downloads", "the link speed", "download", "downloads", "arrival time", "size",
    "an arrival time"};

struct Download {
  std::int32_t time;  // arrival time
  std::int32_t size;  // amount of data to transfer
};

// The downloads in input order, read from the text as the simulation needs
// them: only the next one to arrive is held.
class Arrivals {
 public:
  Arrivals(textio::IntReader& input, std::uint32_t count) : input_(input), count_(count) {
    if (count_ > 0) read_next();
  }

  bool more() const { return index_ < count_; }
  std::uint32_t index() const { return index_; }
  const Download& next() const { return next_; }

  void advance() {
    if (++index_ < count_) read_next();
  }

 private:
  void read_next() {
    textio::read_pair(input_, kNames, index_, count_, next_.time, next_.size,
                      [](const char*, std::int32_t) {});
  }

  textio::IntReader& input_;
  std::uint32_t count_;
  std::uint32_t index_ = 0;
  Download next_{};
};

// Completion times arrive out of input order; each line is written as soon
// as every earlier download's time is known. The times not yet written wait
// in a ring indexed by download.
class InOrderLines {
 public:
  explicit InOrderLines(textio::TextSink& output) : output_(output), ring_(kFirstSize, kWaiting) {}

  // Download `id`, the next one in input order, has arrived.
  void admit(std::uint32_t id) {
    if (id - written_ == ring_.size()) grow();
  }

  void complete(std::uint32_t id, double time) {
    std::memcpy(&ring_[id & mask()], &time, sizeof time);
    if (id == written_) write_ready();
  }

 private:
  static constexpr std::size_t kFirstSize = 64;  // grows by doubling as completions fall behind
  static constexpr std::size_t kMaxLine = textio::kMaxFixed17Text + textio::kLineEnd.size();
  // The bits of a signalling NaN, which no arithmetic produces, mark a slot
  // whose time is not known yet; no completion time is NaN in any case.
  static constexpr std::uint64_t kWaiting = 0xfff4deadbeef0000u;

  std::size_t mask() const { return ring_.size() - 1; }

  void write_ready() {
    for (;;) {
      std::uint64_t& slot = ring_[written_ & mask()];
      if (slot == kWaiting) return;
      double time = 0;
      std::memcpy(&time, &slot, sizeof time);
      char* end = textio::write_fixed17(output_.begin_write(kMaxLine), time);
      output_.end_write(textio::write_line_end(end));
      slot = kWaiting;
      ++written_;
    }
  }

  // Doubles the ring, keeping every waiting download's slot.
  void grow() {
    Ring larger(ring_.size() * 2, kWaiting);
    const std::size_t larger_mask = larger.size() - 1;
    for (std::uint64_t id = written_; id < written_ + ring_.size(); ++id) {
      larger[id & larger_mask] = ring_[id & mask()];
    }
    ring_.swap(larger);
  }

  textio::TextSink& output_;
  using Ring = std::vector<std::uint64_t, textio::BulkAllocator<std::uint64_t>>;
  Ring ring_;  // the bits of each time; a power of two in size
  std::uint32_t written_ = 0;
};

std::string progress_line(std::uint32_t read, std::uint32_t completed, std::uint32_t total) {
  return textio::grouped(read) + " of " + textio::grouped(total) + " downloads read, " +
         textio::grouped(completed) + " completed (" + textio::percent(completed, total) + ")";
}

}  // namespace

// Every download in progress receives data at the same rate, so one value,
// `progress`, tells how much each has received since the link last became
// busy, and a download completes when progress reaches its target. Each
// operation below is one rounded double operation, in this order: the
// printed digits depend on it.
void run(textio::IntReader& input, textio::TextSink& output, textio::Progress& meter,
         Observer* observer, const EventList::Limits& limits) {
  std::int32_t count = 0;
  std::int32_t speed = 0;
  textio::read_header(input, kNames, count, speed, [&input](std::int32_t announced) {
    textio::require_non_negative(input, announced, kNames.count);
  });
  if (speed < 1) {
    input.fail_here("the link speed is " + std::to_string(speed) + "; it must be at least 1");
  }
  if (observer != nullptr) observer->begin(static_cast<std::uint64_t>(count), speed);
  const auto n = static_cast<std::uint32_t>(count);
  Arrivals arrivals(input, n);
  if (!arrivals.more()) return;

  const double link_speed = speed;
  InOrderLines lines(output);
  EventList active(limits, textio::records_to_reserve(n, input));

  // The idle link takes the next arrival: progress starts again from 0.
  double progress = 0;
  double clock = 0;
  std::uint32_t completed = 0;
  // The next download arrives, at `clock`, and will be complete when
  // progress reaches `target`.
  const auto arrive = [&](double target) {
    const std::uint32_t id = arrivals.index();
    lines.admit(id);
    active.insert({target, id});
    arrivals.advance();
    if (observer != nullptr) observer->arrived(id, clock, active.size());
  };
  const auto start_busy = [&] {
    clock = arrivals.next().time;
    progress = 0;
    arrive(static_cast<double>(arrivals.next().size));
  };
  const auto complete = [&](std::uint32_t id, double time) {
    lines.complete(id, time);
    ++completed;
    if (observer != nullptr) observer->completed(id, time, active.size());
  };
  start_busy();

  for (;;) {
    if (meter.due()) meter.show(progress_line(arrivals.index(), completed, n));

    // A download that the last event brought within the tolerance of its
    // target completes at the current clock; only the least entry is
    // tested, one at a time, before anything else happens.
    const Entry least = active.least();
    const double rest = least.target - progress;
    if (std::fabs(rest) <= kCompletionTolerance) {
      active.remove_least();
      complete(least.id, clock);
      if (active.empty()) {
        if (!arrivals.more()) break;
        start_busy();
      }
      continue;
    }

    const double active_count = static_cast<double>(active.size());
    const double share = link_speed / active_count;
    // The next arrival comes first only if it lies strictly before the
    // completion; once all have arrived the completion always comes next.
    if (arrivals.more()) {
      const double arrival = arrivals.next().time;
      const double gap = arrival - clock;
      if (gap * link_speed < rest * active_count) {
        progress = progress + (gap * share);
        clock = arrival;
        arrive(static_cast<double>(arrivals.next().size) + progress);
        continue;
      }
    }

    const double done = (rest / share) + clock;
    active.remove_least();
    complete(least.id, done);
    if (active.empty()) {  // idle: the next arrival starts the link again
      if (!arrivals.more()) break;
      start_busy();
      continue;
    }
    progress = progress + ((done - clock) * share);
    clock = done;
  }
}

}  // namespace linkshare
