#pragma once

#include <cstddef>

#include "analysis/plot/plot_model.hpp"
#include "analysis/plot/svg_writer.hpp"

// The forest plot of the picture: each study's risk ratio with its 95% limits.
namespace oskev::analysis::plot_forest {

// Rows, axis and columns of the forest plot, known before anything is drawn.
struct ForestLayout {
  double row_height = 20.0;
  double font = 12.0;
  double top = 0.0;
  double rows_top = 0.0;
  double rows_bottom = 0.0;
  double axis_y = 0.0;
  double bottom = 0.0;
  // Study labels, when given, take a left column as wide as the widest (up to a limit, longer
  // ones are cut) and push the plot area's left edge out.
  bool labelled = false;
  double plot_left = 0.0;

  ForestLayout(const PlotData& data, double panel_top);
  double row_middle(std::size_t i) const;
};

void draw_forest(svg::Document& doc, const PlotData& data, const ForestLayout& layout);

}  // namespace oskev::analysis::plot_forest
