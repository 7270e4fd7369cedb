#pragma once

// One two-arm study as counted: the value every reader of studies produces and the engine takes.

#include <cstdint>
#include <string>

namespace oskev::analysis {

// Events and subjects of arm 1, then of arm 2; the risk ratio is arm 1 over arm 2. Only the
// 32-bit range is given by the type: whether the counts make a study (none negative, no more
// events than subjects) is the engine's question.
struct Study {
  std::int32_t e1 = 0;  // events, arm 1
  std::int32_t s1 = 0;  // subjects, arm 1
  std::int32_t e2 = 0;  // events, arm 2
  std::int32_t s2 = 0;  // subjects, arm 2
  std::string label;    // empty when the input names no studies
};

}  // namespace oskev::analysis
