#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/records/list_reader.hpp"
#include "analysis/records/list_writer.hpp"

namespace oskev::analysis {

// Columns of a study: events and subjects of arm 1, events and subjects of arm 2.
enum Column : std::size_t { kEvents1 = 0, kSubjects1 = 1, kEvents2 = 2, kSubjects2 = 3 };

// The observed two-arm tables and each study's risk ratio (arm 1 over arm 2) with the
// variance of its logarithm, its inverse-variance weight and its 95% limits.
struct StudyTable {
  std::vector<std::array<std::int32_t, 4>> NCOUNT;  // as read
  std::vector<std::array<float, 4>> COUNT;          // after the continuity corrections
  // Study size: the corrected s1 + s2 truncated toward zero. An integral value, held in
  // double so that no size near the 32-bit limit can wrap.
  std::vector<double> NTOT;
  std::vector<float> PRODA;    // e1 * s2
  std::vector<float> PRODC;    // e2 * s1
  std::vector<float> RR;       // PRODA / PRODC
  std::vector<float> VLOGRR;   // variance of ln RR
  std::vector<float> WEIGHT;   // 1 / VLOGRR
  std::vector<float> SELOGRR;  // sqrt(VLOGRR)
  std::vector<float> RRLL;     // lower 95% limit
  std::vector<float> RRUL;     // upper 95% limit

  std::size_t size() const noexcept { return NCOUNT.size(); }
};

// One read operation of 4 x nstudy integers, study after study, each as e1 s1 e2 s2.
// COUNT starts as the counts converted to single precision.
StudyTable read_study_table(records::ListReader& study, std::int32_t nstudy);

// COUNT <- the counts as read (NCOUNT) converted to single precision, before any correction.
void convert_counts(StudyTable& table);

// Refuses a table no study can have, before anything is computed from it: a negative count,
// or more events than subjects in an arm. Its estimates would be meaningless, and the
// simulation would stop on an impossible probability or redraw without end.
void check_study_table(const StudyTable& table);

// Zero events in exactly one arm: `ccone` is added to both event counts and twice `ccone` to
// both arm sizes; zero events in both arms: the same with `ccboth`. The tests look at the
// counts as read, so a study is corrected at most once.
void apply_continuity_corrections(StudyTable& table, float ccone, float ccboth);

void compute_risk_ratios(StudyTable& table);     // PRODA, PRODC, RR
void compute_study_sizes(StudyTable& table);     // NTOT
void compute_limits(StudyTable& table);          // VLOGRR, WEIGHT, SELOGRR, RRLL, RRUL

// One record per study with the four (corrected or not yet corrected) counts, then an
// empty line.
void print_counts(records::ListWriter& console, const StudyTable& table);
// The heading, one record per study with its number, RR and limits, then an empty line.
void print_risk_ratios(records::ListWriter& console, const StudyTable& table);

}  // namespace oskev::analysis
