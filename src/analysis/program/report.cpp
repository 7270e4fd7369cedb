#include "analysis/program/report.hpp"

#include <sstream>

#include "text/edit.hpp"
#include "errors/run_stopped.hpp"

namespace oskev::analysis {

void print_counts(records::ListWriter& console, const std::vector<std::array<float, 4>>& counts) {
  for (const auto& c : counts) console.write({c[0], c[1], c[2], c[3]});
  console.empty_line();
}

void print_risk_ratios(records::ListWriter& console, const StudyTable& table) {
  console.write({"        study", "    RR", "             95%LL", "        95%UL"});
  for (std::size_t i = 0; i < table.size(); ++i) {
    console.write({static_cast<std::int32_t>(i + 1), table.RR[i], table.RRLL[i], table.RRUL[i]});
  }
  console.empty_line();
}

void print_observed(records::ListWriter& console, const ObservedStatistics& observed) {
  console.write({"RRMHobs=", observed.RRMH});
  console.empty_line();
  console.write({"Qobs=", observed.Q});
  console.empty_line();
}

void print_results(Variant variant, records::ListWriter& console, const ObservedStatistics& observed, float pemp,
                   std::int32_t undefined_runs, bool q_undefined) {
  if (variant == Variant::kOskev) {
    console.write({"P-value for asymptotic heterogeneity test", observed.PASYM});
    console.empty_line();
    console.write({"Extreme homegenity: left sided P-value for Q=", pemp});
    console.empty_line();
  } else {
    for (int i = 0; i < 3; ++i) console.empty_line();
    console.write({"************************RESULTS******************************"});
    console.empty_line();
    console.write({"RR-MH observed =", observed.RRMH});
    console.empty_line();
    console.write({"Q observed =", observed.Q});
    console.empty_line();
    console.write({"Asymptotic heterogeneity: P-value for Q =", observed.PASYM});
    console.empty_line();
    console.write({"Extreme homegenity: left sided P-value =", pemp});
    console.empty_line();
    console.write({"*************************************************************"});
    for (int i = 0; i < 3; ++i) console.empty_line();
  }
  if (undefined_runs > 0) {
    // Zero corrections can leave zero cells in simulated tables; their Q is not a number.
    console.write({"Runs with an undefined Q, not counted:", undefined_runs});
  }
  if (q_undefined) {
    // No simulated Q is "not above" a Q that is not a number: the printed P-value is a count of
    // nothing.
    console.write({"The observed Q is undefined: the left-sided P-value means nothing"});
  }
}

std::string results_file_text(Variant variant, std::int32_t iopt, const ObservedStatistics& observed, float pemp) {
  const bool v10 = variant == Variant::kOskevV10;
  std::ostringstream text;
  records::ListWriter file(text);
  auto value = [&](double x) { text << text::edit_fixed(x, 12, 6) << '\n'; };
  file.write({"Type of extreme homogeneity estimation: "});
  file.write({"1 is for fixed prevalence of total events "});
  file.write({"2 is for random prevalence of total events "});
  file.empty_line();
  file.write({"The type of estimation is:"});
  text << text::edit_integer(iopt, 4) << '\n';
  file.write({v10 ? "RR-MH observed =" : "RRMH observed ="});
  value(observed.RRMH);
  file.write({"Q observed ="});
  value(observed.Q);
  file.write({"Asymptotic heterogeneity: P-value for Q ="});
  value(observed.PASYM);
  file.write({v10 ? "Extreme homegenity: left sided P-value =" : "Extreme homegenity: left sided P-value for Q ="});
  value(pemp);
  return text.str();
}


}  // namespace oskev::analysis
