#include "analysis/plot/plot.hpp"

#include <cstddef>
#include <string>

#include "analysis/plot/plot_axes.hpp"
#include "analysis/plot/plot_draw.hpp"
#include "analysis/plot/plot_forest.hpp"
#include "analysis/plot/plot_null.hpp"
#include "analysis/plot/q_distribution.hpp"
#include "analysis/plot/svg_writer.hpp"

namespace oskev::analysis {

namespace {

using namespace plot_draw;
using plot_axes::format_count;
using plot_axes::format_p_value;
using plot_axes::format_value;
using svg::Document;

std::string estimation_text(std::int32_t iopt) {
  if (iopt == 1) return "type of estimation 1: fixed prevalence of total events";
  if (iopt == 2) return "type of estimation 2: random prevalence of total events";
  return "type of estimation " + std::to_string(iopt);
}

// ---------------------------------------------------------------------------------------------
// Title block

// Program name, estimation, counts and the four results, above both panels; the name of the
// meta-analysis above them when there is one.
constexpr double kTitleHeight = 92.0;
constexpr double kNameHeight = 28.0;

double title_height(const PlotData& data) {
  return kTitleHeight + (data.title.empty() ? 0.0 : kNameHeight);
}

void draw_title(Document& doc, const PlotData& data) {
  double y = 0.0;
  if (!data.title.empty()) {
    draw_text(doc, fit_text(data.title, kWidth - 40.0, 20.0, true), 20.0, 30.0, 20.0, "start", "meta-analysis-title",
              kInk, "bold");
    y = kNameHeight;
  }
  const std::string& program = data.program;
  draw_text(doc, program + ": extreme low homogeneity of risk ratios", 20.0, y + 30.0, data.title.empty() ? 20.0 : 15.0,
            "start", "title", kInk, "bold");
  const std::size_t studies = data.studies.size();
  const std::string study_count =
      format_count(static_cast<std::int64_t>(studies)) + (studies == 1 ? " study" : " studies");
  const std::string run_count = format_count(data.nruns) + (data.nruns == 1 ? " simulation run" : " simulation runs");
  draw_text(doc,
            "Mantel-Haenszel summary, " + estimation_text(data.iopt) + "; " + study_count + "; " + run_count, 20.0,
            y + 52.0, 13.0, "start", "subtitle", kMuted);
  // One text each, spaced by their estimated widths: runs of blanks inside an SVG text
  // collapse to one.
  double x = 20.0;
  for (const std::string& value :
       {"RRMH = " + format_value(data.rrmh, 4), "Q = " + format_value(data.q, 4),
        "asymptotic P-value = " + format_p_value(data.pasym), "left-sided P-value = " + format_p_value(data.pemp)}) {
    draw_text(doc, value, x, y + 74.0, 13.0, "start", "summary-values", kInk, "bold");
    x += text_width(value, 13.0, true) + 24.0;
  }
  const double rule_y = title_height(data) - 4.0;
  doc.add("line", {{"x1", 20}, {"y1", rule_y}, {"x2", kWidth - 20.0}, {"y2", rule_y}, {"stroke", "#cccccc"}});
}

}  // namespace

std::string render_plot(const PlotData& data) {
  // The simulated Q as a distribution: the caller's, or one made of the listed values (the
  // same histogram as the list, as long as there are no more than it keeps exactly).
  QDistribution listed(data.q);
  if (!data.distribution) listed.add(data.qsim);
  const QDistribution& simulated = data.distribution ? *data.distribution : listed;

  // The height follows the number of studies and the optional lines, so the document's size
  // is known before the first element is written.
  const plot_forest::ForestLayout forest(data, title_height(data));
  const double null_top = forest.bottom + 12.0;
  const double height = null_top + plot_null::panel_height(data, simulated);

  std::string title = data.program + ": risk ratios of the studies and the null distribution of Q";
  if (!data.title.empty()) title = fit_text(data.title, 2000.0, 12.0) + " - " + title;
  Document doc(kWidth, height, title, kFont);
  draw_title(doc, data);
  plot_forest::draw_forest(doc, data, forest);
  doc.add("line", {{"x1", 20}, {"y1", null_top - 4.0}, {"x2", kWidth - 20.0}, {"y2", null_top - 4.0},
                   {"stroke", "#cccccc"}});
  plot_null::draw_null_distribution(doc, data, simulated, null_top);
  return doc.finish();
}

}  // namespace oskev::analysis
