#include "analysis/plot.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/plot_axes.hpp"
#include "analysis/svg_writer.hpp"

namespace oskev::analysis {

namespace {

using plot_axes::Axis;
using plot_axes::format_count;
using plot_axes::format_p_value;
using plot_axes::format_tick;
using plot_axes::format_value;
using svg::Document;

constexpr double kWidth = 960.0;
constexpr const char* kFont = "DejaVu Sans, Verdana, Arial, Helvetica, sans-serif";
constexpr const char* kInk = "#222222";
constexpr const char* kMuted = "#666666";
constexpr const char* kStudyColour = "#1f4e79";
constexpr const char* kSummaryColour = "#c0392b";
constexpr const char* kBarColour = "#b7cbe2";
constexpr const char* kShadedBarColour = "#1f4e79";

// Columns shared by both panels: the plot areas line up one above the other.
constexpr double kStudyColumnRight = 64.0;
constexpr double kPlotLeft = 84.0;
constexpr double kForestRight = 590.0;
constexpr double kEstimateLeft = 612.0;
constexpr double kWeightRight = 936.0;
constexpr double kHistogramRight = 910.0;
constexpr double kTickFont = 11.0;

// The advance of a character in ems, after DejaVu Sans and rounded up: labels are placed and
// thinned by it without measuring glyphs, and the narrower fallback fonts only add room.
double advance(char c) {
  if (c == ' ' || c == '.' || c == ',' || c == ':' || c == ';') return 0.32;
  if (c >= '0' && c <= '9') return 0.64;
  if (c == 'i' || c == 'l' || c == 'j' || c == 'I' || c == '\'') return 0.3;
  if (c == 'm' || c == 'w' || c == 'M' || c == 'W' || c == '%') return 0.98;
  if (c >= 'A' && c <= 'Z') return 0.76;
  if (c == '=' || c == '+' || c == '<' || c == '>') return 0.84;
  if (c == '(' || c == ')' || c == '[' || c == ']' || c == '-' || c == 'f' || c == 't' || c == 'r') return 0.42;
  return 0.62;
}

double text_width(const std::string& text, double font_size, bool bold = false) {
  double ems = 0.0;
  for (char c : text) ems += advance(c);
  return ems * font_size * (bold ? 1.1 : 1.0);
}

// Values to pixels along x: linear in the value, or in its logarithm for the risk ratios.
// The axis ends sit `inset` pixels inside the plot area so a marker on an end is whole.
struct Scale {
  double v0 = 0.0, v1 = 1.0;  // axis ends (logarithms for a log scale)
  double x0 = 0.0, x1 = 1.0;
  bool log = false;

