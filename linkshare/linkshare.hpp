// Completion times of downloads that share one link equally.
#pragma once

#include <cstdint>
#include <vector>

#include "textio/int_reader.hpp"
#include "textio/output_file.hpp"

namespace linkshare {

struct Download {
  std::int32_t time;  // arrival time
  std::int32_t size;  // amount of data to transfer
};

// One per download, in input order: the download until it arrives, then its
// completion time. Sharing the storage keeps the memory a run touches at
// eight bytes per download besides the downloads in progress.
union Slot {
  Download download;
  double completion;
};

struct Batch {
  std::int32_t speed = 1;  // the link's capacity per unit of time, S
  std::vector<Slot> slots;
};

// Reads "n S" and then n pairs "time size". Throws textio::Error for input
// that is malformed, out of range, short, or that announces a negative n or
// a speed below 1. `capacity_hint`, an upper bound on the downloads the input
// can hold, keeps a false header from reserving memory it will never use.
Batch read_batch(textio::IntReader& reader, std::uint64_t capacity_hint);

// Simulates the batch: afterwards every slot holds its completion time.
// Requires speed >= 1.
void simulate(std::int32_t speed, std::vector<Slot>& slots);

// The completion time of every download, in input order, through simulate().
std::vector<double> completion_times(std::int32_t speed, const std::vector<Download>& downloads);

// Enough for any double with 17 digits after the point: 309 integer digits,
// sign, point and fraction.
inline constexpr std::size_t kMaxTimeText = 400;

// Writes `time` in fixed-point notation with 17 digits after the point,
// correctly rounded (ties to even); returns the end of the text.
char* format_time(char* out, double time);

// Writes the completion time of every simulated slot, one per line.
void write_times(const std::vector<Slot>& slots, textio::OutputFile& output);

}  // namespace linkshare
