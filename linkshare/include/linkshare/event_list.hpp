// The downloads in progress, ordered by (target, id): only the least entry
// is ever read or removed.
//
// A ladder queue with a bounded number of rungs. Entries far from the front
// wait unsorted in buckets of target ranges; only the front is kept in exact
// order, so most entries cost a few arithmetic operations and an append
// instead of a walk down a large heap. The bucket of an entry comes from a
// function of its target that never decreases as the target grows; so every
// entry in an earlier bucket is at most every entry in a later one, and the
// order by (target, id) stays exact whatever the targets are, equal ones
// included.
//
//   front    a sorted run (the bucket that came to the front) and a 4-ary
//            heap (entries inserted below every waiting bucket)
//   rungs    rungs[0] covers the targets below `top`; each finer rung covers
//            the one bucket of the rung above that it was made from. A rung's
//            buckets from `next` on are still waiting; those below `next`
//            have moved to a finer rung or to the front.
//   top      unsorted: the targets beyond rungs[0]
//
// Every entry in the front is at most every waiting entry of any rung,
// which is at most every entry of a later waiting bucket or of a coarser
// rung's waiting bucket, which is at most every entry in top.
//
// Why no input order can make it slow: at most Limits::depth rungs exist at
// once, so an insert looks at a bounded number of rungs, and an entry moves
// down a bounded number of times between two rebuilds. Entries inserted
// below every waiting bucket go straight to the heap. When the heap grows
// large, it is spread into a new finest rung; when all rungs are in use, the
// heap keeps growing (logarithmic) until it holds half of all entries, and
// then everything is rebuilt into one rung, in place: a rebuild costs at
// most twice the inserts that made it necessary. A bucket that cannot be
// spread (equal or nearly equal targets, or no rung left) is sorted. So
// every operation costs O(log n) amortised, and the common shapes cost a
// few appends and a short sort per entry.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "textio/bulk_memory.hpp"

namespace linkshare {

struct Entry {
  double target;
  std::uint32_t id;
};

inline bool before(const Entry& a, const Entry& b) {
  return a.target < b.target || (a.target == b.target && a.id < b.id);
}

struct EventListLimits {
  std::size_t bucket = 64;  // a larger bucket is spread into a finer rung at the front
  std::size_t spill = 512;  // a larger front heap is spread into a new finest rung
  std::size_t depth = 8;    // the most rungs at once
};

class EventList {
 public:
  using Limits = EventListLimits;
  using Entries = std::vector<Entry, textio::BulkAllocator<Entry>>;

  // What the list has done: for tests that bound its work without a clock.
  struct Work {
    std::uint64_t rungs_looked_at = 0;  // by inserts, summed
    std::uint64_t entries_moved = 0;    // placed into rungs, gathered, or sorted into the run
    std::uint64_t rungs_built = 0;
    std::uint64_t rebuilds = 0;  // everything spread into one rung again
    std::size_t deepest = 0;     // the most rungs at once
  };

  // `capacity_hint`: about the most entries the list will hold, where known;
  // room for them is set aside, but touched only as it fills.
  explicit EventList(const Limits& limits = Limits{}, std::size_t capacity_hint = 0)
      : limits_(sane(limits)) {
    rungs_.resize(limits_.depth);  // never reallocated: references into it stay valid
    top_.reserve(capacity_hint);
  }

  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  const Work& work() const { return work_; }

  // The least entry. Requires !empty().
  const Entry& least() { return front_is_run() ? run_[run_next_] : heap_.front(); }

  // Removes the least entry. Requires !empty().
  void remove_least() {
    if (front_is_run()) {
      ++run_next_;
    } else {
      pop_heap();
    }
    --size_;
  }

  void insert(const Entry& entry) {
    ++size_;
    // Below every waiting entry: straight to the front.
    if (depth_ > 0 && !(entry.target < front_limit_)) {
      for (std::size_t level = 0; level < depth_; ++level) {
        ++work_.rungs_looked_at;
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
        rung.add_late(bucket, entry);
        return;
      }
    }
    push_front(entry);
  }

 private:
  static constexpr std::uint32_t kNone = 0xffffffffu;
  static constexpr std::size_t kArity = 4;
  static constexpr std::size_t kMaxBuckets = std::size_t{1} << 16;