  Scale(const Axis& axis, double left, double right, double inset, bool logarithmic)
      : x0(left + inset), x1(right - inset), log(logarithmic) {
    v0 = log ? std::log(axis.lo) : axis.lo;
    v1 = log ? std::log(axis.hi) : axis.hi;
    if (!(v1 > v0) || !std::isfinite(v1 - v0)) v1 = v0 + 1.0;  // never a division by zero
  }
  double operator()(double value) const {
    const double t = log ? std::log(value) : value;
    return x0 + (t - v0) / (v1 - v0) * (x1 - x0);
  }
};

// Which tick labels to write: `first` (the tick at 1 on the risk-ratio axis) and the two ends
// go first, then the others from left to right; a label that would touch one already placed
// is left out (its tick mark stays).
std::vector<bool> readable_labels(const std::vector<double>& xs, const std::vector<std::string>& labels,
                                  std::size_t first) {
  const std::size_t n = xs.size();
  std::vector<std::size_t> order;
  if (first < n) order.push_back(first);
  if (n > 0) order.push_back(0);
  if (n > 1) order.push_back(n - 1);
  for (std::size_t i = 1; i + 1 < n; ++i) order.push_back(i);
  std::vector<bool> shown(n, false);
  for (std::size_t i : order) {
    if (shown[i]) continue;
    bool clear = true;
    for (std::size_t j = 0; j < n && clear; ++j) {
      const double room = (text_width(labels[i], kTickFont) + text_width(labels[j], kTickFont)) / 2.0 + 6.0;
      if (shown[j] && std::fabs(xs[i] - xs[j]) < room) clear = false;
    }
    shown[i] = clear;
  }
  return shown;
}

// A horizontal axis line with ticks below it and readable labels. The classes let readers
// of the document find the axis (`name`-axis), its ticks and their labels.
void draw_x_axis(Document& doc, const std::string& name, const Axis& axis, const Scale& scale, double left,
                 double right, double y) {
  doc.add("line", {{"class", name + "-axis"}, {"x1", left}, {"y1", y}, {"x2", right}, {"y2", y}, {"stroke", kInk}});
  std::vector<double> xs;
  std::vector<std::string> labels;
  std::size_t at_one = axis.ticks.size();
  for (double tick : axis.ticks) {
    if (tick == 1.0 && scale.log) at_one = xs.size();
    xs.push_back(scale(tick));
    labels.push_back(format_tick(tick));
  }
  const std::vector<bool> shown = readable_labels(xs, labels, at_one);
  for (std::size_t i = 0; i < xs.size(); ++i) {
    doc.add("line", {{"class", name + "-tick"}, {"x1", xs[i]}, {"y1", y}, {"x2", xs[i]}, {"y2", y + 5.0},
                     {"stroke", kInk}});
    if (shown[i]) {
      doc.add_text(labels[i], {{"class", name + "-tick-label"}, {"x", xs[i]}, {"y", y + 18.0},
                               {"font-size", kTickFont}, {"text-anchor", "middle"}, {"fill", kInk}});
    }
  }
}

void draw_text(Document& doc, const std::string& text, double x, double y, double size, const char* anchor,
               const char* cls, const char* fill = kInk, const char* weight = "normal") {
  doc.add_text(text, {{"class", cls}, {"x", x}, {"y", y}, {"font-size", size}, {"text-anchor", anchor},
                      {"fill", fill}, {"font-weight", weight}});
}

// A small filled triangle with its tip at (x, y), pointing left (direction -1) or right (+1):
// the end of a line that runs on beyond the axis.
void draw_arrow_head(Document& doc, double x, double y, double direction, double size, const char* fill,
                     const char* cls) {
  const double back = x - direction * size;
  const std::string points = svg::number(x) + "," + svg::number(y) + " " + svg::number(back) + "," +
                             svg::number(y - size * 0.6) + " " + svg::number(back) + "," + svg::number(y + size * 0.6);
  doc.add("polygon", {{"class", cls}, {"points", points}, {"fill", fill}});
}

std::string estimation_text(std::int32_t iopt) {
  if (iopt == 1) return "type of estimation 1: fixed prevalence of total events";
  if (iopt == 2) return "type of estimation 2: random prevalence of total events";
  return "type of estimation " + std::to_string(iopt);
}

bool on_log_axis(float value) { return std::isfinite(value) && value > 0.0f; }

// ---------------------------------------------------------------------------------------------
// Title block

// Program name, estimation, counts and the four results, above both panels.
constexpr double kTitleHeight = 92.0;

std::string program_title(Variant variant) {
  return variant == Variant::kOskev ? "OSKEV" : "OSKEV v1.0";
}

void draw_title(Document& doc, const PlotData& data) {
  const std::string program = program_title(data.variant);
  draw_text(doc, program + ": extreme low homogeneity of risk ratios", 20.0, 30.0, 20.0, "start", "title", kInk,
            "bold");
  const std::size_t studies = data.studies.size();
  const std::string study_count =
      format_count(static_cast<std::int64_t>(studies)) + (studies == 1 ? " study" : " studies");
  const std::string run_count = format_count(data.nruns) + (data.nruns == 1 ? " simulation run" : " simulation runs");
  draw_text(doc,
            "Mantel-Haenszel summary, " + estimation_text(data.iopt) + "; " + study_count + "; " + run_count, 20.0,
            52.0, 13.0, "start", "subtitle", kMuted);
  // One text each, spaced by their estimated widths: runs of blanks inside an SVG text
  // collapse to one.
  double x = 20.0;
  for (const std::string& value :
       {"RRMH = " + format_value(data.rrmh, 4), "Q = " + format_value(data.q, 4),
        "asymptotic P-value = " + format_p_value(data.pasym), "left-sided P-value = " + format_p_value(data.pemp)}) {
    draw_text(doc, value, x, 74.0, 13.0, "start", "summary-values", kInk, "bold");
    x += text_width(value, 13.0, true) + 24.0;
  }
  doc.add("line", {{"x1", 20}, {"y1", kTitleHeight - 4.0}, {"x2", kWidth - 20.0}, {"y2", kTitleHeight - 4.0},
                   {"stroke", "#cccccc"}});
}

// ---------------------------------------------------------------------------------------------
// Forest plot

struct ForestLayout {
  double row_height = 20.0;
  double font = 12.0;
  double top = 0.0;
  double rows_top = 0.0;
  double rows_bottom = 0.0;
  double axis_y = 0.0;
  double bottom = 0.0;

