#pragma once

#include <string>

#include "analysis/batch/batch.hpp"

namespace oskev::analysis {

// The picture of one analysed meta-analysis of a batch, as `oskev analyse --plot` draws it: its
// name, the study labels, the summary's limits and the chi-squared density over the histogram of
// its simulated Q (which the picture takes over). `program` names the program in the title.
std::string batch_picture(const std::string& program, const BatchItem& item, const Model& model, const Result& result,
                          QDistribution&& distribution);

}  // namespace oskev::analysis
