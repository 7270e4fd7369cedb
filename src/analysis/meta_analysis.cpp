#include "analysis/meta_analysis.hpp"

#include <cmath>
#include <limits>
#include <sstream>

#include "analysis/library.hpp"
#include "errors/run_stopped.hpp"
#include "random/clock.hpp"

namespace oskev::analysis {

namespace {

[[noreturn]] void refuse(const std::string& report) { throw errors::RunStopped(errors::kExitRefused, report); }

void check_settings(const AnalysisSettings& s) {
  if (s.iopt != 1 && s.iopt != 2) {
    refuse("the type of estimation must be 1 (fixed prevalence of total events) or 2 (random prevalence of total "
           "events), not " + std::to_string(s.iopt));
  }
  if (!(s.ccone >= 0.0f) || !(s.ccboth >= 0.0f) || !std::isfinite(s.ccone) || !std::isfinite(s.ccboth)) {
    refuse("a continuity correction must be a finite number, 0 or more");
  }
  if (s.seed < 1 || s.seed > 2147483646) refuse("the seed must be from 1 to 2147483646, not " + std::to_string(s.seed));
  if (s.stop_after && *s.stop_after < 1) refuse("the sequential rule needs at least 1 run not above Q");
}

void run(const std::vector<StudyCounts>& studies, const AnalysisSettings& settings, std::ostream& messages,
         AnalysisResult& result) {
  check_settings(settings);
  if (studies.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    refuse("too many studies: " + std::to_string(studies.size()));
  }
  // The same library, in the same order of calls, as the dialogue under `--seed`: the seed takes
  // the place of every reading of the clock.
  random::FixedClock clock;
  Library library(messages, clock);
  library.stream.replace_clock_seed(settings.seed);
  library.seed_at_start_up();

  StudyCountRows counts;
  counts.reserve(studies.size());
  for (const StudyCounts& s : studies) counts.push_back({s.e1, s.s1, s.e2, s.s2});
  run_engine(library, std::move(counts), static_cast<std::int32_t>(studies.size()), settings, result);
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \n");
  return text.substr(first, last - first + 1);
}

}  // namespace

AnalysisResult analyse(const std::vector<StudyCounts>& studies, const AnalysisSettings& settings) {
  AnalysisResult result;
  std::ostringstream messages;  // the library's error-message unit
  try {
    run(studies, settings, messages, result);
  } catch (const errors::RunStopped& stop) {
    result.status = stop.exit_status();
    result.message = stop.report().empty() ? trimmed(messages.str()) : stop.report();
  }
  return result;
}

}  // namespace oskev::analysis
