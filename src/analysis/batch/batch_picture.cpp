#include "analysis/batch/batch_picture.hpp"

#include <utility>

#include "analysis/plot/plot.hpp"
#include "analysis/plot/plot_data.hpp"

namespace oskev::analysis {

std::string batch_picture(const std::string& program, const BatchItem& item, const Model& model, const Result& result,
                          QDistribution&& distribution) {
  PlotData data = plot_data(program, type_code(model.prevalence), result.table, result.observed, result.pemp,
                            static_cast<std::int32_t>(result.runs));
  data.title = item.name;
  for (const Study& study : item.studies) data.labels.push_back(study.label);
  data.summary_limits = std::make_pair(result.rrmh_lower, result.rrmh_upper);
  data.chi_squared_df = result.observed.DF;
  data.distribution = std::move(distribution);
  return render_plot(data);
}

}  // namespace oskev::analysis
