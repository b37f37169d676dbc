// The benchmark baseline for linkshare: the plain model of the differential
// tests as a program, with scanf and printf.
#include <cstdio>
#include <vector>

#include "model/linkshare_model.hpp"

int main() {
  if (std::freopen("downloading.in", "r", stdin) == nullptr) return 1;
  if (std::freopen("downloading.out", "w", stdout) == nullptr) return 1;
  int n = 0;
  int speed = 0;
  if (std::scanf("%d%d", &n, &speed) != 2) return 1;
  std::vector<model::File> files;
  for (int i = 0; i < n; ++i) {
    int time = 0;
    int size = 0;
    if (std::scanf("%d%d", &time, &size) != 2) return 1;
    files.push_back({time, size, i});
  }
  const std::vector<double> results = model::linkshare_times(n, speed, files);
  for (const double time : results) std::printf("%.17f\n", time);
  return 0;
}
