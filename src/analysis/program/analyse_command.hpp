#pragma once

#include <string>
#include <vector>

#include "analysis/program/run_environment.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis {

// `oskev analyse [options] FILE...`: the test without the dialogue, on tables of studies and
// batches of meta-analyses. `arguments` are those after "analyse". Returns the exit status:
// 0 every meta-analysis analysed and everything written; 2 a file could not be read (nothing
// is reported for it); 3 some meta-analysis could not be analysed (its row says why); 4 the
// results or a picture could not be written; 64 a bad command line. The most serious applies.
// (A failed write to standard output is found and reported by the caller, as status 4.)
int analyse_main(Variant variant, const std::vector<std::string>& arguments, const RunEnvironment& environment);

}  // namespace oskev::analysis
