#pragma once

// The simulated tables of every study over a slice of runs, as the null models fill them and
// the statistics of every run read them.

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/estimates/study_table.hpp"

namespace oskev::analysis {

// Simulated event counts of one arm over all runs. A count never exceeds the arm's size, so
// 16 bits hold it whenever the arm has at most 65535 subjects: half the memory of the
// simulation's largest store.
class CountColumn {
 public:
  void reset(std::int32_t arm_size, std::size_t runs) {
    wide_ = arm_size > 65535;
    if (wide_) {
      wide_values_.assign(runs, 0);
    } else {
      narrow_values_.assign(runs, 0);
    }
  }
  void set(std::size_t k, std::int32_t value) {
    if (wide_) {
      wide_values_[k] = value;
    } else {
      narrow_values_[k] = static_cast<std::uint16_t>(value);
    }
  }
  std::int32_t get(std::size_t k) const { return wide_ ? wide_values_[k] : narrow_values_[k]; }

 private:
  bool wide_ = false;
  std::vector<std::uint16_t> narrow_values_;
  std::vector<std::int32_t> wide_values_;
};

// One simulated table, corrected, with the arm sizes that go with its correction.
struct SimulatedTable {
  float a;   // events, arm 1
  float c;   // events, arm 2
  float s1;  // subjects, arm 1
  float s2;  // subjects, arm 2
};

// A study's simulated tables and how their zero cells are corrected. Each table is evaluated
// with sizes of its own: those of its correction when it was corrected, the arm sizes as
// read (those its binomial draws used) otherwise, so no table's correction changes another
// table's statistics.
struct SimulatedStudy {
  CountColumn arm1;
  CountColumn arm2;
  double add_one = 0.0;   // added to both event counts when exactly one arm has none
  double add_both = 0.0;  // added to both when neither has any
  float raw_s1 = 0.0f, raw_s2 = 0.0f;
  float one_s1 = 0.0f, one_s2 = 0.0f;
  float both_s1 = 0.0f, both_s2 = 0.0f;

  // `one_size` and `both_size` are what each correction adds to the subjects of an arm.
  void prepare(const std::array<std::int32_t, 4>& raw, std::size_t runs, double one, double both,
               double one_size, double both_size) {
    add_one = one;
    add_both = both;
    raw_s1 = static_cast<float>(raw[kSubjects1]);
    raw_s2 = static_cast<float>(raw[kSubjects2]);
    one_s1 = static_cast<float>(raw[kSubjects1] + one_size);
    one_s2 = static_cast<float>(raw[kSubjects2] + one_size);
    both_s1 = static_cast<float>(raw[kSubjects1] + both_size);
    both_s2 = static_cast<float>(raw[kSubjects2] + both_size);
    arm1.reset(raw[kSubjects1], runs);
    arm2.reset(raw[kSubjects2], runs);
  }

  SimulatedTable table(std::size_t k) const {
    const std::int32_t a = arm1.get(k);
    const std::int32_t c = arm2.get(k);
    const float sima = static_cast<float>(a);
    const float simc = static_cast<float>(c);
    if ((a == 0) != (c == 0)) {
      return {static_cast<float>(sima + add_one), static_cast<float>(simc + add_one), one_s1, one_s2};
    }
    if (a == 0) {
      return {static_cast<float>(sima + add_both), static_cast<float>(simc + add_both), both_s1, both_s2};
    }
    return {sima, simc, raw_s1, raw_s2};
  }
};

}  // namespace oskev::analysis
