// Generated inputs of every shape and their reference answers, shared by
// the differential tests and the soak.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "leaklevels/leaklevels.hpp"
#include "linkshare/linkshare.hpp"
#include "model/linkshare_model.hpp"
#include "textio/text_sink.hpp"

namespace differential {

// One download as a generated batch holds it.
struct Download {
  std::int32_t time;
  std::int32_t size;
};

inline std::int32_t uniform(std::mt19937_64& random, std::int64_t low, std::int64_t high) {
  return static_cast<std::int32_t>(std::uniform_int_distribution<std::int64_t>(low, high)(random));
}

// A generated batch of downloads: the link speed and the downloads.
struct Batch {
  std::int32_t speed = 1;
  std::vector<Download> downloads;
};

inline Batch generate(std::mt19937_64& random, int max_n, std::int32_t max_speed,
                      const std::function<Download(std::mt19937_64&, int)>& download) {
  Batch batch;
  batch.speed = uniform(random, 1, max_speed);
  const int n = uniform(random, 1, max_n);
  for (int i = 0; i < n; ++i) batch.downloads.push_back(download(random, i));
  return batch;
}

inline Batch sorted_by_time(Batch batch) {
  std::stable_sort(batch.downloads.begin(), batch.downloads.end(),
                   [](const Download& a, const Download& b) { return a.time < b.time; });
  return batch;
}

struct LinkshareShape {
  const char* name;
  int rounds;  // in the unit test
  std::function<Batch(std::mt19937_64&)> make;
};

inline const std::vector<LinkshareShape>& linkshare_shapes() {
  static const std::vector<LinkshareShape> all = {
      {"sorted arrivals", 600,
       [](std::mt19937_64& r) {
         return sorted_by_time(generate(r, 60, 50, [](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 200), uniform(g, 0, 100)};
         }));
       }},
      {"unsorted arrivals, negative values", 600,
       [](std::mt19937_64& r) {
         return generate(r, 40, 1000, [](std::mt19937_64& g, int) {
           return Download{uniform(g, -1000, 1000), uniform(g, -50, 500)};
         });
       }},
      {"equal sizes and times", 600,
       [](std::mt19937_64& r) {
         const std::int32_t time = uniform(r, 0, 5);
         const std::int32_t size = uniform(r, 0, 20);
         return generate(r, 30, 9, [time, size](std::mt19937_64& g, int) {
           return Download{g() % 4 == 0 ? time + 1 : time, size};
         });
       }},
      {"large magnitudes", 600,
       [](std::mt19937_64& r) {
         return sorted_by_time(generate(r, 30, 7, [](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 2000000000), uniform(g, 999999000, 1000000000)};
         }));
       }},
      {"equal large sizes", 600,
       [](std::mt19937_64& r) {
         const std::int32_t size = uniform(r, 100000000, 2147483647);
         return generate(r, 12, 13, [size](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 3), size};
         });
       }},
      {"integer grid: arrivals meet completions", 600,
       [](std::mt19937_64& r) {
         const std::int32_t sizes[] = {0, 1, 2, 3, 4, 6, 12};
         return sorted_by_time(generate(r, 12, 6, [&sizes](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 12), sizes[g() % 7]};
         }));
       }},
      {"thousands in progress", 600,
       [](std::mt19937_64& r) {
         return sorted_by_time(generate(r, 3000, 100, [](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 3000), uniform(g, 0, 400)};
         }));
       }},
      {"thousands, unsorted", 600,
       [](std::mt19937_64& r) {
         return generate(r, 3000, 1000, [](std::mt19937_64& g, int) {
           return Download{uniform(g, -100000, 100000), uniform(g, -1000, 1000000)};
         });
       }},
      {"one long download ahead of thousands", 6,
       [](std::mt19937_64& r) {
         Batch batch = sorted_by_time(generate(r, 12000, 50, [](std::mt19937_64& g, int) {
           return Download{uniform(g, 0, 20000), uniform(g, 0, 40)};
         }));
         batch.downloads.front().size = 2000000000;  // completes after all the others
         return batch;
       }},
      {"sizes falling, all at once", 20,
       [](std::mt19937_64& r) {
         return generate(r, 5000, 1000, [](std::mt19937_64&, int i) {
           return Download{0, 1000000000 - 1000 * i};
         });
       }},
      {"arrivals going back in time", 20,
       [](std::mt19937_64& r) {
         return generate(r, 5000, 100, [](std::mt19937_64& g, int i) {
           return Download{1000000 - 3 * i, uniform(g, 1, 5000)};
         });
       }},
      {"32-bit extremes", 600,
       [](std::mt19937_64& r) {
         const std::int32_t edges[] = {-2147483647 - 1, -2147483647, -1, 0, 1,
                                       2147483646,      2147483647};
         return generate(r, 8, 2147483647, [&edges](std::mt19937_64& g, int) {
           return Download{edges[g() % 7], edges[g() % 7]};
         });
       }},
  };
  return all;
}

// The batch as input text: "n S" and a line per download.
inline std::string input_text(const Batch& batch) {
  std::string text =
      std::to_string(batch.downloads.size()) + " " + std::to_string(batch.speed) + "\n";
  for (const Download& d : batch.downloads) {
    text += std::to_string(d.time) + " " + std::to_string(d.size) + "\n";
  }
  return text;
}

