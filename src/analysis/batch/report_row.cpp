#include "analysis/batch/batch_report.hpp"

namespace oskev::analysis {

namespace {

std::string status_text(FailureKind kind) {
  switch (kind) {
    case FailureKind::kLibraryStop:
      return "library stop";
    case FailureKind::kCancelled:
      return "cancelled";
    case FailureKind::kRefused:
      break;
  }
  return "refused";
}

// The library's message as it wrote it, without the blanks and line ends around it, after the
// account in plain words of what stopped it.
std::string failure_text(const Failure& failure) {
  const std::string& m = failure.message;
  const auto first = m.find_first_not_of(" \n");
  const std::string text = first == std::string::npos ? "" : m.substr(first, m.find_last_not_of(" \n") - first + 1);
  if (failure.why.empty()) return text;
  return text.empty() ? failure.why : failure.why + ":\n" + text;
}

}  // namespace

std::vector<ReportRow> report_rows(const std::vector<Outcome>& outcomes, const std::vector<BatchItem>& items,
                                   const Model& model, const Run& run) {
  std::vector<ReportRow> rows;
  rows.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    rows.push_back(report_row(outcomes[i], model, run, items[i].source, items[i].name,
                              static_cast<std::int64_t>(items[i].studies.size())));
  }
  return rows;
}

ReportRow report_row(const Outcome& outcome, const Model& model, const Run& run, std::string source, std::string name,
                     std::int64_t studies) {
  ReportRow row;
  row.source = std::move(source);
  row.name = std::move(name);
  row.studies = studies;
  row.model = model;
  row.run = run;
  if (!outcome.ok()) {
    row.status = status_text(outcome.failure().kind);
    row.message = failure_text(outcome.failure());
    return row;
  }
  row.result = outcome.result();
  if (row.result->q_undefined()) {
    row.status = "Q undefined";
    row.message =
        "the observed Q is not a number (a zero cell that no continuity correction removed), so no simulated Q can "
        "be compared with it and there is no left-sided P-value";
  } else {
    row.status = "ok";
  }
  return row;
}

const char* rule_name(const Result& result) { return result.stopped_early ? "Besag-Clifford" : "fixed runs"; }

const char* interval_name(const Result& result) {
  return result.interval == IntervalKind::kInverseBinomial ? "inverse binomial" : "Clopper-Pearson";
}

}  // namespace oskev::analysis
