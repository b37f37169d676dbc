// A deliberately plain transcription of the download simulation, used as the
// reference in the differential tests and as the benchmark baseline: an
// ordered set of (target, id) nodes, the records with an end marker, and
// printf-style formatting. It serves input within the program's limits only.
#pragma once

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace model {

struct File {
  int time;
  int size;
  int id;
};

inline std::vector<double> linkshare_times(int n, int speed, std::vector<File> files) {
  files.push_back({2000000000, 0, n});
  std::set<std::pair<double, int>> active;
  std::vector<double> results(n, 0.0);
  active.insert({static_cast<double>(files[0].size), 0});
  int next = 1;
  int active_count = 1;
  double progress = 0;
  double clock = files[0].time;
  const double s = speed;
  for (;;) {
    if (next >= n && active.empty()) break;
    while (!active.empty() && std::fabs(active.begin()->first - progress) <= 1e-9) {
      results[active.begin()->second] = clock;
      active.erase(active.begin());
      --active_count;
    }
    if (active.empty()) progress = 0;
    if (active.empty()) {
      clock = files[next].time;
      progress = 0;
      if (next < n) {
        active.insert({files[next].size + progress, next});
        ++active_count;
      }
      ++next;
      continue;
    }
    const double target = active.begin()->first;
    const int id = active.begin()->second;
    const double gap = next < n ? files[next].time - clock : 1e18;
    const double rest = target - progress;
    if (gap * s < rest * static_cast<double>(active_count)) {
      const double arrival = files[next].time;
      const double share = s / active_count;
      progress = progress + ((arrival - clock) * share);
      clock = arrival;
      active.insert({files[next].size + progress, next});
      ++active_count;
      ++next;
      continue;
    }
    const double share = s / active_count;
    const double done = (rest / share) + clock;
    active.erase(active.begin());
    results[id] = done;
    --active_count;
    if (active.empty()) {
      clock = done;
      progress = 0;
    } else {
      progress = progress + ((done - clock) * share);
      clock = done;
    }
  }
  return results;
}

inline std::string linkshare_line(double time) {
  char text[400];
  std::snprintf(text, sizeof text, "%.17f\n", time);
  return text;
}

}  // namespace model
