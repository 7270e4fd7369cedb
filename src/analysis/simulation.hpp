#pragma once

#include <cstdint>
#include <vector>

#include "analysis/run_parameters.hpp"
#include "analysis/study_table.hpp"
#include "analysis/variant.hpp"
#include "errors/error_service.hpp"
#include "random/binomial.hpp"
#include "random/uniform_stream.hpp"

namespace oskev::analysis {

// The seed handed to GETBIN before every binomial draw: the bit pattern of the uniform RU
// read as a 32-bit integer (not its converted value), always within the seeds SEEDSET takes.
std::int32_t seed_from_uniform(float ru);

// The program's two generator subroutines between the simulation and the library.
class Generators {
 public:
  Generators(random::UniformStream& stream, random::BinomialSetup& setup, errors::ErrorService& errors)
      : stream_(stream), setup_(setup), errors_(errors) {}

  // The next uniform of a private stream: each call restores the state it saved, so other
  // use of the shared stream between calls never changes what it returns. Its first call
  // seeds the stream from the clock.
  void GETUNI(float& r);
  // ir[0 ... nr-1] <- binomial (n, p) variates from the shared stream seeded with `iseed`.
  void GETBIN(std::int32_t n, float p, std::int32_t* ir, std::int32_t nr, std::int32_t iseed);

  std::int32_t saved_state() const noexcept { return ISAVE_; }

 private:
  random::UniformStream& stream_;
  random::BinomialSetup& setup_;
  errors::ErrorService& errors_;
  std::int32_t ISAVE_ = 0;
};

// Heterogeneity statistics of the simulated runs.
struct SimulatedRuns {
  std::vector<float> QSIM;      // Q of every run; not a number where zero cells remained
  std::int32_t undefined = 0;   // runs whose Q is not a number
};

// Draws NRUNS sets of study tables under a common risk ratio RRMH (fixed prevalence of total
// events for IOPT 1, random prevalence for IOPT 2) and computes each set's own Mantel-Haenszel
// summary and Q. Every simulated table is evaluated with its own arm sizes: those of its
// continuity correction when it was corrected, the arm sizes as read otherwise.
SimulatedRuns simulate(Variant variant, const RunParameters& parameters, const StudyTable& table, float rrmh,
                       Generators& generators);

}  // namespace oskev::analysis
