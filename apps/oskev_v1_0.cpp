#include "analysis/program/program.hpp"

int main(int argc, char** argv) {
  return oskev::analysis::process_main(oskev::analysis::Variant::kOskevV10, argc, argv);
}
