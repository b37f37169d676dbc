// Small, self-contained SVG pictures for both programs: a document with a
// title, panels framed by axes with round tick values, and the shapes the
// pictures are drawn with. No scripts, no fonts or files from elsewhere: a
// generic font family and plain elements, so that any browser shows it.
// Every number written is finite and rounded to a hundredth of a pixel.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text_sink.hpp"

namespace textio::svg {

inline constexpr double kWidth = 960;
inline constexpr double kHeight = 540;

// Colours of the pictures, also what a test looks for in a rendering.
inline constexpr const char* kInk = "#222222";
inline constexpr const char* kGrid = "#e3e3e3";
inline constexpr const char* kLine = "#1f77b4";     // a quantity over time
inline constexpr const char* kBars = "#ff7f0e";     // one bar per item
inline constexpr const char* kColumns = "#2ca02c";  // a count per column
inline constexpr const char* kMarks = "#d62728";    // marked moments

// Text with the characters XML gives meaning to escaped.
inline std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        // Control characters have no place in XML 1.0 text.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

// A coordinate: rounded to a hundredth, never NaN or infinite.
inline std::string px(double value) {
  if (!std::isfinite(value)) value = 0;
  value = std::round(value * 100) / 100;
  if (value == 0) value = 0;  // no "-0"
  char text[64];
  return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

// The shortest text of a value: for facts in the picture's description.
inline std::string exact(double value) {
  char text[64];
  return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

// "1,234,567": for counts a person reads.
inline std::string grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

// Round tick values that cover [low, high]: steps of 1, 2 or 5 times a power
// of ten, about `count` of them.
struct Ticks {
  double step = 1;
  std::vector<double> values;
};

inline Ticks round_ticks(double low, double high, int count) {
  Ticks ticks;
  const double span = high - low;
  if (!(span > 0) || !std::isfinite(span)) {
    ticks.values.push_back(low);
    return ticks;
  }
  const double rough = span / std::max(count, 1);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  const double fraction = rough / power;
  ticks.step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * power;
  const double first = std::ceil(low / ticks.step - 1e-9) * ticks.step;
  for (double value = first; value <= high + ticks.step * 1e-9 && ticks.values.size() < 50;
       value = first + ticks.step * static_cast<double>(ticks.values.size())) {
    ticks.values.push_back(std::abs(value) < ticks.step * 1e-9 ? 0.0 : value);
  }
  return ticks;
}

// A tick's label: as many decimals as the step needs, digits grouped.
inline std::string tick_label(double value, double step) {
  int decimals = 0;
  for (double unit = 1; unit > step * 1.000001 && decimals < 12; unit /= 10) ++decimals;
  if (std::abs(value) >= 1e15) {
    char text[64];
    return {text,
            std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 2).ptr};
  }
  char text[64];
  std::string label(
      text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr);
  // Groups of three in the whole part.
  const std::size_t sign = label[0] == '-' ? 1 : 0;
  std::size_t point = label.find('.');
  if (point == std::string::npos) point = label.size();
  for (std::size_t at = point; at > sign + 3; at -= 3) label.insert(at - 3, ",");
  return label;
}

// A mapping of values onto pixels along one direction.
struct Scale {
  double low = 0;
  double high = 1;
  double from = 0;  // the pixel of `low`
  double to = 1;    // the pixel of `high`

  // Widens a span of nothing, so that a single value sits in the middle.
  static Scale of(double low, double high, double from, double to) {
    if (!(high > low)) {
      const double pad = std::max(1.0, std::abs(low) * 1e-6);
      low -= pad;
      high += pad;
    }
    return {low, high, from, to};
  }
  // The same, with room of `fraction` of the span before and after the
  // values, so that nothing is drawn on the frame.
  Scale padded(double before, double after) const {
    const double span = high - low;
    return {low - span * before, high + span * after, from, to};
  }
  double operator()(double value) const {
    const double at = from + (value - low) / (high - low) * (to - from);
    return std::clamp(at, std::min(from, to), std::max(from, to));
  }
};

// A rectangle of the picture where one panel is drawn.
struct Panel {
  double left;
  double top;
  double width;
  double height;
  double right() const { return left + width; }
  double bottom() const { return top + height; }
};

// The power of ten, a multiple of three, that tick values over ten million
// are shown in; 0 for smaller ones.
inline int shared_power(const Ticks& ticks) {
  double largest = 0;
  for (const double value : ticks.values) largest = std::max(largest, std::abs(value));
  if (largest < 1e7) return 0;
  return static_cast<int>(std::floor(std::log10(largest) / 3)) * 3;
}

// " (× 10¹²)" for a power of 12, nothing for 0.
inline std::string times_power(int power) {
  if (power == 0) return "";
  static const char* const superscripts[] = {"\u2070", "\u00b9", "\u00b2", "\u00b3", "\u2074",
                                             "\u2075", "\u2076", "\u2077", "\u2078", "\u2079"};
  std::string digits;
  for (const char digit : std::to_string(power)) digits += superscripts[digit - '0'];
  return " (\u00d7 10" + digits + ")";
}

class Document {
 public:
  // `facts`: data attributes on the root, name and value, for whoever reads
  // the picture by program.
  Document(const std::string& title, const std::vector<std::pair<std::string, std::string>>& facts,
           const std::string& description) {
    out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(kWidth) + "\" height=\"" +
            px(kHeight) + "\" viewBox=\"0 0 " + px(kWidth) + " " + px(kHeight) + "\"";
    for (const auto& [name, value] : facts) out_ += " data-" + name + "=\"" + escaped(value) + "\"";
    out_ += " font-family=\"sans-serif\">\n";
    out_ += "<title>" + escaped(title) + "</title>\n";
    out_ += "<desc>" + escaped(description) + "</desc>\n";
    out_ += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    text(kWidth / 2, 28, title, 17, "middle", "bold");
  }

  void rect(double x, double y, double width, double height, const char* fill,
            const char* role = nullptr) {
    out_ += "<rect x=\"" + px(x) + "\" y=\"" + px(y) + "\" width=\"" + px(std::max(width, 0.0)) +
            "\" height=\"" + px(std::max(height, 0.0)) + "\" fill=\"" + fill + "\"";
    if (role != nullptr) out_ += std::string(" data-role=\"") + role + "\"";
    out_ += "/>\n";
  }

  void line(double x1, double y1, double x2, double y2, const char* stroke, double width = 1,
            const char* role = nullptr, const char* dashes = nullptr) {
    out_ += "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" +
            px(y2) + "\" stroke=\"" + stroke + "\" stroke-width=\"" + px(width) + "\"";
    if (dashes != nullptr) out_ += std::string(" stroke-dasharray=\"") + dashes + "\"";
    if (role != nullptr) out_ += std::string(" data-role=\"") + role + "\"";
    out_ += "/>\n";
  }

  // A path of straight segments through the points, given as "x,y" pairs.
  void path(const std::vector<std::pair<double, double>>& points, const char* stroke,
            const char* role, double width = 1.5) {
    if (points.empty()) return;
    out_ += "<path fill=\"none\" stroke=\"" + std::string(stroke) + "\" stroke-width=\"" +
            px(width) + "\" stroke-linejoin=\"round\" data-role=\"" + role + "\" d=\"";
    char command = 'M';
    for (const auto& [x, y] : points) {
      out_ += command;
      out_ += px(x) + "," + px(y);
      command = 'L';
    }
    out_ += "\"/>\n";
  }

  void text(double x, double y, std::string_view content, double size, const char* anchor = "start",
            const char* weight = "normal", double rotate = 0) {
    out_ += "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" font-size=\"" + px(size) +
            "\" text-anchor=\"" + anchor + "\" font-weight=\"" + weight + "\" fill=\"" + kInk +
            "\"";
    if (rotate != 0)
      out_ += " transform=\"rotate(" + px(rotate) + " " + px(x) + " " + px(y) + ")\"";
    out_ += ">" + escaped(content) + "</text>\n";
  }

  // The panel's frame, grid and tick labels; `x_label` under it if given,
  // `y_label` beside it. Large tick values are shown in thousands, millions
  // and so on, the power of ten added to the label ("× 10¹²").
  void axes(const Panel& panel, const Scale& x, const Scale& y, const std::string& x_label,
            const std::string& y_label, bool x_ticks_labelled) {
    const Ticks x_ticks = round_ticks(x.low, x.high, 8);
    const Ticks y_ticks = round_ticks(y.low, y.high, 5);
    const int x_power = shared_power(x_ticks);
    const int y_power = shared_power(y_ticks);
    for (const double value : x_ticks.values) {
      const double at = x(value);
      line(at, panel.top, at, panel.bottom(), kGrid);
      line(at, panel.bottom(), at, panel.bottom() + 4, kInk);
      if (x_ticks_labelled) {
        text(at, panel.bottom() + 17,
             tick_label(value / std::pow(10.0, x_power), x_ticks.step / std::pow(10.0, x_power)),
             11, "middle");
      }
    }
    for (const double value : y_ticks.values) {
      const double at = y(value);
      line(panel.left, at, panel.right(), at, kGrid);
      line(panel.left - 4, at, panel.left, at, kInk);
      text(panel.left - 7, at + 4,
           tick_label(value / std::pow(10.0, y_power), y_ticks.step / std::pow(10.0, y_power)), 11,
           "end");
    }
    out_ += "<rect x=\"" + px(panel.left) + "\" y=\"" + px(panel.top) + "\" width=\"" +
            px(panel.width) + "\" height=\"" + px(panel.height) + "\" fill=\"none\" stroke=\"" +
            kInk + "\" data-role=\"frame\"/>\n";
    if (!x_label.empty()) {
      text(panel.left + panel.width / 2, panel.bottom() + 36, x_label + times_power(x_power), 13,
           "middle");
    }
    text(panel.left - 62, panel.top + panel.height / 2, y_label + times_power(y_power), 13,
         "middle", "normal", -90);
  }

  // The document, complete.
  void finish(TextSink& sink) {
    out_ += "</svg>\n";
    sink.write(out_);
  }

 private:
  std::string out_;
};

}  // namespace textio::svg
