#pragma once

// The random-prevalence model's knobs that every face may set: its bounds on redrawn totals, and
// the test of a total's arm probabilities against 0.

namespace oskev::analysis {

// Bounds on the random-prevalence model's redraws of totals: per run, and in all. A table
// that leaves almost no acceptable total would otherwise keep the program busy for hours.
struct RedrawLimits {
  long per_run = 1'000'000;
  long long in_all = 50'000'000;
};

// How a total's arm probabilities are tested against 0: OSKEV redraws a total whose
// probability equals 0, OSKEV v1.0 one whose probability is 0 or below. Both probabilities are
// never negative with corrections of 0 or more (the only ones the engine accepts), so the two
// tests then draw alike.
enum class ZeroTest { kEqualsZero, kAtMostZero };

}  // namespace oskev::analysis