// The text with the platform's line ends as line feeds.
inline std::string with_line_feeds(std::string text) {
  if (textio::kLineEnd == "\n") return text;
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text.compare(at, textio::kLineEnd.size(), textio::kLineEnd) == 0) {
      out += '\n';
      at += textio::kLineEnd.size() - 1;
    } else {
      out += text[at];
    }
  }
  return out;
}

// What linkshare writes for `input`, with line feeds (throws textio::Error
// for bad input).
inline std::string linkshare_output(const std::string& input,
                                    linkshare::Observer* observer = nullptr,
                                    const linkshare::EventList::Limits& limits = {}) {
  textio::IntReader reader("downloading.in", input);
  textio::StringSink output;
  textio::NoProgress quiet;
  linkshare::run(reader, output, quiet, observer, limits);
  return with_line_feeds(output.text());
}

// What the plain model prints for the batch.
inline std::string model_output(const Batch& batch) {
  std::vector<model::File> files;
  for (const Download& d : batch.downloads)
    files.push_back({d.time, d.size, static_cast<int>(files.size())});
  std::string text;
  if (files.empty()) return text;
  for (const double time :
       model::linkshare_times(static_cast<int>(files.size()), batch.speed, files)) {
    text += model::linkshare_line(time);
  }
  return text;
}

// "" when the core prints exactly what the plain model prints, else where
// they first differ.
inline std::string linkshare_mismatch(const Batch& batch) {
  const std::string want = model_output(batch);
  const std::string got = linkshare_output(input_text(batch));
  if (got == want) return "";
  std::size_t line = 0;
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) {
    if (got[at] == '\n') ++line;
    ++at;
  }
  const auto line_at = [](const std::string& text, std::size_t from) {
    const std::size_t begin = text.rfind('\n', from == 0 ? 0 : from - 1);
    const std::size_t start = begin == std::string::npos || from == 0 ? 0 : begin + 1;
    return text.substr(start, text.find('\n', start) - start);
  };
  return "download " + std::to_string(line) + ": " + line_at(got, at) + " expected " +
         line_at(want, at);
}

// --- vases ------------------------------------------------------------------

struct Vase {
  std::int32_t amount;
  std::int32_t loss;
};

struct VaseSet {
  std::int32_t last_step = 0;
  std::vector<Vase> vases;
};

struct VaseShape {
  const char* name;
  int rounds;  // in the unit test
  int max_vases;
  std::int32_t max_step;
  std::int64_t max_amount;
  std::int64_t max_loss;
};

inline const std::vector<VaseShape>& vase_shapes() {
  static const std::vector<VaseShape> all = {
      {"small", 2000, 12, 30, 60, 8},
      {"no loss or no amount", 500, 12, 20, 3, 1},
      {"keys beyond the last step", 500, 20, 10, 1000000, 3},
      {"32-bit extremes", 300, 10, 50, 2147483647, 2147483647},
      {"steps beyond the old table", 20, 3, 1500000, 3000000, 3},
      {"vases beyond the old table", 3, 150000, 40, 100, 10},
  };
  return all;
}

inline VaseSet make_vases(const VaseShape& shape, std::mt19937_64& random) {
  VaseSet set;
  set.vases.resize(static_cast<std::size_t>(uniform(random, 0, shape.max_vases)));
  for (Vase& v : set.vases)
    v = {uniform(random, 0, shape.max_amount), uniform(random, 0, shape.max_loss)};
  set.last_step = uniform(random, -2, shape.max_step);
  return set;
}

inline std::vector<std::int64_t> table_of(const VaseSet& set) {
  leaklevels::LevelTable table(set.last_step);
  for (const Vase& v : set.vases) table.add(v.amount, v.loss);
  std::vector<std::int64_t> levels;
  table.walk([&levels](std::int64_t level) { levels.push_back(level); });
  return levels;
}

// The set as input text: "n t" and a line per vase.
inline std::string input_text(const VaseSet& set) {
  std::string text = std::to_string(set.vases.size()) + " " + std::to_string(set.last_step) + "\n";
  for (const Vase& v : set.vases)
    text += std::to_string(v.amount) + " " + std::to_string(v.loss) + "\n";
  return text;
}

// What leaklevels writes for `input`, with line feeds (throws textio::Error
// for bad input).
inline std::string leaklevels_output(const std::string& input) {
  textio::IntReader reader("vase.in", input);
  textio::StringSink output;
  textio::NoProgress quiet;
  leaklevels::run(reader, output, quiet);
  return with_line_feeds(output.text());
}

// The level at each step straight from its definition.
inline std::vector<std::int64_t> brute_force(const VaseSet& set) {
  std::vector<std::int64_t> levels;
  for (std::int64_t step = 0; step <= std::max<std::int64_t>(set.last_step, 0); ++step) {
    std::int64_t total = 0;
    for (const Vase& v : set.vases)
      total += std::max<std::int64_t>(0, v.amount - std::int64_t{v.loss} * step);
    levels.push_back(total);
  }
  return levels;
}

}  // namespace differential
