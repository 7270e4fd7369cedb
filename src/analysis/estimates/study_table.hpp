#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/records/study.hpp"

namespace oskev::analysis {

// Columns of a study: events and subjects of arm 1, events and subjects of arm 2.
enum Column : std::size_t { kEvents1 = 0, kSubjects1 = 1, kEvents2 = 2, kSubjects2 = 3 };

// The observed two-arm tables and each study's risk ratio (arm 1 over arm 2) with the
// variance of its logarithm, its inverse-variance weight and its 95% limits. Made whole by
// make_study_table, so no part of it is read before it is formed.
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

// Refuses counts no study can have, before anything is computed from them: a negative count,
// or more events than subjects in an arm. Their estimates would be meaningless, and the
// simulation would stop on an impossible probability or redraw without end.
void check_study_counts(std::span<const Study> studies);

// The complete table of the counts as read: the counts in single precision with the
// continuity corrections applied, each study's size, risk ratio, variance, weight and
// limits. The corrections: zero events in exactly one arm adds `ccone` to both event counts
// and twice `ccone` to both arm sizes; zero events in both arms the same with `ccboth`. The
// tests look at the counts as read, so a study is corrected at most once.
StudyTable make_study_table(std::span<const Study> studies, float ccone, float ccboth);

// The counts as read, in single precision, as they are printed before the corrections.
std::vector<std::array<float, 4>> counts_as_read(const StudyTable& table);

}  // namespace oskev::analysis
