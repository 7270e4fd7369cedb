#include "analysis/plot/plot_forest.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/plot/plot_axes.hpp"
#include "analysis/plot/plot_draw.hpp"

namespace oskev::analysis::plot_forest {

using namespace plot_draw;
using plot_axes::Axis;
using plot_axes::format_value;
using svg::Document;

namespace {

constexpr double kLabelLeft = 20.0;
// The widest a study label may be: with it the risk-ratio axis keeps about 330 pixels.
constexpr double kLabelWidthMost = 220.0;
constexpr double kLabelGap = 16.0;

bool on_log_axis(float value) { return std::isfinite(value) && value > 0.0f; }

double font_for(std::size_t studies) {
  return studies <= 25 ? 12.0 : studies <= 50 ? 11.0 : 10.0;
}

// The label of study i, cut to the column; its number where it has none.
std::string study_label(const PlotData& data, std::size_t i, double font) {
  if (i < data.labels.size()) {
    std::string label = fit_text(data.labels[i], kLabelWidthMost, font);
    if (label.find_first_not_of(' ') != std::string::npos) return label;
  }
  return std::to_string(data.studies[i].number);
}

std::string summary_row_label(bool labelled) {
  return labelled ? "MH summary" : "MH";
}

}  // namespace

ForestLayout::ForestLayout(const PlotData& data, double panel_top) : top(panel_top) {
  const std::size_t studies = data.studies.size();
  row_height = studies <= 25 ? 20.0 : studies <= 50 ? 15.0 : 12.0;
  font = font_for(studies);
  rows_top = top + 54.0;
  rows_bottom = rows_top + static_cast<double>(studies + 1) * row_height;  // studies and the summary row
  axis_y = rows_bottom + 4.0;
  bottom = axis_y + 48.0;
  labelled = !data.labels.empty();
  plot_left = kPlotLeft;
  if (labelled) {
    double widest = text_width(summary_row_label(true), font, true);
    for (std::size_t i = 0; i < studies; ++i) widest = std::max(widest, text_width(study_label(data, i, font), font));
    plot_left = std::max(kPlotLeft, kLabelLeft + std::min(widest, kLabelWidthMost) + kLabelGap);
  }
}

double ForestLayout::row_middle(std::size_t i) const {
  return rows_top + (static_cast<double>(i) + 0.5) * row_height;
}

namespace {

// The risk-ratio range: every plotted risk ratio, the summary and 1, then the limits of the
// plotted studies and of the summary, but no more than one decade beyond the risk ratios on
// either side, so one study with an almost unbounded interval does not squeeze all others
// into a few pixels (its interval ends in an arrow).
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
  if (data.summary_limits && on_log_axis(data.rrmh)) {
    take(lo, hi, data.summary_limits->first);
    take(lo, hi, data.summary_limits->second);
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

// Where a limit of an interval centred at `centre_x` ends: a limit that is not a number
// leaves out that side; one beyond the axis (0, infinite, or just far) ends at the edge.
struct End {
  double x;
  bool beyond;
};
End end_of(float limit, double centre_x, const Axis& axis, const Scale& scale, double left) {
  if (std::isnan(limit)) return {centre_x, false};
  if (limit <= 0.0f || limit < axis.lo) return {left, true};
  if (limit > axis.hi) return {kForestRight, true};
  return {scale(limit), false};
}

// One study's interval and marker; a limit beyond the axis ends in an arrow at the edge.
void draw_study_interval(Document& doc, const PlotStudy& s, const Axis& axis, const Scale& scale, double left,
                         double y, double marker_side, bool hollow) {
  const double rr_x = scale(s.rr);
  End a = end_of(s.rrll, rr_x, axis, scale, left);
  End b = end_of(s.rrul, rr_x, axis, scale, left);
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

// The summary with its 95% limits as a diamond in the summary row: centred at RRMH, its left
// and right points at the limits (at the edge of the plot, where a limit lies beyond it).
void draw_summary_diamond(Document& doc, const PlotData& data, const Axis& axis, const Scale& scale,
                          const ForestLayout& layout, double y) {
  const double x = scale(data.rrmh);
  End a = end_of(data.summary_limits->first, x, axis, scale, layout.plot_left);
  End b = end_of(data.summary_limits->second, x, axis, scale, layout.plot_left);
  if (b.x < a.x) std::swap(a, b);
  const double half_height = std::min(layout.row_height * 0.4, 7.0);
  doc.add("polygon", {{"class", "summary-diamond"},
                      {"points", points_text({a.x, x, b.x, x}, {y, y - half_height, y, y + half_height})},
                      {"fill", kSummaryColour}, {"stroke", kSummaryColour}, {"stroke-width", 1}});
}

std::string summary_text(const PlotData& data) {
  if (!data.summary_limits) return format_value(data.rrmh, 4) + " (Mantel-Haenszel summary)";
  return format_value(data.rrmh, 4) + " [" + format_value(data.summary_limits->first, 4) + ", " +
         format_value(data.summary_limits->second, 4) + "]";
}

}  // namespace

void draw_forest(Document& doc, const PlotData& data, const ForestLayout& layout) {
  const std::size_t n = data.studies.size();
  const double top = layout.top;
  const double left = layout.plot_left;
  const Axis axis = forest_axis(data);
  const Scale scale(axis, left, kForestRight, 10.0, true);

  draw_text(doc, "Risk ratio of each study (arm 1 / arm 2) with its 95% limits; marker area by weight", 20.0,
            top + 20.0, 14.0, "start", "panel-title", kInk, "bold");
  const double head_y = top + 44.0;
  if (layout.labelled) {
    draw_text(doc, "Study", kLabelLeft, head_y, 12.0, "start", "column-head", kMuted, "bold");
  } else {
    draw_text(doc, "Study", kStudyColumnRight, head_y, 12.0, "end", "column-head", kMuted, "bold");
  }
  draw_text(doc, "RR [95% limits]", kEstimateLeft, head_y, 12.0, "start", "column-head", kMuted, "bold");
  draw_text(doc, "Weight", kWeightRight, head_y, 12.0, "end", "column-head", kMuted, "bold");

  // Every other row lightly shaded, so a study on the left is easily matched with its
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
    draw_text(doc, label, std::clamp(x, left + half, kForestRight - half), head_y, 12.0, "middle", "summary-label",
              kSummaryColour, "bold");
  } else {
    draw_text(doc, "RRMH " + format_value(data.rrmh, 4) + ": no summary line", (left + kForestRight) / 2.0, head_y,
              12.0, "middle", "summary-missing", kSummaryColour, "bold");
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
    if (layout.labelled) {
      draw_text(doc, study_label(data, i, layout.font), kLabelLeft, baseline, layout.font, "start", "study-label");
    } else {
      draw_text(doc, std::to_string(s.number), kStudyColumnRight, baseline, layout.font, "end", "study-number");
    }
    if (on_log_axis(s.rr)) {
      // Marker area in proportion to the weight; a weight that cannot size it (not a positive
      // number) gives a small hollow marker.
      const bool sized = std::isfinite(s.weight) && s.weight > 0.0f && weight_max > 0.0;
      const double side =
          sized ? std::max(3.0, largest_side * std::sqrt(static_cast<double>(s.weight) / weight_max)) : 6.0;
      draw_study_interval(doc, s, axis, scale, left, y, side, !sized);
    } else {
      const std::string why = std::isfinite(s.rr) ? ": not on a log axis" : ": not plotted";
      const std::string text = "RR " + format_value(s.rr, 3) + why;
      doc.add("rect", {{"x", left + 2.0}, {"y", y - layout.row_height / 2.0 + 1.0},
                       {"width", text_width(text, layout.font) + 8.0}, {"height", layout.row_height - 2.0},
                       {"fill", "#ffffff"}});
      doc.add_text(text, {{"class", "nonfinite"}, {"x", left + 6.0}, {"y", baseline}, {"font-size", layout.font},
                          {"font-style", "italic"}, {"fill", kMuted}});
    }
    draw_text(doc, format_value(s.rr, 3) + " [" + format_value(s.rrll, 3) + ", " + format_value(s.rrul, 3) + "]",
              kEstimateLeft, baseline, layout.font, "start", "study-estimate");
    draw_text(doc, weight_text(s.weight, weight_total), kWeightRight, baseline, layout.font, "end", "study-weight");
  }
  const double summary_y = layout.row_middle(n);
  const double summary_baseline = summary_y + layout.font * 0.35;
  if (layout.labelled) {
    draw_text(doc, summary_row_label(true), kLabelLeft, summary_baseline, layout.font, "start",
              "summary-row-label", kSummaryColour, "bold");
  } else {
    draw_text(doc, summary_row_label(false), kStudyColumnRight, summary_baseline, layout.font, "end", "study-number",
              kSummaryColour, "bold");
  }
  if (data.summary_limits && on_log_axis(data.rrmh)) draw_summary_diamond(doc, data, axis, scale, layout, summary_y);
  draw_text(doc, summary_text(data), kEstimateLeft, summary_baseline, layout.font, "start", "summary-estimate",
            kSummaryColour, "bold");

  draw_x_axis(doc, "rr", axis, scale, left, kForestRight, layout.axis_y);
  draw_text(doc, "Risk ratio (log scale)", (left + kForestRight) / 2.0, layout.axis_y + 36.0, 12.0, "middle",
            "axis-title");
}

}  // namespace oskev::analysis::plot_forest