  static Limits sane(Limits limits) {  // cppcheck-suppress passedByValue
    limits.bucket = std::max<std::size_t>(limits.bucket, 2);
    limits.spill = std::max(limits.spill, limits.bucket);
    limits.depth = std::max<std::size_t>(limits.depth, 1);
    return limits;
  }

  // The entries inserted into one bucket after its rung was built are kept
  // in chunks, each twice the size of the one before, so that gathering a
  // bucket reads a few contiguous stretches. Chunks are carved from blocks
  // that stay allocated for the next rung: nothing is copied as they fill.
  struct LateChunk {
    Entry* begin;
    std::uint32_t used;
    std::uint32_t capacity;
    std::uint32_t previous;  // the bucket's chunk before this one, or kNone
  };

  class LatePool {
   public:
    Entry* carve(std::uint32_t size) {
      if (used_ + size > capacity_) {  // the next block, made on first use
        if (in_use_ == blocks_.size()) {
          // Each block twice the last, up to 2 MiB: a small list stays small.
          const std::size_t block =
              std::min<std::size_t>(kFirstBlock << blocks_.size(), kLastBlock);
          blocks_.emplace_back(std::max<std::size_t>(block, size));
        }
        capacity_ = blocks_[in_use_++].size();
        used_ = 0;
      }
      Entry* chunk = blocks_[in_use_ - 1].get() + used_;
      used_ += size;
      return chunk;
    }
    // Forgets every chunk; the blocks stay for the rung's next use.
    void clear() {
      in_use_ = 0;
      used_ = capacity_ = 0;
    }

   private:
    static constexpr std::size_t kFirstBlock = 256;                  // entries
    static constexpr std::size_t kLastBlock = std::size_t{1} << 17;  // entries: 2 MiB
    std::vector<textio::BulkArray<Entry>> blocks_;  // uninitialised: touched only as they fill
    std::size_t in_use_ = 0;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
  };

  struct Rung {
    double base = 0;
    double scale = 0;
    std::size_t count = 0;             // buckets
    std::size_t next = 0;              // the first bucket still waiting
    std::vector<std::uint32_t> start;  // bucket k was built as built[start[k] .. start[k + 1])
    Entries built;
    std::vector<std::uint32_t> late_head;  // bucket k's newest chunk, or kNone
    std::vector<LateChunk> late_chunks;
    LatePool late_pool;

    // Never decreases as target grows: both operations round monotonically.
    double position(double target) const { return (target - base) * scale; }

    void add_late(std::size_t bucket, const Entry& entry) {
      std::uint32_t chunk = late_head[bucket];
      if (chunk == kNone || late_chunks[chunk].used == late_chunks[chunk].capacity) {
        const std::uint32_t capacity =
            chunk == kNone ? 2 : std::min<std::uint32_t>(2 * late_chunks[chunk].capacity, 1024);
        late_chunks.push_back({late_pool.carve(capacity), 0, capacity, chunk});
        chunk = late_head[bucket] = static_cast<std::uint32_t>(late_chunks.size() - 1);
      }
      LateChunk& into = late_chunks[chunk];
      into.begin[into.used++] = entry;
    }

    bool bucket_empty(std::size_t k) const {
      return start[k] == start[k + 1] && late_head[k] == kNone;
    }

    // Appends bucket k's entries, built and late, to `out`.
    void gather(std::size_t k, Entries& out) const {
      out.insert(out.end(), built.begin() + start[k], built.begin() + start[k + 1]);
      for (std::uint32_t chunk = late_head[k]; chunk != kNone;
           chunk = late_chunks[chunk].previous) {
        out.insert(out.end(), late_chunks[chunk].begin,
                   late_chunks[chunk].begin + late_chunks[chunk].used);
      }
    }
  };

  // True when the least entry is the run's next one, false when it is the
  // heap's top; brings the next bucket to the front first if both are empty.
  bool front_is_run() {
    if (run_next_ == run_.size()) {
      if (!heap_.empty()) return false;
      refill_front();
      return true;
    }
    return heap_.empty() || !before(heap_.front(), run_[run_next_]);
  }

