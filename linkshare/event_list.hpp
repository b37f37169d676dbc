// The downloads in progress, ordered by (target, id): only the least entry
// is ever read or removed.
//
// A ladder queue. Entries far from the front wait unsorted in buckets of
// target ranges; only the front bucket is kept in an exact heap, so most
// entries cost a few arithmetic operations and appends instead of a walk
// down a large heap. The bucket of an entry comes from a function of its
// target that never decreases as the target grows; so every entry in an
// earlier bucket is at most every entry in a later one, and the order by
// (target, id) stays exact whatever the targets are, equal ones included.
//
//   bottom   a 4-ary heap: the front of the order
//   rungs    rungs[0] covers the targets below `top`; each finer rung covers
//            the one bucket of the rung above that it was made from. A rung's
//            buckets from `next` on are still waiting; those below `next`
//            have moved to a finer rung or to bottom.
//   top      unsorted: the targets beyond rungs[0]
//
// Every entry in bottom is at most every entry in a waiting bucket of any
// rung, which is at most every entry of a later waiting bucket or of a
// coarser rung's waiting bucket, which is at most every entry in top.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace linkshare {

struct Entry {
  double target;
  std::uint32_t id;
};

inline bool before(const Entry& a, const Entry& b) {
  return a.target < b.target || (a.target == b.target && a.id < b.id);
}

