#include <algorithm>
#include <cmath>

#include "analysis/draw_pool.hpp"
#include "analysis/simulated_tables.hpp"

namespace oskev::analysis {

namespace {

constexpr std::size_t kBlock = 2048;
struct NoState {};

// Runs first ... first + count - 1. Within a run the studies are always summed in order;
// taking the runs a block at a time reads each study's counts in order.
void block_statistics(const std::vector<SimulatedStudy>& studies, std::size_t first, std::size_t count,
                      float* qsim) {
  std::array<float, kBlock> sumas{}, sumcs{}, log_rrmhs{};
  for (const SimulatedStudy& study : studies) {
    for (std::size_t b = 0; b < count; ++b) {
      const SimulatedTable t = study.table(first + b);
      const double ntots = std::trunc(double{t.s1} + t.s2);
      sumas[b] = static_cast<float>(sumas[b] + double{t.a} * t.s2 / ntots);
      sumcs[b] = static_cast<float>(sumcs[b] + double{t.c} * t.s1 / ntots);
    }
  }
  for (std::size_t b = 0; b < count; ++b) {
    const float rrmhs = static_cast<float>(double{sumas[b]} / sumcs[b]);
    // Here the summary's logarithm is rounded to single precision, the study's is not.
    log_rrmhs[b] = static_cast<float>(std::log(double{rrmhs}));
    qsim[b] = 0.0f;
  }
  for (const SimulatedStudy& study : studies) {
    for (std::size_t b = 0; b < count; ++b) {
      const SimulatedTable t = study.table(first + b);
      const float rrsim = static_cast<float>((double{t.a} * t.s2) / (double{t.s1} * t.c));
      const float vlogrs = static_cast<float>(1.0 / t.c + 1.0 / t.a - 1.0 / t.s1 - 1.0 / t.s2);
      const float weights = static_cast<float>(1.0 / vlogrs);
      const double d = std::log(double{rrsim}) - log_rrmhs[b];
      const float d_single = static_cast<float>(d);
      qsim[b] = static_cast<float>(qsim[b] + double{d_single} * d * weights);
    }
  }
}

}  // namespace

std::vector<float> run_statistics(const std::vector<SimulatedStudy>& studies, std::size_t runs) {
  std::vector<float> qsim(runs, 0.0f);
  const std::size_t blocks = (runs + kBlock - 1) / kBlock;
  parallel_for<NoState>(blocks, [&](NoState&, std::size_t block) {
    const std::size_t first = block * kBlock;
    block_statistics(studies, first, std::min(kBlock, runs - first), qsim.data() + first);
  });
  return qsim;
}

}  // namespace oskev::analysis
