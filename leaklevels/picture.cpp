#include "leaklevels/picture.hpp"

#include "textio/svg.hpp"

namespace leaklevels {

namespace svg = textio::svg;

void Picture::draw(textio::TextSink& out) const {
  std::int64_t highest = 0;
  std::int64_t lowest = 0;
  bool any = false;
  for (const Column& column : columns_) {
    if (column.most < column.least) continue;
    highest = any ? std::max(highest, column.most) : column.most;
    lowest = any ? std::min(lowest, column.least) : column.least;
    any = true;
  }
  const std::string title = "leaklevels: " + input_name_ + " (" + svg::grouped(vases_) +
                            (vases_ == 1 ? " vase" : " vases") + ", steps 0 to " +
                            svg::grouped(static_cast<std::uint64_t>(last_step_)) + ")";
  const bool marked = dry_step_count_ > 0 && dry_step_count_ <= kMostMarks;
  std::string description =
      "The total level at every step, from " + std::to_string(first_level_) + " at step 0 to " +
      std::to_string(last_level_) + " at step " + std::to_string(last_step_) + "; " +
      (columns_.size() < steps_ ? "each column shows the least and the most level of its steps; "
                                : "") +
      svg::grouped(dry_step_count_) + " steps at which a vase runs dry" +
      (marked                ? ", marked in red."
       : dry_step_count_ > 0 ? ", too many to mark."
                             : ".");
  svg::Document doc(title,
                    {{"steps", std::to_string(steps_)},
                     {"vases", std::to_string(vases_)},
                     {"first-level", std::to_string(first_level_)},
                     {"last-level", std::to_string(last_level_)},
                     {"highest-level", std::to_string(highest)},
                     {"lowest-level", std::to_string(lowest)},
                     {"dry-steps", std::to_string(dry_step_count_)}},
                    description);

  const svg::Panel panel{95, 50, 840, 410};
  const svg::Scale x = svg::Scale::of(0, static_cast<double>(last_step_), panel.left, panel.right())
                           .padded(0.02, 0.02);
  const svg::Scale y = svg::Scale::of(std::min<double>(0, static_cast<double>(lowest)),
                                      static_cast<double>(std::max<std::int64_t>(highest, 1)),
                                      panel.bottom(), panel.top)
                           .padded(0, 0.08);
  doc.axes(panel, x, y, "step", "total level", true);

  if (marked) {
    for (const std::int64_t step : dry_steps_) {
      const double at = x(static_cast<double>(step));
      doc.line(at, panel.top, at, panel.bottom(), svg::kMarks, 2, "dry-step", "3 6");
    }
  }
  if (columns_.size() == steps_) {  // one column a step: the exact line
    std::vector<std::pair<double, double>> points;
    for (std::size_t step = 0; step < columns_.size(); ++step) {
      points.emplace_back(x(static_cast<double>(step)),
                          y(static_cast<double>(columns_[step].most)));
    }
    if (points.size() == 1) points.emplace_back(points.front().first + 1, points.front().second);
    doc.path(points, svg::kLine, "level", 2);
  } else {  // the least and the most of each column's steps
    for (std::size_t column = 0; column < columns_.size(); ++column) {
      const double from = x(static_cast<double>(start_of(column)));
      const double to = x(static_cast<double>(start_of(column + 1)));
      const double top = y(static_cast<double>(columns_[column].most));
      const double bottom = y(static_cast<double>(columns_[column].least));
      doc.rect(from, top, std::max(to - from, 1.0), std::max(bottom - top, 1.5), svg::kLine,
               "level");
    }
  }
  doc.text(panel.right(), panel.top - 8,
           marked ? "red: the steps at which a vase runs dry"
           : dry_step_count_ > 0
               ? svg::grouped(dry_step_count_) + " steps at which a vase runs dry: too many to mark"
               : "no vase runs dry in these steps",
           11, "end");
  doc.finish(out);
}

}  // namespace leaklevels
