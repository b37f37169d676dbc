// A picture of a run, drawn as it goes: over time, the number of downloads
// in progress and, below it on the same time axis, each download as a bar
// from its arrival to its completion, in input order. Above kMostBars
// downloads the bars give way to the number of completions per pixel
// column, and the line to the least and most in progress in each column:
// the memory it takes and the size of the picture stay fixed whatever n is.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "linkshare/linkshare.hpp"
#include "textio/text_sink.hpp"

namespace linkshare {

class Picture final : public Observer {
 public:
  static constexpr std::uint64_t kMostBars = 250;
  static constexpr std::size_t kColumns = 840;  // the plot's width in pixels

  // `input_name` as the user gave it, for the title.
  explicit Picture(std::string input_name) : input_name_(std::move(input_name)) {}

  void begin(std::uint64_t downloads, std::int32_t speed) override;
  void arrived(std::uint32_t id, double time, std::uint64_t in_progress) override;
  void completed(std::uint32_t id, double time, std::uint64_t in_progress) override;

  // Writes the picture: a complete SVG document.
  void draw(textio::TextSink& out) const;

 private:
  // What happened in one column of time.
  struct Column {
    std::uint64_t least = std::numeric_limits<std::uint64_t>::max();  // in progress
    std::uint64_t most = 0;
    std::uint64_t last = 0;  // in progress after the column's last event
    std::uint64_t completions = 0;
    bool used = false;

    void merge(const Column& later);
  };

  // One event, for the exact line of a small run.
  struct Event {
    double time;
    std::uint64_t in_progress;
  };

  void record(double time, std::uint64_t before, std::uint64_t after, bool completion);
  Column& column_at(double time);
  void widen_right();
  void widen_left();

  std::string input_name_;
  std::uint64_t downloads_ = 0;
  std::int32_t speed_ = 1;
  bool detailed_ = false;

  // Facts of the whole run.
  double first_ = std::numeric_limits<double>::infinity();
  double last_ = -std::numeric_limits<double>::infinity();
  std::uint64_t most_in_progress_ = 0;
  std::uint64_t in_progress_ = 0;
  std::uint64_t completed_ = 0;

  // A small run, exactly.
  std::vector<Event> events_;
  std::vector<double> arrivals_;
  std::vector<double> completions_;

  // Any run, by column: columns_[i] covers [origin_ + i * width_, origin_ + (i + 1) * width_).
  std::vector<Column> columns_ = std::vector<Column>(kColumns);
  double origin_ = 0;
  double width_ = 0;  // 0 until the first event
};

}  // namespace linkshare
