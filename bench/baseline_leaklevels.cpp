// The benchmark baseline for leaklevels: the plain algorithm with a list of
// vases per step, scanf and printf. Input within 100,000 vases and
// t <= 1,000,000 only.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
int amount[100000];
int loss[100000];
std::vector<int> by_key[1000001];
}  // namespace

int main() {
  if (std::freopen("vase.in", "r", stdin) == nullptr) return 1;
  if (std::freopen("vase.out", "w", stdout) == nullptr) return 1;
  int n = 0;
  int t = 0;
  if (std::scanf("%d%d", &n, &t) != 2) return 1;
  for (int i = 0; i < n; ++i) {
    if (std::scanf("%d%d", &amount[i], &loss[i]) != 2) return 1;
  }
  std::int64_t level = 0;
  std::int64_t rate = 0;
  for (int i = 0; i < n; ++i) {
    if (loss[i] != 0 && amount[i] / loss[i] <= t) by_key[amount[i] / loss[i]].push_back(i);
    level += amount[i];
    rate += loss[i];
  }
  std::printf("%lld\n", static_cast<long long>(level));
  for (int s = 0; s < t; ++s) {
    for (const int i : by_key[s]) {
      rate -= loss[i];
      level -= amount[i] % loss[i];
    }
    level -= rate;
    std::printf("%lld\n", static_cast<long long>(level));
  }
  return 0;
}
