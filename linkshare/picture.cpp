#include "linkshare/picture.hpp"

#include <algorithm>
#include <cmath>

#include "textio/svg.hpp"

namespace linkshare {

namespace svg = textio::svg;

void Picture::Column::merge(const Column& later) {
  if (!later.used) return;
  least = std::min(least, later.least);
  most = std::max(most, later.most);
  last = later.last;
  completions += later.completions;
  used = true;
}

void Picture::begin(std::uint64_t downloads, std::int32_t speed) {
  downloads_ = downloads;
  speed_ = speed;
  detailed_ = downloads <= kMostBars;
}

void Picture::arrived(std::uint32_t id, double time, std::uint64_t in_progress) {
  if (detailed_) {
    arrivals_.resize(std::max<std::size_t>(arrivals_.size(), id + std::size_t{1}), time);
    arrivals_[id] = time;
  }
  record(time, in_progress - 1, in_progress, false);
}

void Picture::completed(std::uint32_t id, double time, std::uint64_t in_progress) {
  if (detailed_) {
    completions_.resize(std::max<std::size_t>(completions_.size(), id + std::size_t{1}), time);
    completions_[id] = time;
  }
  ++completed_;
  record(time, in_progress + 1, in_progress, true);
}

void Picture::record(double time, std::uint64_t before, std::uint64_t after, bool completion) {
  first_ = std::min(first_, time);
  last_ = std::max(last_, time);
  most_in_progress_ = std::max(most_in_progress_, after);
  in_progress_ = after;
  if (detailed_) events_.push_back({time, after});
  Column& column = column_at(time);
  // The count before the event held up to it, inside this column too.
  column.least = std::min({column.least, before, after});
  column.most = std::max({column.most, before, after});
  column.last = after;
  if (completion) ++column.completions;
  column.used = true;
}

Picture::Column& Picture::column_at(double time) {
  if (width_ == 0) {
    // A narrow start, widened as events fall outside: the columns end up
    // as wide as the run needs, at most twice that.
    origin_ = time;
    width_ = std::max(std::abs(time), 1.0) * 1e-12;
  }
  for (;;) {
    const double index = std::floor((time - origin_) / width_);
    if (index < 0) {
      widen_left();
    } else if (index >= static_cast<double>(kColumns)) {
      widen_right();
    } else {
      return columns_[static_cast<std::size_t>(index)];
    }
  }
}

// Twice as wide, same origin: columns 2i and 2i + 1 become column i.
void Picture::widen_right() {
  std::vector<Column> wider(kColumns);
  for (std::size_t i = 0; i < kColumns; ++i) wider[i / 2].merge(columns_[i]);
  columns_.swap(wider);
  width_ *= 2;
}

// Twice as wide, reaching as far to the left as the columns did to the
// right: column i becomes column (kColumns + i) / 2.
void Picture::widen_left() {
  std::vector<Column> wider(kColumns);
  for (std::size_t i = 0; i < kColumns; ++i) wider[(kColumns + i) / 2].merge(columns_[i]);
  columns_.swap(wider);
  origin_ -= width_ * static_cast<double>(kColumns);
  width_ *= 2;
}

void Picture::draw(textio::TextSink& out) const {
  const bool any = last_ >= first_;
  const double first = any ? first_ : 0;
  const double last = any ? last_ : 1;
  const std::string title = "linkshare: " + input_name_ + " (" + svg::grouped(downloads_) +
                            (downloads_ == 1 ? " download" : " downloads") + ", link speed " +
                            svg::grouped(static_cast<std::uint64_t>(speed_)) + ")";
  std::string description = "The number of downloads in progress over time, at most " +
                            svg::grouped(most_in_progress_) + ", from the first event at " +
                            svg::exact(first) + " to the last at " + svg::exact(last) + "; below, ";
  description += detailed_
                     ? "each download as a bar from its arrival to its completion, in input order."
                     : "the number of downloads completed in each column of " + svg::exact(width_) +
                           " time units.";
  svg::Document doc(title,
                    {{"downloads", std::to_string(downloads_)},
                     {"completed", std::to_string(completed_)},
                     {"most-in-progress", std::to_string(most_in_progress_)},
                     {"first-time", svg::exact(first)},
                     {"last-time", svg::exact(last)}},
                    description);

  const svg::Panel top{95, 50, 840, 190};
  const svg::Panel bottom{95, 285, 840, 185};
  const svg::Scale x = svg::Scale::of(first, last, top.left, top.right()).padded(0.02, 0.02);
  const svg::Scale count =
      svg::Scale::of(0, static_cast<double>(std::max<std::uint64_t>(most_in_progress_, 1)),
                     top.bottom(), top.top)
          .padded(0, 0.08);
  doc.axes(top, x, count, "", "downloads in progress", false);

  if (detailed_) {
    // The exact step line: level, then up or down at each event.
    std::vector<std::pair<double, double>> points;
    double previous = 0;
    for (const Event& event : events_) {
      points.emplace_back(x(event.time), count(previous));
      previous = static_cast<double>(event.in_progress);
      points.emplace_back(x(event.time), count(previous));
    }
    doc.path(points, svg::kLine, "in-progress");

    const double n = static_cast<double>(std::max<std::uint64_t>(downloads_, 1));
    const svg::Scale row{0, n, bottom.top, bottom.bottom()};
    doc.axes(bottom, x, row, "time", "download (input order)", true);
    for (std::size_t id = 0; id < completions_.size() && id < arrivals_.size(); ++id) {
      const double from = x(std::min(arrivals_[id], completions_[id]));
      const double to = x(std::max(arrivals_[id], completions_[id]));
      const double height =
          std::max(0.6, (row(static_cast<double>(id) + 1) - row(static_cast<double>(id))) * 0.75);
      doc.rect(from, row(static_cast<double>(id)), std::max(to - from, 1.0), height, svg::kBars,
               "download");
    }
  } else {
    // Per column: the least and the most in progress, as a band; between
    // columns with events the count stays where the last event left it.
    std::uint64_t most_completions = 1;
    for (const Column& column : columns_)
      most_completions = std::max(most_completions, column.completions);
    const svg::Scale completions =
        svg::Scale::of(0, static_cast<double>(most_completions), bottom.bottom(), bottom.top)
            .padded(0, 0.08);
    doc.axes(bottom, x, completions, "time",
             "completed per " + svg::tick_label(width_, width_ / 10) + " time", true);
    std::size_t last_used = 0;
    for (std::size_t i = 0; i < kColumns; ++i) {
      if (columns_[i].used) last_used = i;
    }
    bool started = false;
    std::uint64_t carried = 0;
    for (std::size_t i = 0; i < kColumns; ++i) {
      const Column& column = columns_[i];
      const double from = x(origin_ + width_ * static_cast<double>(i));
      const double width = std::max(x(origin_ + width_ * static_cast<double>(i + 1)) - from, 1.0);
      if (column.used) {
        const double high = count(static_cast<double>(column.most));
        const double low = count(static_cast<double>(column.least));
        doc.rect(from, high, width, std::max(low - high, 1.0), svg::kLine, "in-progress");
        if (column.completions > 0) {
          const double height = completions(static_cast<double>(column.completions));
          doc.rect(from, height, width, bottom.bottom() - height, svg::kColumns, "completions");
        }
        started = true;
        carried = column.last;
      } else if (started && i < last_used) {
        doc.rect(from, count(static_cast<double>(carried)) - 0.5, width, 1, svg::kLine,
                 "in-progress");
      }
    }
  }
  doc.finish(out);
}

}  // namespace linkshare
