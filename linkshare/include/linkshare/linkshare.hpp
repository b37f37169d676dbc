// Completion times of downloads that share one link equally.
//
// The input text holds n and S, the number of downloads and the link's
// capacity per unit of time, then n pairs "time size": each download's
// arrival time and amount of data. While k downloads are in progress each
// receives S / k per unit of time. The output holds, for every download in
// input order, the moment it completes, with 17 digits after the point.
#pragma once

#include <cstdint>

#include "linkshare/event_list.hpp"
#include "textio/int_reader.hpp"
#include "textio/progress.hpp"
#include "textio/text_sink.hpp"

namespace linkshare {

// Something that watches a run: the downloads as they are read and as they
// complete. Drawing a picture of a run is one.
class Observer {
 public:
  virtual ~Observer() = default;
  virtual void begin(std::uint64_t downloads, std::int32_t speed) = 0;
  // Download `id` arrived at `time`; `in_progress` downloads are in progress now.
  virtual void arrived(std::uint32_t id, double time, std::uint64_t in_progress) = 0;
  // Download `id` completed at `time`; `in_progress` are left in progress.
  virtual void completed(std::uint32_t id, double time, std::uint64_t in_progress) = 0;

 protected:
  Observer() = default;
  Observer(const Observer&) = default;
  Observer& operator=(const Observer&) = default;
};

// Reads the downloads from `input`, simulates the link and writes every
// download's completion time to `output`, one line each, in input order.
// Lines are written as soon as every earlier download has completed, so the
// memory a run needs grows with the downloads in progress and with how far
// completions run out of input order, not with n.
//
// Throws textio::Error for input that is malformed, out of range, short, or
// that announces a negative n or a speed below 1 (possibly after some lines
// were written: the caller decides what becomes of them). `limits` tune the
// list of downloads in progress; tests and fuzzers make them small, so that
// small inputs reach every path of it.
void run(textio::IntReader& input, textio::TextSink& output, textio::Progress& meter,
         Observer* observer = nullptr, const EventList::Limits& limits = EventList::Limits{});

}  // namespace linkshare
