#pragma once

#include <cstdint>
#include <string>

#include "analysis/batch/batch_report.hpp"
#include "analysis/meta_analysis.hpp"

namespace oskev::analysis {

// The row `oskev analyse` (and the R package) reports for one analysed meta-analysis: its
// results, the left-sided P-value both as b/m and as (b+1)/(m+1), the Monte Carlo standard
// error and exact 95% interval of b/m, and the settings that repeat it.
ReportRow report_row(const AnalysisResult& result, const AnalysisSettings& settings, std::string source,
                     std::string name, std::int64_t studies);

}  // namespace oskev::analysis