class EventList {
 public:
  // `capacity_hint`: the most entries the list will hold, for reserving.
  // `bottom_limit`: buckets larger than this are split into a finer rung.
  // `spill_limit`: a bottom heap larger than this is spread into a rung.
  explicit EventList(std::size_t capacity_hint = 0, std::size_t bottom_limit = 64,
                     std::size_t spill_limit = 512)
      : bottom_limit_(bottom_limit < 2 ? 2 : bottom_limit),
        base_spill_limit_(spill_limit < bottom_limit_ ? bottom_limit_ : spill_limit),
        spill_limit_(base_spill_limit_) {
    top_.reserve(std::min<std::size_t>(capacity_hint, std::size_t{1} << 20));
  }

  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }

  // The least entry. Requires !empty().
  const Entry& least() {
    if (bottom_.empty()) refill_bottom();
    return bottom_.front();
  }

  // Removes the least entry. Requires !empty().
  void remove_least() {
    if (bottom_.empty()) refill_bottom();
    pop_heap();
    --size_;
  }

  void insert(const Entry& entry) {
    ++size_;
    for (std::size_t level = 0; level < depth_; ++level) {
      Rung& rung = rungs_[level];
      const double x = rung.position(entry.target);
      if (x < static_cast<double>(rung.next)) continue;  // at or below the rung's front
      std::size_t bucket = rung.count - 1;
      if (x < static_cast<double>(rung.count)) {
        bucket = static_cast<std::size_t>(x);
      } else if (level == 0) {
        top_.push_back(entry);  // beyond every rung
        return;
      }
      // A finer rung's range ends where its bucket of the coarser rung
      // ends: an entry past its last bucket (by rounding) still belongs to
      // that bucket, and after everything else in this rung.
      if (bucket < rung.next) continue;
      rung.late[bucket].push_back(entry);
      return;
    }
    push_heap(entry);
    if (bottom_.size() > spill_limit_) spill_bottom();
  }

 private:
  struct Rung {
    double base = 0;
    double scale = 0;
    std::size_t count = 0;          // buckets
    std::size_t next = 0;           // the first bucket still waiting
    std::vector<std::size_t> start;  // bucket k was built as built[start[k] .. start[k + 1])
    std::vector<Entry> built;
    std::vector<std::vector<Entry>> late;  // entries inserted after the rung was built

    // Never decreases as target grows: both operations round monotonically.
    double position(double target) const { return (target - base) * scale; }

    std::size_t bucket_size(std::size_t k) const {
      return start[k + 1] - start[k] + late[k].size();
    }
  };

  // Moves the next waiting bucket of the finest rung into bottom, splitting
  // it into a finer rung first if it is large; builds rung 0 from top when
  // every rung is used up.
  void refill_bottom() {
    while (bottom_.empty()) {
      if (depth_ == 0) {
        build_rung(top_);
        top_.clear();
        continue;
      }
      Rung& rung = rungs_[depth_ - 1];
      while (rung.next < rung.count && rung.bucket_size(rung.next) == 0) ++rung.next;
      if (rung.next == rung.count) {
        --depth_;
        continue;
      }
      const std::size_t k = rung.next++;
      const Entry* first = rung.built.data() + rung.start[k];
      const Entry* last = rung.built.data() + rung.start[k + 1];
      std::vector<Entry>& late = rung.late[k];
      if (static_cast<std::size_t>(last - first) + late.size() > bottom_limit_) {
        // The new rung's storage is separate from this one's: rungs_ may
        // grow, so the bucket's entries are gathered first.
        gathered_.assign(first, last);
        gathered_.insert(gathered_.end(), late.begin(), late.end());
        late.clear();
        build_rung(gathered_);
        continue;
      }
      for (const Entry* e = first; e != last; ++e) push_heap(*e);
      for (const Entry& e : late) push_heap(e);
      late.clear();
    }
  }

  // Spreads the bottom heap into a new finest rung; when its targets are
  // all equal there is nothing to spread, and the heap may grow further.
  void spill_bottom() {
    gathered_.swap(bottom_);
    bottom_.clear();
    if (!build_rung(gathered_)) {
      spill_limit_ = 2 * bottom_.size();
      return;
    }
    spill_limit_ = base_spill_limit_;
  }

  // Makes a new finest rung of `entries`, which lie at or below every
  // waiting bucket (or, for the first rung, every entry of top). If their
  // targets are all equal, or too close to spread, they go to bottom
  // instead and the result is false.
  bool build_rung(const std::vector<Entry>& entries) {
    if (entries.empty()) return false;
    double low = entries.front().target;
    double high = low;
    for (const Entry& e : entries) {
      low = std::min(low, e.target);
      high = std::max(high, e.target);
    }
    // About four entries a bucket; a bucket that still holds many is split
    // again when it comes to the front.
    const std::size_t count = std::clamp<std::size_t>(entries.size() / 4, 2, kMaxBuckets);
    double scale = static_cast<double>(count) / (high - low);
    if (entries.size() <= bottom_limit_ || !(high > low) || !std::isfinite(scale) || !(scale > 0)) {
      for (const Entry& e : entries) push_heap(e);
      return false;
    }
    // The highest target must fall in the last bucket: later entries at or
    // past `count` go to top and must not be below anything built here.
    while (!((high - low) * scale < static_cast<double>(count))) scale *= 0.9999999999999;
    if (rungs_.size() == depth_) rungs_.emplace_back();
    Rung& rung = rungs_[depth_++];
    rung.base = low;
    rung.scale = scale;
    rung.count = count;
    rung.next = 0;
    rung.start.assign(count + 1, 0);
    for (auto& late : rung.late) late.clear();
    rung.late.resize(count);
    // Counting sort by bucket: count, sum, place.
    for (const Entry& e : entries) ++rung.start[bucket_of(rung, e.target) + 1];
    for (std::size_t k = 0; k < count; ++k) rung.start[k + 1] += rung.start[k];
    rung.built.resize(entries.size());
    cursor_.assign(rung.start.begin(), rung.start.end() - 1);
    for (const Entry& e : entries) rung.built[cursor_[bucket_of(rung, e.target)]++] = e;
    return true;
  }

  static std::size_t bucket_of(const Rung& rung, double target) {
    const double x = rung.position(target);
    if (!(x > 0)) return 0;
    if (!(x < static_cast<double>(rung.count))) return rung.count - 1;
    return static_cast<std::size_t>(x);
  }

  void push_heap(const Entry& entry) {
    std::size_t hole = bottom_.size();
    bottom_.push_back(entry);
    while (hole > 0) {
      const std::size_t parent = (hole - 1) / kArity;
      if (!before(entry, bottom_[parent])) break;
      bottom_[hole] = bottom_[parent];
      hole = parent;
    }
    bottom_[hole] = entry;
  }

  void pop_heap() {
    const Entry last = bottom_.back();
    bottom_.pop_back();
    const std::size_t count = bottom_.size();
    if (count == 0) return;
    std::size_t hole = 0;
    for (;;) {
      const std::size_t first_child = hole * kArity + 1;
      if (first_child >= count) break;
      const std::size_t end_child = std::min(first_child + kArity, count);
      std::size_t best = first_child;
      for (std::size_t child = first_child + 1; child < end_child; ++child) {
        if (before(bottom_[child], bottom_[best])) best = child;
      }
      if (!before(bottom_[best], last)) break;
      bottom_[hole] = bottom_[best];
      hole = best;
    }
    bottom_[hole] = last;
  }

  static constexpr std::size_t kArity = 4;
  static constexpr std::size_t kMaxBuckets = std::size_t{1} << 16;

  std::size_t bottom_limit_;
  std::size_t base_spill_limit_;
  std::size_t spill_limit_;
  std::size_t size_ = 0;
  std::vector<Entry> bottom_;
  std::vector<Rung> rungs_;
  std::size_t depth_ = 0;
  std::vector<Entry> top_;
  std::vector<Entry> gathered_;
  std::vector<std::size_t> cursor_;
};

}  // namespace linkshare
