// Speed of the random-number subsystem: uniforms per second, and binomial variates per second
// for the inversion and BTPE methods in calls of 80000 variates, as the null simulation draws
// them. Each figure is the best of three runs, since the machine is shared.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <vector>

#include "errors/error_service.hpp"
#include "random/binomial.hpp"
#include "random/clock.hpp"
#include "random/uniform_stream.hpp"

namespace {

using oskev::random::BinomialSetup;
using oskev::random::FixedClock;
using oskev::random::UniformStream;

constexpr std::int32_t kPerCall = 80000;

// Keeps the optimiser from discarding results.
volatile std::int64_t sink = 0;

template <typename Work>
double best_seconds(Work work) {
  double best = 1e300;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

struct Bench {
  std::ostringstream console;
  oskev::errors::ErrorService errors{console};
  FixedClock clock{oskev::random::TimeOfDay{12, 0, 0}};
  UniformStream stream{errors, clock};
  BinomialSetup setup;
  std::vector<std::int32_t> ir = std::vector<std::int32_t>(kPerCall);

  Bench() { stream.SEEDSET(1); }

  void uniforms() {
    constexpr std::int64_t kCount = 50'000'000;
    const double t = best_seconds([&] {
      float sum = 0.0f;
      for (std::int64_t i = 0; i < kCount; ++i) sum += stream.RNUNONE();
      sink = sink + static_cast<std::int64_t>(sum);
    });
    std::printf("RNUNONE                              %7.1f M uniforms/s\n", kCount / t / 1e6);

    std::vector<float> r(kPerCall);
    constexpr int kCalls = 500;
    const double t2 = best_seconds([&] {
      for (int c = 0; c < kCalls; ++c) stream.RNUN(kPerCall, r.data());
      sink = sink + static_cast<std::int64_t>(r[0] * 1000);
    });
    std::printf("RNUN, 80000 a call                   %7.1f M uniforms/s\n",
                kCalls * double{kPerCall} / t2 / 1e6);
  }

  void binomial(const char* label, std::int32_t n, float p) {
    constexpr int kCalls = 50;
    const double t = best_seconds([&] {
      for (int c = 0; c < kCalls; ++c) {
        oskev::random::RNBIN(kPerCall, n, p, ir.data(), stream, setup, errors);
        sink = sink + ir[static_cast<std::size_t>(c)];
      }
    });
    const double variates = kCalls * double{kPerCall};
    std::printf("%-18s N=%4d P=%.2f %7.1f M variates/s (%5.1f ns each)\n", label, n,
                static_cast<double>(p), variates / t / 1e6, t / variates * 1e9);
  }

  // One variate a call with a new P every call, as the random-prevalence option draws.
  void single_calls() {
    constexpr int kCalls = 1'000'000;
    const double t = best_seconds([&] {
      std::int32_t x = 0;
      for (int c = 0; c < kCalls; ++c) {
        const float p = 0.2f + 0.1f * static_cast<float>(c % 1000) / 1000.0f;
        oskev::random::RNBIN(1, 200, p, &x, stream, setup, errors);
        sink = sink + x;
      }
    });
    std::printf("RNBIN, 1 a call, new P each (N=200)  %7.1f M calls/s    (%5.1f ns each)\n",
                kCalls / t / 1e6, t / kCalls * 1e9);
  }

  // The simulation's workload: 16 million variates, 80000 a call (200 calls), arm sizes 50 to
  // 500 and event rates 5% to 40%, both methods.
  void workload() {
    const std::int32_t sizes[] = {50, 100, 200, 300, 500};
    const float rates[] = {0.05f, 0.10f, 0.20f, 0.30f, 0.40f};
    const double t = best_seconds([&] {
      for (int round = 0; round < 8; ++round) {
        for (std::int32_t n : sizes) {
          for (float p : rates) {
            oskev::random::RNBIN(kPerCall, n, p, ir.data(), stream, setup, errors);
            sink = sink + ir[0];
          }
        }
      }
    });
    std::printf("workload: 16M variates (N 50-500, P 5%%-40%%, 80000 a call) in %.3f s\n", t);
  }
};

}  // namespace

int main() {
  Bench bench;
  bench.uniforms();
  bench.binomial("inversion", 50, 0.05f);
  bench.binomial("inversion", 100, 0.10f);
  bench.binomial("BTPE", 50, 0.30f);
  bench.binomial("BTPE", 200, 0.20f);
  bench.binomial("BTPE", 500, 0.40f);
  bench.binomial("BTPE, mirrored", 500, 0.60f);
  bench.single_calls();
  bench.workload();
  return 0;
}
