#include "analysis/plot/plot_null.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/plot/plot_axes.hpp"
#include "analysis/plot/plot_draw.hpp"
#include "probability/chi_squared_tails.hpp"

namespace oskev::analysis::plot_null {

using namespace plot_draw;
using plot_axes::Axis;
using plot_axes::format_count;
using plot_axes::format_p_value;
using plot_axes::format_tick;
using plot_axes::format_value;
using svg::Document;

namespace {

// Without the optional lines: from the panel's top to below its second caption line.
constexpr double kBaseHeight = 380.0;
constexpr double kCaptionStep = 17.0;
constexpr double kLegendStep = 20.0;
// Points of the density curve across the plot: a few pixels apart, so it reads as smooth.
constexpr int kDensityPoints = 300;
// The density may raise the count axis to at most this many times the tallest bar; beyond,
// it is cut at the top of the plot (it is unbounded at 0 for one degree of freedom).
constexpr double kDensityHeadroom = 1.5;

bool shows_density(const PlotData& data) {
  return data.chi_squared_df.has_value();
}

bool density_drawable(double df) {
  return df > 0.0 && std::isfinite(df);
}

std::string degrees_text(double df) {
  return format_tick(df) + (df == 1.0 ? " degree of freedom" : " degrees of freedom");
}

// The density as runs per bin, sampled across the axis: the count a bin of the histogram
// would hold if Q followed the chi-squared distribution the asymptotic test assumes.
struct Curve {
  std::vector<double> q;
  std::vector<double> runs;
  double peak = 0.0;  // the largest finite value
};

Curve density_curve(double df, std::int64_t finite, double width, const Axis& axis) {
  Curve c;
  for (int i = 0; i <= kDensityPoints; ++i) {
    const double q = axis.lo + (axis.hi - axis.lo) * static_cast<double>(i) / kDensityPoints;
    const double runs = static_cast<double>(finite) * width * probability::chi_squared_density(q, df);
    c.q.push_back(q);
    c.runs.push_back(runs);
    if (std::isfinite(runs)) c.peak = std::max(c.peak, runs);
  }
  return c;
}

// A row of legend entries below the captions: the bars, their dark part, the density; or why
// there is no density.
void draw_legend(Document& doc, double df, bool bars, bool shaded, bool curve, double y) {
  double x = kPlotLeft;
  auto entry = [&](const char* swatch_class, const char* colour, bool line, const std::string& text) {
    if (line) {
      doc.add("line", {{"class", swatch_class}, {"x1", x}, {"y1", y - 4.0}, {"x2", x + 18.0}, {"y2", y - 4.0},
                       {"stroke", colour}, {"stroke-width", 2}});
    } else {
      doc.add("rect", {{"class", swatch_class}, {"x", x + 3.0}, {"y", y - 10.0}, {"width", 12}, {"height", 10},
                       {"fill", colour}});
    }
    draw_text(doc, text, x + 24.0, y, 12.0, "start", "legend", kMuted);
    x += 24.0 + text_width(text, 12.0) + 18.0;
  };
  if (bars) entry("legend-bars", kBarColour, false, "simulated Q");
  if (shaded) entry("legend-shaded", kShadedBarColour, false, "at or below the observed Q");
  if (curve) {
    entry("legend-density", kDensityColour, true,
          "asymptotic chi-squared density (" + degrees_text(df) + "), in runs per bin");
  } else {
    const std::string why = !density_drawable(df) ? "No chi-squared density for " + degrees_text(df) + "."
                                                  : "No chi-squared density: no simulated Q to scale it to.";
    draw_text(doc, why, x, y, 12.0, "start", "legend", kMuted);
  }
}

}  // namespace

double panel_height(const PlotData& data, const QDistribution& simulated) {
  double height = kBaseHeight;
  if (simulated.binned()) height += kCaptionStep;
  if (shows_density(data)) height += kLegendStep;
  return height;
}

void draw_null_distribution(Document& doc, const PlotData& data, const QDistribution& simulated, double top) {
  const QSurvey& sim = simulated.survey();
  const double strip_top = top + 32.0;  // observed-Q label lines live above the plot
  const double plot_top = top + 74.0;
  const double plot_bottom = plot_top + 210.0;
  const double middle_x = (kPlotLeft + kHistogramRight) / 2.0;

  draw_text(doc, "Null distribution of Q: simulated under the common risk ratio RRMH", 20.0, top + 20.0, 14.0,
            "start", "panel-title", kInk, "bold");
  const std::string q_label = "observed Q = " + format_value(data.q, 4);
  const std::string p_label = "left-sided P-value = " + format_p_value(data.pemp);

  std::string caption;
  bool shaded = false;
  bool curve_drawn = false;
  if (sim.finite == 0) {
    doc.add("rect", {{"x", kPlotLeft}, {"y", plot_top}, {"width", kHistogramRight - kPlotLeft},
                     {"height", plot_bottom - plot_top}, {"fill", "#f7f7f7"}, {"stroke", "#cccccc"}});
    draw_text(doc, "no simulated Q to show", middle_x, (plot_top + plot_bottom) / 2.0, 14.0, "middle", "no-histogram",
              kMuted);
    draw_text(doc, q_label + " (not marked)", kPlotLeft, strip_top + 14.0, 12.0, "start", "observed-q-label",
              kSummaryColour, "bold");
    draw_text(doc, p_label, kPlotLeft, strip_top + 31.0, 12.0, "start", "p-value", kSummaryColour, "bold");
    caption = "No finite simulated Q among " + runs_text(simulated.runs()) + ".";
  } else {
    const plot_axes::Histogram histogram = simulated.histogram(data.q);
    Axis x_axis = plot_axes::linear_ticks_within(histogram.start, histogram.end(), 8);
    x_axis.lo = histogram.start;
    x_axis.hi = histogram.end();
    const Scale scale(x_axis, kPlotLeft, kHistogramRight, 0.0, false);

    const std::int64_t most = *std::max_element(histogram.counts.begin(), histogram.counts.end());
    const double df = data.chi_squared_df.value_or(0.0);
    const bool curve = shows_density(data) && density_drawable(df);
    Curve density;
    double count_top = static_cast<double>(most);
    if (curve) {
      density = density_curve(df, sim.finite, histogram.width, x_axis);
      count_top = std::max(count_top, std::min(density.peak, kDensityHeadroom * count_top));
    }
    // At most one tick per run, so a handful of runs is not counted in fractions.
    const int y_intervals = static_cast<int>(std::min<std::int64_t>(5, most));
    const Axis y_axis = plot_axes::linear_axis(0.0, count_top, y_intervals);
    const double y_span = y_axis.hi > 0.0 ? y_axis.hi : 1.0;
    auto y_of = [&](double count) { return plot_bottom - count / y_span * (plot_bottom - plot_top); };

    // The count axis stands a little left of Q's axis start, so an observed Q of about 0 (the
    // most homogeneous studies) does not hide its line in it. Counts of a hundred thousand and
    // more (only runs beyond the dialogue's reach have them) are given in thousands, so their
    // labels stay clear of the axis title.
    const double count_axis_x = kPlotLeft - 6.0;
    const bool thousands = y_axis.hi >= 100000.0;
    for (double tick : y_axis.ticks) {
      const double y = y_of(tick);
      doc.add("line", {{"x1", kPlotLeft}, {"y1", y}, {"x2", kHistogramRight}, {"y2", y}, {"stroke", "#e6e6e6"}});
      doc.add("line", {{"x1", count_axis_x - 5.0}, {"y1", y}, {"x2", count_axis_x}, {"y2", y}, {"stroke", kInk}});
      const std::string label = thousands ? format_count(std::llround(tick / 1000.0))
                                            : format_count(static_cast<std::int64_t>(tick));
      draw_text(doc, label, count_axis_x - 8.0, y + 4.0, kTickFont, "end", "count-tick-label");
    }
    doc.add("line",
            {{"x1", count_axis_x}, {"y1", plot_top}, {"x2", count_axis_x}, {"y2", plot_bottom}, {"stroke", kInk}});
    const double count_title_y = (plot_top + plot_bottom) / 2.0;
    doc.add_text(thousands ? "Runs (thousands)" : "Runs",
                 {{"class", "axis-title"}, {"x", 26}, {"y", count_title_y}, {"font-size", 12},
                  {"text-anchor", "middle"}, {"fill", kInk},
                  {"transform", "rotate(-90 26 " + svg::number(count_title_y) + ")"}});

    // The bars twice: light, then dark where they lie at or below the observed Q (clipped at
    // its line), the part of the null distribution the left-sided P-value counts.
    auto bars = [&](const char* cls, const char* fill) {
      for (std::size_t i = 0; i < histogram.counts.size(); ++i) {
        if (histogram.counts[i] == 0) continue;
        const double x0 = scale(histogram.start + histogram.width * static_cast<double>(i));
        const double x1 = scale(histogram.start + histogram.width * static_cast<double>(i + 1));
        const double y = y_of(static_cast<double>(histogram.counts[i]));
        doc.add("rect", {{"class", cls}, {"x", x0}, {"y", y}, {"width", x1 - x0}, {"height", plot_bottom - y},
                         {"fill", fill}, {"stroke", "#ffffff"}, {"stroke-width", 0.5}});
      }
    };
    bars("q-bin", kBarColour);
    const bool q_number = !std::isnan(data.q);
    shaded = q_number && data.q >= x_axis.lo;
    if (shaded) {
      const double clip_right = data.q > x_axis.hi ? kHistogramRight : scale(data.q);
      doc.begin("defs", {});
      doc.begin("clipPath", {{"id", "at-or-below-observed-q"}});
      doc.add("rect", {{"x", kPlotLeft}, {"y", plot_top}, {"width", clip_right - kPlotLeft},
                       {"height", plot_bottom - plot_top}});
      doc.end();
      doc.end();
      doc.begin("g", {{"clip-path", "url(#at-or-below-observed-q)"}});
      bars("q-bin-shaded", kShadedBarColour);
      doc.end();
    }

    if (curve) {
      // Cut to the plot area: points far above it are held just over its top, where the clip
      // hides them, so no coordinate is unbounded.
      std::vector<double> xs, ys;
      for (std::size_t i = 0; i < density.q.size(); ++i) {
        if (std::isnan(density.runs[i])) continue;
        xs.push_back(scale(density.q[i]));
        ys.push_back(std::clamp(y_of(density.runs[i]), plot_top - 10.0, plot_bottom));
      }
      doc.begin("defs", {});
      doc.begin("clipPath", {{"id", "q-plot-area"}});
      doc.add("rect", {{"x", kPlotLeft}, {"y", plot_top}, {"width", kHistogramRight - kPlotLeft},
                       {"height", plot_bottom - plot_top}});
      doc.end();
      doc.end();
      doc.begin("g", {{"clip-path", "url(#q-plot-area)"}});
      doc.add("polyline", {{"class", "chi-squared-density"}, {"points", points_text(xs, ys)}, {"fill", "none"},
                           {"stroke", kDensityColour}, {"stroke-width", 2}, {"stroke-linejoin", "round"}});
      doc.end();
      curve_drawn = true;
    }

    draw_x_axis(doc, "q", x_axis, scale, kPlotLeft, kHistogramRight, plot_bottom);
    draw_text(doc, "Q (heterogeneity statistic)", middle_x, plot_bottom + 36.0, 12.0, "middle", "axis-title");

    const double label_y = strip_top + 14.0;
    if (!q_number) {
      draw_text(doc, q_label + " (not marked)", kPlotLeft, label_y, 12.0, "start", "observed-q-label", kSummaryColour,
                "bold");
      draw_text(doc, p_label, kPlotLeft, label_y + 17.0, 12.0, "start", "p-value", kSummaryColour, "bold");
    } else if (data.q >= x_axis.lo && data.q <= x_axis.hi) {
      const double x = scale(data.q);
      doc.add("line", {{"class", "observed-q"}, {"x1", x}, {"y1", strip_top}, {"x2", x}, {"y2", plot_bottom},
                       {"stroke", kSummaryColour}, {"stroke-width", 2}});
      // Beside the line, on the side with room for the longer label.
      const double room = std::max(text_width(q_label, 12.0, true), text_width(p_label, 12.0, true)) + 8.0;
      const bool right = x + room <= kWeightRight || x < middle_x;
      const double text_x = right ? x + 6.0 : x - 6.0;
      const char* anchor = right ? "start" : "end";
      draw_text(doc, q_label, text_x, label_y, 12.0, anchor, "observed-q-label", kSummaryColour, "bold");
      draw_text(doc, p_label, text_x, label_y + 17.0, 12.0, anchor, "p-value", kSummaryColour, "bold");
    } else {
      // Off the axis: an arrow along the top of the plot to the edge the observed Q lies beyond.
      const bool beyond_right = data.q > x_axis.hi;
      const double edge = beyond_right ? kHistogramRight : kPlotLeft;
      const double direction = beyond_right ? 1.0 : -1.0;
      const double y = plot_top - 8.0;
      doc.add("line", {{"x1", edge - direction * 60.0}, {"y1", y}, {"x2", edge - direction * 8.0}, {"y2", y},
                       {"stroke", kSummaryColour}, {"stroke-width", 2}});
      draw_arrow_head(doc, edge, y, direction, 10.0, kSummaryColour, "observed-q-arrow");
      const double text_x = edge - direction * 66.0;
      const char* anchor = beyond_right ? "end" : "start";
      draw_text(doc, q_label + (beyond_right ? ", beyond the axis" : ", below the axis"), text_x, label_y - 4.0, 12.0,
                anchor, "observed-q-label", kSummaryColour, "bold");
      draw_text(doc, p_label, text_x, label_y + 13.0, 12.0, anchor, "p-value", kSummaryColour, "bold");
    }
    caption = "Histogram of " + format_count(sim.finite) + " simulated Q values in " +
              std::to_string(histogram.counts.size()) + " bins of width " + format_tick(histogram.width) +
              (shaded ? "; dark: at or below the observed Q." : ".");
  }
  double line_y = plot_bottom + 60.0;  // the last line ends within the panel's height
  draw_text(doc, caption, kPlotLeft, line_y, 12.0, "start", "caption", kMuted);
  std::string left_out = sim.undefined == 0 ? "No run has an undefined Q."
                                            : runs_text(sim.undefined) + " with an undefined Q left out.";
  if (sim.infinite > 0) left_out += " " + runs_text(sim.infinite) + " with an infinite Q not drawn.";
  line_y += kCaptionStep;
  draw_text(doc, left_out, kPlotLeft, line_y, 12.0, "start", "caption-undefined", kMuted);
  if (simulated.binned()) {
    line_y += kCaptionStep;
    draw_text(doc,
              "Bins set by the first " + runs_text(static_cast<std::int64_t>(QDistribution::kExactRuns)) +
                  " of " + format_count(simulated.runs()) + "; a later Q beyond them is counted in the end bin.",
              kPlotLeft, line_y, 12.0, "start", "caption-binned", kMuted);
  }
  if (shows_density(data)) {
    line_y += kLegendStep;
    draw_legend(doc, data.chi_squared_df.value_or(0.0), sim.finite > 0, shaded, curve_drawn, line_y);
  }
}

}  // namespace oskev::analysis::plot_null
