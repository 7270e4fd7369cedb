#include "analysis/simulation/fixed_prevalence.hpp"

#include <tuple>

#include "analysis/simulation/run_statistics.hpp"
#include "analysis/simulation/simulated_tables.hpp"
#include "random/draw_pool.hpp"

namespace oskev::analysis {

namespace {

// One arm's draw: GETBIN (n, p, ·, NRUNS, seed), made a slice at a time.
struct ArmDraw {
  std::int32_t n;
  float p;
  std::int32_t state;  // the seed, then where the arm's stream stands after each slice
};

// The draws in the program's order: for each study, arm 1 then arm 2, each from a GETUNI value.
std::vector<ArmDraw> describe_draws(const StudyTable& table, float rrmh, std::int32_t runs, Generators& generators,
                                    errors::ErrorService& errors) {
  std::vector<ArmDraw> draws;
  draws.reserve(2 * table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const float parm2 = static_cast<float>((double{c[kEvents1]} + c[kEvents2]) /
                                           (double{rrmh} * c[kSubjects1] + c[kSubjects2]));
    const float parm1 = static_cast<float>(double{rrmh} * parm2);
    for (const auto& [arm, n, p] : {std::tuple{1, raw[kSubjects1], parm1}, std::tuple{2, raw[kSubjects2], parm2}}) {
      const std::int32_t seed = generators.next_seed();
      check_draw(n, p, runs, seed, {i, arm, -1, rrmh}, errors);
      generators.note_GETBIN(n, p, runs, seed);
      draws.push_back({n, p, seed});
    }
  }
  return draws;
}

}  // namespace

void simulate_fixed_prevalence(const StudyTable& table, float rrmh, std::int32_t runs, Generators& generators,
                               errors::ErrorService& errors, const std::vector<std::size_t>& bounds, bool spread,
                               const SliceSink& sink) {
  std::vector<ArmDraw> draws = describe_draws(table, rrmh, runs, generators, errors);
  std::vector<SimulatedStudy> studies(table.size());
  for (std::size_t s = 0; s + 1 < bounds.size(); ++s) {
    const std::size_t slice = bounds[s + 1] - bounds[s];
    for (std::size_t i = 0; i < table.size(); ++i) {
      studies[i].prepare(table.NCOUNT[i], slice, double{0.5f}, double{0.1f}, 1.0, double{0.2f});
    }
    {
      random::DrawPipeline<random::DrawWorker> executor(spread && random::worth_spreading(slice * table.size()));
      for (std::size_t j = 0; j < draws.size(); ++j) {
        executor.submit([&draws, &studies, j, slice](random::DrawWorker& worker) {
          ArmDraw& draw = draws[j];
          std::vector<std::int32_t> variates(slice);
          draw.state =
              worker.draw(draw.n, draw.p, variates.data(), static_cast<std::int32_t>(slice), draw.state);
          CountColumn& column = j % 2 == 0 ? studies[j / 2].arm1 : studies[j / 2].arm2;
          for (std::size_t k = 0; k < slice; ++k) column.set(k, variates[k]);
        });
      }
      executor.finish();
    }
    const std::vector<float> qsim = run_statistics(studies, slice, spread);
    if (!sink(bounds[s], qsim)) return;
  }
}

}  // namespace oskev::analysis
