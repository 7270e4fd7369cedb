#pragma once

// Pieces shared by the two null models of the simulation.

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/run_parameters.hpp"
#include "analysis/simulation.hpp"
#include "analysis/study_table.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis::simulation_steps {

[[noreturn]] void refuse(const std::string& report);

inline std::string study_label(std::size_t i) { return "study " + std::to_string(i + 1); }

inline std::size_t run_count(const RunParameters& p) { return p.NRUNS > 0 ? static_cast<std::size_t>(p.NRUNS) : 0; }

// Draws the uniform and the seed for one GETBIN call.
std::int32_t next_seed(Generators& generators);

// A draw the program is about to make: noted now and made later (on any thread) when its
// arguments are valid; otherwise made at once on the program's own library, which writes the
// error and stops the run exactly where the program would.
[[noreturn]] void stop_at(Generators& generators, std::int32_t n, float p, std::int32_t nr, std::int32_t seed);
inline void plan_or_stop(Generators& generators, std::int32_t n, float p, std::int32_t nr, std::int32_t seed) {
  if (!random::binomial_arguments_valid(nr, n, p)) [[unlikely]] stop_at(generators, n, p, nr, seed);
  generators.note_GETBIN(n, p, nr, seed);
}

// The first run of every slice, and the end: slices start at `first_runs` and double up to
// `most_runs`.
std::vector<std::size_t> slice_bounds(std::size_t runs, const SliceOptions& slices);

}  // namespace oskev::analysis::simulation_steps
