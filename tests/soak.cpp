// The differential checks on a large number of generated inputs of every
// shape, on all cores: linkshare's core against the plain model, and the
// level table against the sum over vases. Not part of the test suite: run
//   cmake --build --preset test --target soak && build/test/tests/soak [inputs] [threads]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "differential.hpp"

namespace {

struct Tally {
  const char* name;
  std::atomic<long long> inputs{0};
  std::atomic<long long> units{0};  // downloads or lines checked
  std::atomic<long long> failures{0};
};

}  // namespace

int main(int argc, char** argv) {
  const long long total = argc > 1 ? std::atoll(argv[1]) : 1000000;
  const unsigned threads = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2]))
                                    : std::max(1u, std::thread::hardware_concurrency());
  const auto& downloads = differential::linkshare_shapes();
  const auto& vases = differential::vase_shapes();
  // Every shape gets an equal share of the inputs, except that the shapes
  // whose single input costs a thousand small ones get a hundredth.
  std::vector<Tally> tallies(downloads.size() + vases.size());
  std::vector<std::string> names;
  std::vector<int> weight;
  for (std::size_t i = 0; i < downloads.size(); ++i) {
    names.push_back(std::string("linkshare: ") + downloads[i].name);
    const bool heavy =
        std::string(downloads[i].name).rfind("thousands", 0) == 0 || downloads[i].rounds < 600;
    weight.push_back(heavy ? 10 : 1000);
  }
  for (std::size_t i = 0; i < vases.size(); ++i) {
    names.push_back(std::string("leaklevels: ") + vases[i].name);
    weight.push_back(vases[i].rounds >= 300 ? 1000 : 10);
  }
  for (std::size_t i = 0; i < tallies.size(); ++i) tallies[i].name = names[i].c_str();
  std::vector<int> schedule;  // shape of input k is schedule[k % size]
  for (std::size_t shape = 0; shape < weight.size(); ++shape) {
    for (int w = 0; w < weight[shape]; ++w) schedule.push_back(static_cast<int>(shape));
  }

  std::mutex report;
  std::atomic<long long> next{0};
  const auto start = std::chrono::steady_clock::now();
  const auto work = [&] {
    for (long long k; (k = next.fetch_add(1)) < total;) {
      std::mt19937_64 random(static_cast<std::uint64_t>(k) * 0x9e3779b97f4a7c15u + 1);
      const auto shape =
          static_cast<std::size_t>(schedule[static_cast<std::size_t>(k) % schedule.size()]);
      Tally& tally = tallies[shape];
      std::string mismatch;
      if (shape < downloads.size()) {
        const differential::Batch batch = downloads[shape].make(random);
        mismatch = differential::linkshare_mismatch(batch);
        tally.units += static_cast<long long>(batch.downloads.size());
      } else {
        const differential::VaseSet set =
            differential::make_vases(vases[shape - downloads.size()], random);
        const auto got = differential::table_of(set);
        if (got != differential::brute_force(set)) mismatch = "the tables differ";
        tally.units += static_cast<long long>(got.size());
      }
      ++tally.inputs;
      if (!mismatch.empty()) {
        ++tally.failures;
        const std::lock_guard<std::mutex> lock(report);
        std::printf("FAILED: %s, input %lld: %s\n", tally.name, k, mismatch.c_str());
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);
  for (std::thread& thread : pool) thread.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  long long inputs = 0;
  long long failures = 0;
  std::printf("%-54s %12s %14s %9s\n", "shape", "inputs", "checked", "failures");
  for (const Tally& tally : tallies) {
    std::printf("%-54s %12lld %14lld %9lld\n", tally.name, tally.inputs.load(), tally.units.load(),
                tally.failures.load());
    inputs += tally.inputs;
    failures += tally.failures;
  }
  std::printf("%lld inputs on %u threads in %.1f s: %lld passed, %lld failed\n", inputs, threads,
              seconds, inputs - failures, failures);
  return failures == 0 ? 0 : 1;
}
