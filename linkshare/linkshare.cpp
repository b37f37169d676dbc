#include "linkshare/linkshare.hpp"

#include <charconv>
#include <cmath>
#include <string>
#include <utility>

namespace linkshare {
namespace {

// A download in progress: it completes when the shared progress reaches
// `target`. Ties in target go to the download that came first.
struct Entry {
  double target;
  std::uint32_t id;
};

inline bool before(const Entry& a, const Entry& b) {
  return a.target < b.target || (a.target == b.target && a.id < b.id);
}

// A 4-ary min-heap: only its least entry is ever read or removed, and four
// children per node halve the depth of a binary heap at the cost of a few
// comparisons within one cache line.
class ActiveSet {
 public:
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  const Entry& least() const { return entries_.front(); }

  void insert(Entry entry) {
    std::size_t hole = entries_.size();
    entries_.push_back(entry);
    while (hole > 0) {
      const std::size_t parent = (hole - 1) / kArity;
      if (!before(entry, entries_[parent])) break;
      entries_[hole] = entries_[parent];
      hole = parent;
    }
    entries_[hole] = entry;
  }

  void remove_least() {
    const Entry last = entries_.back();
    entries_.pop_back();
    const std::size_t count = entries_.size();
    if (count == 0) return;
    std::size_t hole = 0;
    for (;;) {
      const std::size_t first_child = hole * kArity + 1;
      if (first_child >= count) break;
      const std::size_t end_child = first_child + kArity < count ? first_child + kArity : count;
      std::size_t best = first_child;
      for (std::size_t child = first_child + 1; child < end_child; ++child) {
        if (before(entries_[child], entries_[best])) best = child;
      }
      if (!before(entries_[best], last)) break;
      entries_[hole] = entries_[best];
      hole = best;
    }
    entries_[hole] = last;
  }

 private:
  static constexpr std::size_t kArity = 4;
  std::vector<Entry> entries_;
};

constexpr double kCompletionTolerance = 1e-9;

std::string download_field(const char* field, std::size_t index) {
  return std::string("the ") + field + " of download " + std::to_string(index);
}

}  // namespace

Batch read_batch(textio::IntReader& reader, std::uint64_t capacity_hint) {
  std::int32_t count = 0;
  if (!reader.read(count, [] { return "the number of downloads"; })) {
    throw textio::Error(reader.name() +
                        ": the file is empty; expected the number of downloads and the link speed");
  }
  if (count < 0) {
    reader.fail_here("the number of downloads is " + std::to_string(count) +
                     "; it cannot be negative");
  }
  Batch batch;
  if (!reader.read(batch.speed, [] { return "the link speed"; })) {
    throw textio::Error(reader.name() + ": the file ends before the link speed");
  }
  if (batch.speed < 1) {
    reader.fail_here("the link speed is " + std::to_string(batch.speed) +
                     "; it must be at least 1");
  }
  const auto announced = static_cast<std::size_t>(count);
  batch.downloads.reserve(announced < capacity_hint ? announced : capacity_hint);
  for (std::size_t i = 0; i < announced; ++i) {
    Download download{};
    if (!reader.read(download.time, [i] { return download_field("arrival time", i); })) {
      throw textio::Error(reader.name() + ": " + std::to_string(announced) +
                          " downloads announced, " + std::to_string(i) + " found");
    }
    if (!reader.read(download.size, [i] { return download_field("size", i); })) {
      throw textio::Error(reader.name() + ": " + std::to_string(announced) +
                          " downloads announced, " + std::to_string(i) +
                          " found (download " + std::to_string(i) +
                          " has an arrival time but no size)");
    }
    batch.downloads.push_back(download);
  }
  return batch;
}

// Every download in progress receives data at the same rate, so one value,
// `progress`, tells how much each has received since the link last became
// busy, and a download completes when progress reaches its target. Each
// operation below is one rounded double operation, in this order: the
// printed digits depend on it.
std::vector<double> completion_times(std::int32_t speed, const std::vector<Download>& downloads) {
  const std::size_t n = downloads.size();
  std::vector<double> results(n, 0.0);
  if (n == 0) return results;
  const double link_speed = speed;

  ActiveSet active;
  active.insert({static_cast<double>(downloads[0].size), 0});
  std::size_t next = 1;
  double progress = 0;
  double clock = downloads[0].time;

  for (;;) {
    if (next >= n && active.empty()) break;

    // Completions that the last event brought within the tolerance happen
    // at the current clock; only the least entry is tested.
    while (!active.empty() && std::fabs(active.least().target - progress) <= kCompletionTolerance) {
      results[active.least().id] = clock;
      active.remove_least();
    }
    if (active.empty()) {
      // Idle link: progress starts again from 0 at the next arrival.
      progress = 0;
      if (next >= n) break;
      clock = downloads[next].time;
      active.insert({static_cast<double>(downloads[next].size) + progress,
                     static_cast<std::uint32_t>(next)});
      ++next;
      continue;
    }

    const Entry least = active.least();
    const double rest = least.target - progress;
    const double active_count = static_cast<double>(active.size());
    const double share = link_speed / active_count;
    // The next arrival comes first only if it lies strictly before the
    // completion; once all have arrived the completion always comes next.
    if (next < n) {
      const double arrival = downloads[next].time;
      const double gap = arrival - clock;
      if (gap * link_speed < rest * active_count) {
        progress = progress + ((arrival - clock) * share);
        clock = arrival;
        active.insert({static_cast<double>(downloads[next].size) + progress,
                       static_cast<std::uint32_t>(next)});
        ++next;
        continue;
      }
    }

    const double done = (rest / share) + clock;
    active.remove_least();
    results[least.id] = done;
    if (active.empty()) {
      progress = 0;
    } else {
      progress = progress + ((done - clock) * share);
    }
    clock = done;
  }
  return results;
}

char* format_time(char* out, double time) {
  return std::to_chars(out, out + kMaxTimeText, time, std::chars_format::fixed, 17).ptr;
}

void write_times(const std::vector<double>& times, textio::OutputFile& output) {
  for (const double time : times) {
    char* end = format_time(output.begin_write(kMaxTimeText + textio::kLineEnd.size()), time);
    for (const char c : textio::kLineEnd) *end++ = c;
    output.end_write(end);
  }
}

}  // namespace linkshare
