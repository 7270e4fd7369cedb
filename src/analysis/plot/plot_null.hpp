#pragma once

#include "analysis/plot/plot_model.hpp"
#include "analysis/plot/q_distribution.hpp"
#include "analysis/plot/svg_writer.hpp"

// The lower panel of the picture: the null distribution of Q from the simulation.
namespace oskev::analysis::plot_null {

// From the panel's top to below its last caption line.
double panel_height(const PlotData& data, const QDistribution& simulated);

// The histogram of the simulated Q with the observed Q marked, the left-sided P-value beside
// it, and the chi-squared density over it when the data ask for it.
void draw_null_distribution(svg::Document& doc, const PlotData& data, const QDistribution& simulated, double top);

}  // namespace oskev::analysis::plot_null
