#include "analysis/plot.hpp"

namespace oskev::analysis {

// Placeholder until the picture is drawn: an empty, well-formed document.
std::string render_plot(const PlotData&) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"/>\n";
}

}  // namespace oskev::analysis