  // Brings the next waiting bucket of the finest rung to the front as a
  // sorted run, spreading it into a finer rung first if it is large; builds
  // rung 0 from top when every rung is used up. Requires an empty front and
  // !empty().
  void refill_front() {
    run_.clear();
    run_next_ = 0;
    for (;;) {
      if (depth_ == 0) {
        if (build_rung(top_)) continue;
        run_.swap(top_);
        sort_run();
        return;
      }
      Rung& rung = rungs_[depth_ - 1];
      while (rung.next < rung.count && rung.bucket_empty(rung.next)) ++rung.next;
      if (rung.next == rung.count) {
        --depth_;
        continue;
      }
      rung.gather(rung.next++, run_);
      if (run_.size() > limits_.bucket && depth_ < limits_.depth && build_rung(run_)) continue;
      sort_run();
      // Every waiting entry lies in a later bucket than these, so above all
      // of them.
      front_limit_ = run_.back().target;
      return;
    }
  }

  void push_front(const Entry& entry) {
    push_heap(entry);
    // A heap no larger than the run beside it is cheap to spread later.
    if (heap_.size() > limits_.spill && heap_.size() > run_.size() - run_next_) relieve_heap();
  }

  // Spreads the front (heap and run) into a new finest rung; with no rung
  // left, rebuilds everything once the heap holds half of it.
  void relieve_heap() {
    if (depth_ == limits_.depth) {
      if (heap_.size() * 2 >= size_) rebuild();
      return;
    }
    gathered_.assign(heap_.begin(), heap_.end());
    gathered_.insert(gathered_.end(), run_.begin() + static_cast<std::ptrdiff_t>(run_next_),
                     run_.end());
    work_.entries_moved += gathered_.size();
    heap_.clear();
    run_.clear();
    run_next_ = 0;
    if (!build_rung(gathered_)) {
      run_.swap(gathered_);  // equal targets: sorted once, then taken in order
      sort_run();
    }
  }

  // Gathers every entry into one new rung: the way out when the rungs are
  // all in use and entries keep arriving below them. Each rung's storage is
  // given back as soon as its entries are gathered, and the new rung is
  // made in place, so that the list never holds its entries twice over.
  void rebuild() {
    ++work_.rebuilds;
    gathered_.assign(heap_.begin(), heap_.end());
    Entries().swap(heap_);
    gathered_.insert(gathered_.end(), run_.begin() + static_cast<std::ptrdiff_t>(run_next_),
                     run_.end());
    Entries().swap(run_);
    run_next_ = 0;
    for (std::size_t level = 0; level < depth_; ++level) {
      Rung& rung = rungs_[level];
      for (std::size_t k = rung.next; k < rung.count; ++k) rung.gather(k, gathered_);
      rung = Rung();
    }
    gathered_.insert(gathered_.end(), top_.begin(), top_.end());
    Entries().swap(top_);
    work_.entries_moved += gathered_.size();
    depth_ = 0;
    if (!build_rung(gathered_, true)) {
      run_.swap(gathered_);
      sort_run();
    }
    Entries().swap(gathered_);
  }

