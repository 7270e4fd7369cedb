#pragma once

// Picture layer: one meta-analysis drawn as SVG, its studies' risk ratios and the null distribution of Q.

#include <string>

#include "analysis/plot/plot_model.hpp"

namespace oskev::analysis {

// A self-contained SVG document with two panels: the forest plot (each study's risk ratio
// with its 95% limits on a log axis, a marker sized by its weight, the study numbers and
// the summary as a vertical line) and the null distribution of Q (a histogram of the
// simulated values with the observed Q marked and the left-sided P-value beside it). The
// optional fields add the meta-analysis's name, study labels, the summary's diamond and the
// chi-squared density.
std::string render_plot(const PlotData& data);

}  // namespace oskev::analysis
