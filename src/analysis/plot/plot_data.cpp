#include "analysis/plot/plot_data.hpp"

namespace oskev::analysis {

PlotData plot_data(const std::string& program, std::int32_t iopt, const StudyTable& table, const ObservedStatistics& observed,
                   float pemp, std::int32_t nruns) {
  PlotData data;
  data.program = program;
  data.iopt = iopt;
  for (std::size_t i = 0; i < table.size(); ++i) {
    data.studies.push_back(
        {static_cast<std::int32_t>(i + 1), table.RR[i], table.RRLL[i], table.RRUL[i], table.WEIGHT[i]});
  }
  data.rrmh = observed.RRMH;
  data.q = observed.Q;
  data.pasym = observed.PASYM;
  data.pemp = pemp;
  data.nruns = nruns;
  return data;
}

}  // namespace oskev::analysis
