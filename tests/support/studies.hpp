#pragma once

// Studies shared by the suites, and the reading of studies written as in study.txt.

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/program/dialogue.hpp"
#include "analysis/records/list_reader.hpp"
#include "analysis/records/study.hpp"

namespace oskev::testing {

// The road of one run: three studies, the second with zero events in one arm and the third in
// both.
inline const std::string kRoadStudies = "15 120 25 118\n0 54 3 60\n0 40 0 38\n";
// Three studies with events in every arm.
inline const std::string kCommonStudies = "15 120 25 118\n20 100 25 110\n30 150 28 140\n";

// The first `nstudy` studies of `text`, read as the dialogue reads study.txt.
inline std::vector<analysis::Study> read_studies(const std::string& text, std::int32_t nstudy) {
  std::istringstream in(text);
  records::ListReader reader(in, 10, "study.txt");
  return analysis::read_study_file(reader, nstudy);
}

// Every study of `text` (four whole numbers per study).
inline std::vector<analysis::Study> studies_of(const std::string& text) {
  std::istringstream in(text);
  std::vector<analysis::Study> studies;
  analysis::Study s;
  while (in >> s.e1 >> s.s1 >> s.e2 >> s.s2) studies.push_back(s);
  return studies;
}

}  // namespace oskev::testing
