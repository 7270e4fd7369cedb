#pragma once

// What a meta-analysis is tested under: the type of estimation of the null model and the two
// continuity corrections.

namespace oskev::analysis {

// The type of estimation: how the null simulation treats each study's total of events.
enum class Prevalence {
  kFixed,   // fixed prevalence of total events (the dialogue's 1)
  kRandom,  // random prevalence of total events (the dialogue's 2)
};

struct Model {
  Prevalence prevalence = Prevalence::kFixed;
  float cc_one = 0.5f;   // continuity correction for a study with zero events in one arm
  float cc_both = 0.5f;  // continuity correction for a study with zero events in both arms
};

// The dialogue's code of a type of estimation, 1 or 2.
inline int type_code(Prevalence prevalence) { return prevalence == Prevalence::kFixed ? 1 : 2; }
// The type's short name in reports: "fixed" or "random".
inline const char* type_name(Prevalence prevalence) { return prevalence == Prevalence::kFixed ? "fixed" : "random"; }

}  // namespace oskev::analysis
