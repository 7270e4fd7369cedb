#pragma once

// BTPE attempts decided many at a time, region by region, for the two faster paths (a block of
// one stream's attempts, and the attempts of many single draws side by side). They decide each
// attempt with the one-variate method's own steps (btpe.hpp), only in another order: attempts
// are independent of one another once their uniforms are known.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "random/btpe.hpp"
#include "text/bit_cast.hpp"

namespace oskev::random::btpe {

// An attempt with uniforms (first, v): U = first·P4, and the variate the triangle gives when U
// lies within P1. Beyond P1 that value is not used, and P1 in place of U keeps the conversion
// in range. The smaller of the two is taken without a branch, which would be mispredicted
// half the time: both are positive, so their bit patterns order as the values do, and the
// integer minimum compiles to a conditional move where the floating-point one became a branch.
struct TriangleTry {
  float u;
  float v;
  bool beyond_p1;
  std::int32_t ix;
};

inline TriangleTry try_triangle(const BinomialSetup& s, float first, float v) {
  const float u = scaled(s, first);
  const float within =
      text::bit_cast<float>(std::min(text::bit_cast<std::int32_t>(u), text::bit_cast<std::int32_t>(s.p1)));
  return {u, v, u > s.p1, triangle(s, within, v)};
}

// An attempt as the acceptance test sees it.
struct AttemptView {
  const BinomialSetup* setup;
  float u;  // uniform·P4
  float v;
};

// Room for count attempts: the members of each region, those needing the far test, and the
// outcome of each attempt.
struct RegionScratch {
  std::uint32_t* parallelogram;
  std::uint32_t* left;
  std::uint32_t* right;
  std::uint32_t* far_tail;
  std::int32_t* ixs;
  float* ws;
  std::uint8_t* accepted;
};

// Decides those of attempts 0 ... count - 1 that lie beyond P1 (attempt(j) gives attempt j),
// leaving those within it alone: the attempts are sorted by region and every region is decided in a loop of its own, free of the
// unpredictable branch between regions. Writes the candidate ixs[j], its ordinate ws[j] and
// accepted[j], exactly as the one-variate method decides the attempt.
template <typename AttemptOf>
void decide_beyond_triangle(std::size_t count, AttemptOf attempt, const RegionScratch& room) {
  // The regions are nested intervals of U: counted without branches. An attempt within P1
  // counts in none.
  std::size_t par = 0, left = 0, right = 0;
  for (std::size_t j = 0; j < count; ++j) {
    const AttemptView a = attempt(j);
    const auto slot = static_cast<std::uint32_t>(j);
    room.parallelogram[par] = slot;
    room.left[left] = slot;
    room.right[right] = slot;
    const std::size_t beyond_p1 = a.u > a.setup->p1;
    const std::size_t beyond_p2 = a.u > a.setup->p2;
    const std::size_t beyond_p3 = a.u > a.setup->p3;
    par += beyond_p1 - beyond_p2;
    left += beyond_p2 - beyond_p3;
    right += beyond_p3;
  }
  // A candidate within kExplicitBound of the mode is decided by its ratio here; the rest go to
  // the far test.
  std::size_t nfar = 0;
  const auto settle_region = [&](const std::uint32_t* members, std::size_t members_count, auto region) {
    for (std::size_t t = 0; t < members_count; ++t) {
      const std::uint32_t j = members[t];
      const AttemptView a = attempt(j);
      const BinomialSetup& s = *a.setup;
      const Candidate c = region(s, a.u, a.v);
      const bool near = distance(s, c.ix) <= kExplicitBound;
      const std::size_t slot = near ? ratio_slot(s, c.ix) : 0;
      room.ixs[j] = c.ix;
      room.ws[j] = c.w;
      // Non-short-circuit: the outcome is data, not a branch.
      room.accepted[j] = c.inside & near & (c.w <= s.ratio[slot]);
      room.far_tail[nfar] = j;
      nfar += c.inside & !near;
    }
  };
  // The regions as objects of distinct types, so that each loop inlines its own.
  settle_region(room.parallelogram, par, [](const BinomialSetup& s, float u, float v) { return parallelogram(s, u, v); });
  settle_region(room.left, left, [](const BinomialSetup& s, float u, float v) { return left_tail(s, u, v); });
  settle_region(room.right, right, [](const BinomialSetup& s, float u, float v) { return right_tail(s, u, v); });
  for (std::size_t t = 0; t < nfar; ++t) {
    const std::uint32_t j = room.far_tail[t];
    const BinomialSetup& s = *attempt(j).setup;
    room.accepted[j] = accepts_far(s, room.ixs[j], distance(s, room.ixs[j]), room.ws[j]);
  }
}

}  // namespace oskev::random::btpe