  // Makes a new finest rung of `entries`, which lie at or below every
  // waiting entry, and which the front has none below; `entries` is left
  // empty. They are copied into the rung by bucket, or, `in_place`, sorted
  // by bucket where they are and their storage taken over: slower (each
  // move waits for the last), but no second copy. Returns false, with
  // nothing changed, if they are few, or their targets too close to spread.
  bool build_rung(Entries& entries, bool in_place = false) {
    if (entries.size() <= limits_.bucket || depth_ == limits_.depth) return false;
    double low = entries.front().target;
    double high = low;
    for (const Entry& e : entries) {
      low = std::min(low, e.target);
      high = std::max(high, e.target);
    }
    // About four entries a bucket; a bucket that still holds many is spread
    // again when it comes to the front.
    const std::size_t count = std::clamp<std::size_t>(entries.size() / 4, 2, kMaxBuckets);
    double scale = static_cast<double>(count) / (high - low);
    if (!(high > low) || !std::isfinite(scale) || !(scale > 0)) return false;
    // The highest target must fall in the last bucket: later entries at or
    // past `count` go to top and must not be below anything built here.
    while (!((high - low) * scale < static_cast<double>(count))) scale *= 0.9999999999999;
    Rung& rung = rungs_[depth_++];
    work_.deepest = std::max(work_.deepest, depth_);
    ++work_.rungs_built;
    work_.entries_moved += entries.size();
    rung.base = low;
    rung.scale = scale;
    rung.count = count;
    rung.next = 0;
    rung.late_chunks.clear();
    rung.late_pool.clear();
    rung.late_head.assign(count, kNone);
    // Counting sort by bucket: count, sum, place.
    rung.start.assign(count + 1, 0);
    for (const Entry& e : entries) ++rung.start[bucket_of(rung, e.target) + 1];
    for (std::size_t k = 0; k < count; ++k) rung.start[k + 1] += rung.start[k];
    cursor_.assign(rung.start.begin(), rung.start.end() - 1);
    if (!in_place) {
      rung.built.resize(entries.size());
      for (const Entry& e : entries) rung.built[cursor_[bucket_of(rung, e.target)]++] = e;
      entries.clear();
      front_limit_ = low;
      return true;
    }
    // In place: carry each entry to the next free place of its bucket,
    // taking along the one found there, until one belongs where it stands.
    for (std::size_t k = 0; k < count; ++k) {
      while (cursor_[k] < rung.start[k + 1]) {
        Entry carried = entries[cursor_[k]];
        for (std::size_t bucket = bucket_of(rung, carried.target); bucket != k;
             bucket = bucket_of(rung, carried.target)) {
          std::swap(carried, entries[cursor_[bucket]++]);
        }
        entries[cursor_[k]++] = carried;
      }
    }
    rung.built.swap(entries);
    entries.clear();
    // Every waiting entry is at least the least of these.
    front_limit_ = low;
    return true;
  }

  static std::size_t bucket_of(const Rung& rung, double target) {
    const double x = rung.position(target);
    if (!(x > 0)) return 0;
    if (!(x < static_cast<double>(rung.count))) return rung.count - 1;
    return static_cast<std::size_t>(x);
  }

  void sort_run() {
    work_.entries_moved += run_.size();
    if (run_.size() <= 16) {  // the usual bucket: a few entries
      for (std::size_t i = 1; i < run_.size(); ++i) {
        const Entry entry = run_[i];
        std::size_t hole = i;
        for (; hole > 0 && before(entry, run_[hole - 1]); --hole) run_[hole] = run_[hole - 1];
        run_[hole] = entry;
      }
    } else {
      std::sort(run_.begin(), run_.end(),
                [](const Entry& a, const Entry& b) { return before(a, b); });
    }
  }

  void push_heap(const Entry& entry) {
    std::size_t hole = heap_.size();
    heap_.push_back(entry);
    while (hole > 0) {
      const std::size_t parent = (hole - 1) / kArity;
      if (!before(entry, heap_[parent])) break;
      heap_[hole] = heap_[parent];
      hole = parent;
    }
    heap_[hole] = entry;
  }

  void pop_heap() {
    const Entry last = heap_.back();
    heap_.pop_back();
    const std::size_t count = heap_.size();
    if (count == 0) return;
    std::size_t hole = 0;
    for (;;) {
      const std::size_t first_child = hole * kArity + 1;
      if (first_child >= count) break;
      const std::size_t end_child = std::min(first_child + kArity, count);
      std::size_t best = first_child;
      for (std::size_t child = first_child + 1; child < end_child; ++child) {
        if (before(heap_[child], heap_[best])) best = child;
      }
      if (!before(heap_[best], last)) break;
      heap_[hole] = heap_[best];
      hole = best;
    }
    heap_[hole] = last;
  }

  Limits limits_;
  Work work_;
  std::size_t size_ = 0;
  Entries run_;  // sorted; run_[run_next_ ..] are still held
  std::size_t run_next_ = 0;
  Entries heap_;
  std::vector<Rung> rungs_;  // rungs_[0 .. depth_) are in use
  std::size_t depth_ = 0;
  double front_limit_ = 0;  // while depth_ > 0: at most every waiting entry
  Entries top_;
  Entries gathered_;
  std::vector<std::uint32_t> cursor_;
};

}  // namespace linkshare
