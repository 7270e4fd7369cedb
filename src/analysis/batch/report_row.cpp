#include "analysis/batch/report_row.hpp"

#include "errors/run_stopped.hpp"
#include "probability/binomial_interval.hpp"

namespace oskev::analysis {

namespace {

std::string status_text(int status) {
  switch (status) {
    case 0:
      return "ok";
    case errors::kExitLibraryStop:
      return "library stop";
    default:
      return "refused";
  }
}

}  // namespace

ReportRow report_row(const AnalysisResult& result, const AnalysisSettings& settings, std::string source,
                     std::string name, std::int64_t studies) {
  ReportRow row;
  row.source = std::move(source);
  row.name = std::move(name);
  row.status = status_text(result.status);
  row.message = result.message;
  row.studies = studies;
  row.iopt = settings.iopt;
  row.ccone = settings.ccone;
  row.ccboth = settings.ccboth;
  row.seed = settings.seed;
  row.max_runs = settings.runs;
  row.stop_after = settings.stop_after;
  if (result.status != 0) return row;

  const ObservedStatistics& o = result.observed;
  row.rrmh = o.RRMH;
  row.rrmh_lower = result.rrmh_lower;
  row.rrmh_upper = result.rrmh_upper;
  row.q = o.Q;
  row.df = o.DF;
  row.i_squared = result.i_squared;
  row.p_asymptotic = o.PASYM;
  row.runs = result.runs;
  row.not_above = result.not_above;
  row.undefined = result.undefined;
  row.p_left = result.pemp;
  row.p_left_plus_one =
      static_cast<double>(result.not_above + 1) / static_cast<double>(result.runs + 1);
  row.mc_standard_error = probability::monte_carlo_standard_error(result.not_above, result.runs);
  const probability::BinomialInterval interval = probability::clopper_pearson(result.not_above, result.runs);
  row.ci_lower = interval.lower;
  row.ci_upper = interval.upper;
  row.rule = result.stopped_early ? "Besag-Clifford" : "fixed runs";
  return row;
}

}  // namespace oskev::analysis
