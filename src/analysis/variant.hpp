#pragma once

namespace oskev::analysis {

// The two programs built from one source. OSKEV v1.0 prints a few more empty lines in the
// dialogue, nothing before the simulation and a framed results block after it, and words two
// labels differently; every computation is shared.
enum class Variant { kOskev, kOskevV10 };

inline const char* program_name(Variant variant) {
  return variant == Variant::kOskev ? "oskev" : "oskev-v1.0";
}

// The program's name as its titles spell it.
inline const char* program_title(Variant variant) {
  return variant == Variant::kOskev ? "OSKEV" : "OSKEV v1.0";
}

}  // namespace oskev::analysis