  ForestLayout(std::size_t studies, double panel_top) : top(panel_top) {
    row_height = studies <= 25 ? 20.0 : studies <= 50 ? 15.0 : 12.0;
    font = studies <= 25 ? 12.0 : studies <= 50 ? 11.0 : 10.0;
    rows_top = top + 54.0;
    rows_bottom = rows_top + static_cast<double>(studies + 1) * row_height;  // studies and the summary row
    axis_y = rows_bottom + 4.0;
    bottom = axis_y + 48.0;
  }
  double row_middle(std::size_t i) const { return rows_top + (static_cast<double>(i) + 0.5) * row_height; }
};

// The risk-ratio range: every plotted risk ratio, the summary and 1, then the limits of the
// plotted studies, but no more than one decade beyond the risk ratios on either side, so one
// study with an almost unbounded interval does not squeeze all others into a few pixels (its
// interval ends in an arrow).
Axis forest_axis(const PlotData& data) {
  double core_lo = 1.0, core_hi = 1.0;
  auto take = [](double& lo, double& hi, float v) {
    if (!on_log_axis(v)) return;
    lo = std::min(lo, static_cast<double>(v));
    hi = std::max(hi, static_cast<double>(v));
  };
  for (const PlotStudy& s : data.studies) take(core_lo, core_hi, s.rr);
  take(core_lo, core_hi, data.rrmh);
  double lo = core_lo, hi = core_hi;
  for (const PlotStudy& s : data.studies) {
    if (!on_log_axis(s.rr)) continue;
    take(lo, hi, s.rrll);
    take(lo, hi, s.rrul);
  }
  return plot_axes::log_axis(std::max(lo, core_lo / 10.0), std::min(hi, core_hi * 10.0));
}

std::string weight_text(float weight, double total) {
  if (!std::isfinite(weight) || weight <= 0.0f || !(total > 0.0) || !std::isfinite(total)) {
    return format_value(weight, 3);
  }
  const double percent = 100.0 * weight / total;
  // Tenths of a percent, as forest plots usually give them; a smaller share keeps one digit
  // rather than reading as 0.0%.
  if (percent < 0.05) return format_value(percent, 1) + "%";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f%%", percent);
  return buffer;
}

// One study's interval and marker. A limit that is not a number leaves out that side of the
// interval; a limit beyond the axis (0, infinite, or just far) ends in an arrow at the edge.
void draw_study_interval(Document& doc, const PlotStudy& s, const Axis& axis, const Scale& scale, double y,
                         double marker_side, bool hollow) {
  const double rr_x = scale(s.rr);
  struct End {
    double x;
    bool beyond;
  };
  auto end_of = [&](float limit) -> End {
    if (std::isnan(limit)) return {rr_x, false};
    if (limit <= 0.0f || limit < axis.lo) return {kPlotLeft, true};
    if (limit > axis.hi) return {kForestRight, true};
    return {scale(limit), false};
  };
  End a = end_of(s.rrll);
  End b = end_of(s.rrul);
  if (b.x < a.x) std::swap(a, b);
  doc.add("line", {{"class", "study-limits"}, {"x1", a.x}, {"y1", y}, {"x2", b.x}, {"y2", y}, {"stroke", kInk},
                   {"stroke-width", 1.3}});
  if (a.beyond) draw_arrow_head(doc, a.x, y, -1.0, 6.0, kInk, "limit-arrow");
  if (b.beyond) draw_arrow_head(doc, b.x, y, 1.0, 6.0, kInk, "limit-arrow");
  const double half = marker_side / 2.0;
  doc.add("rect", {{"class", "study-marker"}, {"x", rr_x - half}, {"y", y - half}, {"width", marker_side},
                   {"height", marker_side}, {"fill", hollow ? "#ffffff" : kStudyColour}, {"stroke", kStudyColour},
                   {"stroke-width", 1.2}});
}

void draw_forest(Document& doc, const PlotData& data, const ForestLayout& layout) {
  const std::size_t n = data.studies.size();
  const double top = layout.top;
  const Axis axis = forest_axis(data);
  const Scale scale(axis, kPlotLeft, kForestRight, 10.0, true);

  draw_text(doc, "Risk ratio of each study (arm 1 / arm 2) with its 95% limits; marker area by weight", 20.0,
            top + 20.0, 14.0, "start", "panel-title", kInk, "bold");
  const double head_y = top + 44.0;
  draw_text(doc, "Study", kStudyColumnRight, head_y, 12.0, "end", "column-head", kMuted, "bold");
  draw_text(doc, "RR [95% limits]", kEstimateLeft, head_y, 12.0, "start", "column-head", kMuted, "bold");
  draw_text(doc, "Weight", kWeightRight, head_y, 12.0, "end", "column-head", kMuted, "bold");

  // Every other row lightly shaded, so a number on the left is easily matched with its
  // values on the right.
  for (std::size_t i = 1; i < n; i += 2) {
    doc.add("rect", {{"x", 16}, {"y", layout.rows_top + static_cast<double>(i) * layout.row_height},
                     {"width", kWidth - 32.0}, {"height", layout.row_height}, {"fill", "#f1f4f8"}});
  }
  const double one_x = scale(1.0);
  doc.add("line", {{"class", "no-effect-line"}, {"x1", one_x}, {"y1", layout.rows_top}, {"x2", one_x},
                   {"y2", layout.rows_bottom}, {"stroke", "#999999"}});
  if (on_log_axis(data.rrmh)) {
    const double x = scale(data.rrmh);
    doc.add("line", {{"class", "summary-line"}, {"x1", x}, {"y1", layout.rows_top - 4.0}, {"x2", x},
                     {"y2", layout.rows_bottom}, {"stroke", kSummaryColour}, {"stroke-width", 1.5},
                     {"stroke-dasharray", "6,3"}});
    const std::string label = "RRMH " + format_value(data.rrmh, 4);
    const double half = text_width(label, 12.0, true) / 2.0;
    draw_text(doc, label, std::clamp(x, kPlotLeft + half, kForestRight - half), head_y, 12.0, "middle",
              "summary-label", kSummaryColour, "bold");
  } else {
    draw_text(doc, "RRMH " + format_value(data.rrmh, 4) + ": no summary line", (kPlotLeft + kForestRight) / 2.0,
              head_y, 12.0, "middle", "summary-missing", kSummaryColour, "bold");
  }

  double weight_max = 0.0, weight_total = 0.0;
  for (const PlotStudy& s : data.studies) {
    if (std::isfinite(s.weight) && s.weight > 0.0f) {
      weight_max = std::max(weight_max, static_cast<double>(s.weight));
      weight_total += s.weight;
    }
  }
  const double largest_side = std::min(layout.row_height * 0.8, 16.0);
  for (std::size_t i = 0; i < n; ++i) {
    const PlotStudy& s = data.studies[i];
    const double y = layout.row_middle(i);
    const double baseline = y + layout.font * 0.35;
    draw_text(doc, std::to_string(s.number), kStudyColumnRight, baseline, layout.font, "end", "study-number");
    if (on_log_axis(s.rr)) {
      // Marker area in proportion to the weight; a weight that cannot size it (not a positive
      // number) gives a small hollow marker.
      const bool sized = std::isfinite(s.weight) && s.weight > 0.0f && weight_max > 0.0;
      const double side =
          sized ? std::max(3.0, largest_side * std::sqrt(static_cast<double>(s.weight) / weight_max)) : 6.0;
      draw_study_interval(doc, s, axis, scale, y, side, !sized);
    } else {
      const std::string why = std::isfinite(s.rr) ? ": not on a log axis" : ": not plotted";
      const std::string text = "RR " + format_value(s.rr, 3) + why;
      doc.add("rect", {{"x", kPlotLeft + 2.0}, {"y", y - layout.row_height / 2.0 + 1.0},
                       {"width", text_width(text, layout.font) + 8.0}, {"height", layout.row_height - 2.0},
                       {"fill", "#ffffff"}});
      doc.add_text(text, {{"class", "nonfinite"}, {"x", kPlotLeft + 6.0}, {"y", baseline}, {"font-size", layout.font},
                          {"font-style", "italic"}, {"fill", kMuted}});
    }
    draw_text(doc, format_value(s.rr, 3) + " [" + format_value(s.rrll, 3) + ", " + format_value(s.rrul, 3) + "]",
              kEstimateLeft, baseline, layout.font, "start", "study-estimate");
    draw_text(doc, weight_text(s.weight, weight_total), kWeightRight, baseline, layout.font, "end", "study-weight");
  }
  const double summary_baseline = layout.row_middle(n) + layout.font * 0.35;
  draw_text(doc, "MH", kStudyColumnRight, summary_baseline, layout.font, "end", "study-number", kSummaryColour,
            "bold");
  draw_text(doc, format_value(data.rrmh, 4) + " (Mantel-Haenszel summary)", kEstimateLeft, summary_baseline,
            layout.font, "start", "summary-estimate", kSummaryColour, "bold");

  draw_x_axis(doc, "rr", axis, scale, kPlotLeft, kForestRight, layout.axis_y);
  draw_text(doc, "Risk ratio (log scale)", (kPlotLeft + kForestRight) / 2.0, layout.axis_y + 36.0, 12.0, "middle",
            "axis-title");
}

// ---------------------------------------------------------------------------------------------
// Null distribution of Q

struct SimulatedQ {
  std::int64_t finite = 0, undefined = 0, infinite = 0;
  double lo = 0.0, hi = 0.0;
};

SimulatedQ survey(const std::vector<float>& qsim) {
  SimulatedQ s;
  for (float q : qsim) {
    if (std::isnan(q)) {
      ++s.undefined;
    } else if (std::isinf(q)) {
      ++s.infinite;
    } else {
      s.lo = s.finite == 0 ? q : std::min(s.lo, static_cast<double>(q));
      s.hi = s.finite == 0 ? q : std::max(s.hi, static_cast<double>(q));
      ++s.finite;
    }
  }
  return s;
}

std::string runs_text(std::int64_t count) {
  return format_count(count) + (count == 1 ? " run" : " runs");
}

// From the panel's top to below its second caption line.
constexpr double kNullPanelHeight = 380.0;

void draw_null_distribution(Document& doc, const PlotData& data, double top) {
  const SimulatedQ sim = survey(data.qsim);
  const double strip_top = top + 32.0;   // observed-Q label lines live above the plot
  const double plot_top = top + 74.0;
  const double plot_bottom = plot_top + 210.0;
  const double middle_x = (kPlotLeft + kHistogramRight) / 2.0;

  draw_text(doc, "Null distribution of Q: simulated under the common risk ratio RRMH", 20.0, top + 20.0, 14.0,
            "start", "panel-title", kInk, "bold");
  const std::string q_label = "observed Q = " + format_value(data.q, 4);
  const std::string p_label = "left-sided P-value = " + format_p_value(data.pemp);

  std::string caption;
  if (sim.finite == 0) {
    doc.add("rect", {{"x", kPlotLeft}, {"y", plot_top}, {"width", kHistogramRight - kPlotLeft},
                     {"height", plot_bottom - plot_top}, {"fill", "#f7f7f7"}, {"stroke", "#cccccc"}});
    draw_text(doc, "no simulated Q to show", middle_x, (plot_top + plot_bottom) / 2.0, 14.0, "middle", "no-histogram",
              kMuted);
    draw_text(doc, q_label + " (not marked)", kPlotLeft, strip_top + 14.0, 12.0, "start", "observed-q-label",
              kSummaryColour, "bold");
    draw_text(doc, p_label, kPlotLeft, strip_top + 31.0, 12.0, "start", "p-value", kSummaryColour, "bold");
    caption = "No finite simulated Q among " + runs_text(static_cast<std::int64_t>(data.qsim.size())) + ".";
  } else {
    // The axis takes in the observed Q when it lies within half the simulated range of it;
    // farther out an arrow at the edge points to it. Q is a sum of squares, so an axis that
    // would start at no more than half its end starts at 0.
    double lo = sim.lo, hi = sim.hi;
    const double reach = sim.hi > sim.lo ? (sim.hi - sim.lo) / 2.0 : std::max(std::fabs(sim.hi), 1.0) / 2.0;
    if (std::isfinite(data.q) && data.q >= lo - reach && data.q <= hi + reach) {
      lo = std::min(lo, static_cast<double>(data.q));
      hi = std::max(hi, static_cast<double>(data.q));
    }
    if (lo >= 0.0 && lo <= hi / 2.0) lo = 0.0;
    const int bin_target = plot_axes::histogram_bin_target(static_cast<std::size_t>(sim.finite));
    const plot_axes::Histogram histogram = plot_axes::make_histogram(data.qsim, lo, hi, bin_target);
    Axis x_axis = plot_axes::linear_ticks_within(histogram.start, histogram.end(), 8);
    x_axis.lo = histogram.start;
    x_axis.hi = histogram.end();
    const Scale scale(x_axis, kPlotLeft, kHistogramRight, 0.0, false);

    const std::int64_t most = *std::max_element(histogram.counts.begin(), histogram.counts.end());
    // At most one tick per run, so a handful of runs is not counted in fractions.
    const int y_intervals = static_cast<int>(std::min<std::int64_t>(5, most));
    const Axis y_axis = plot_axes::linear_axis(0.0, static_cast<double>(most), y_intervals);
    const double y_span = y_axis.hi > 0.0 ? y_axis.hi : 1.0;
    auto y_of = [&](double count) { return plot_bottom - count / y_span * (plot_bottom - plot_top); };

    // The count axis stands a little left of Q's axis start, so an observed Q of about 0 (the
    // most homogeneous studies) does not hide its line in it.
    const double count_axis_x = kPlotLeft - 6.0;
    for (double tick : y_axis.ticks) {
      const double y = y_of(tick);
      doc.add("line", {{"x1", kPlotLeft}, {"y1", y}, {"x2", kHistogramRight}, {"y2", y}, {"stroke", "#e6e6e6"}});
      doc.add("line", {{"x1", count_axis_x - 5.0}, {"y1", y}, {"x2", count_axis_x}, {"y2", y}, {"stroke", kInk}});
      draw_text(doc, format_count(static_cast<std::int64_t>(tick)), count_axis_x - 8.0, y + 4.0, kTickFont, "end",
                "count-tick-label");
    }
    doc.add("line",
            {{"x1", count_axis_x}, {"y1", plot_top}, {"x2", count_axis_x}, {"y2", plot_bottom}, {"stroke", kInk}});
    const double count_title_y = (plot_top + plot_bottom) / 2.0;
    doc.add_text("Runs", {{"class", "axis-title"}, {"x", 26}, {"y", count_title_y}, {"font-size", 12},
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
    const bool shaded = q_number && data.q >= x_axis.lo;
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
  const double caption_y = plot_bottom + 60.0;  // the last line ends within kNullPanelHeight
  draw_text(doc, caption, kPlotLeft, caption_y, 12.0, "start", "caption", kMuted);
  std::string left_out = sim.undefined == 0 ? "No run has an undefined Q."
                                            : runs_text(sim.undefined) + " with an undefined Q left out.";
  if (sim.infinite > 0) left_out += " " + runs_text(sim.infinite) + " with an infinite Q not drawn.";
  draw_text(doc, left_out, kPlotLeft, caption_y + 17.0, 12.0, "start", "caption-undefined", kMuted);
}

}  // namespace

std::string render_plot(const PlotData& data) {
  // The height follows the number of studies, so the document's size is known before the
  // first element is written.
  const ForestLayout forest(data.studies.size(), kTitleHeight);
  const double null_top = forest.bottom + 12.0;
  const double height = null_top + kNullPanelHeight;

  const std::string title = program_title(data.variant) + ": risk ratios of the studies and the null distribution of Q";
  Document doc(kWidth, height, title, kFont);
  draw_title(doc, data);
  draw_forest(doc, data, forest);
  doc.add("line", {{"x1", 20}, {"y1", null_top - 4.0}, {"x2", kWidth - 20.0}, {"y2", null_top - 4.0},
                   {"stroke", "#cccccc"}});
  draw_null_distribution(doc, data, null_top);
  return doc.finish();
}

}  // namespace oskev::analysis
