#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/plot/plot_axes.hpp"
#include "analysis/plot/svg_writer.hpp"

// Page geometry, colours and the small drawing pieces both panels of the picture share.
namespace oskev::analysis::plot_draw {

inline constexpr double kWidth = 960.0;
inline constexpr const char* kFont = "DejaVu Sans, Verdana, Arial, Helvetica, sans-serif";
inline constexpr const char* kInk = "#222222";
inline constexpr const char* kMuted = "#666666";
inline constexpr const char* kStudyColour = "#1f4e79";
inline constexpr const char* kSummaryColour = "#c0392b";
inline constexpr const char* kBarColour = "#b7cbe2";
inline constexpr const char* kShadedBarColour = "#1f4e79";
inline constexpr const char* kDensityColour = "#e67e22";

// Columns shared by both panels: without study labels the plot areas line up one above the
// other.
inline constexpr double kStudyColumnRight = 64.0;
inline constexpr double kPlotLeft = 84.0;
inline constexpr double kForestRight = 590.0;
inline constexpr double kEstimateLeft = 612.0;
inline constexpr double kWeightRight = 936.0;
inline constexpr double kHistogramRight = 910.0;
inline constexpr double kTickFont = 11.0;

// The estimated width of a text in pixels, from the advance of each character in ems after
// DejaVu Sans, rounded up: labels are placed and thinned by it without measuring glyphs, and
// the narrower fallback fonts only add room. A character beyond ASCII counts once, by the
// length of its UTF-8 sequence (wide for the scripts of three and four bytes).
double text_width(std::string_view text, double font_size, bool bold = false);

// User text made fit for one line of at most `max_width` pixels: invalid UTF-8 and control
// characters become U+FFFD, tabs and line breaks blanks, and a text too wide is cut at a
// character boundary and ends in an ellipsis.
std::string fit_text(std::string_view text, double max_width, double font_size, bool bold = false);

// Values to pixels along x: linear in the value, or in its logarithm for the risk ratios.
// The axis ends sit `inset` pixels inside the plot area so a marker on an end is whole.
struct Scale {
  double v0 = 0.0, v1 = 1.0;  // axis ends (logarithms for a log scale)
  double x0 = 0.0, x1 = 1.0;
  bool log = false;

  Scale(const plot_axes::Axis& axis, double left, double right, double inset, bool logarithmic);
  double operator()(double value) const;
};

// A horizontal axis line with ticks below it and readable labels. The classes let readers
// of the document find the axis (`name`-axis), its ticks and their labels.
void draw_x_axis(svg::Document& doc, const std::string& name, const plot_axes::Axis& axis, const Scale& scale,
                 double left, double right, double y);

void draw_text(svg::Document& doc, const std::string& text, double x, double y, double size, const char* anchor,
               const char* cls, const char* fill = kInk, const char* weight = "normal");

// A small filled triangle with its tip at (x, y), pointing left (direction -1) or right (+1):
// the end of a line that runs on beyond the axis.
void draw_arrow_head(svg::Document& doc, double x, double y, double direction, double size, const char* fill,
                     const char* cls);

// "1 run", "80,000 runs".
std::string runs_text(std::int64_t count);

// Points "x,y x,y ..." of a polygon or polyline.
std::string points_text(const std::vector<double>& xs, const std::vector<double>& ys);

}  // namespace oskev::analysis::plot_draw
