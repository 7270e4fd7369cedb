#include "random/btpe_block.hpp"

#include <array>

#include "random/btpe_by_region.hpp"
#include "random/uniform_cursor.hpp"

namespace oskev::random {

namespace {

// Attempts decided together: enough for the sorting by region to pay, few enough that the
// uniforms computed beyond the last attempt needed cost little.
constexpr int kBlockAttempts = 128;

}  // namespace

// The attempts are independent of one another given their uniforms, so each block is sorted by
// region and every region is handled in a loop of its own. The variates are the accepted
// attempts in order, and the stream is left after the last attempt needed.
void btpe_block(std::int32_t nr, const BinomialSetup& s, std::int32_t* ir, Lehmer& stream) {
  constexpr int kB = kBlockAttempts;
  std::array<std::int32_t, 2 * kB> states;
  std::array<float, kB> us, vs, ws;
  std::array<std::int32_t, kB> ixs;
  std::array<std::uint8_t, kB> accepted;
  std::array<std::uint32_t, kB> in_parallelogram, in_left, in_right, far_tail;
  const btpe::RegionScratch room{in_parallelogram.data(), in_left.data(), in_right.data(), far_tail.data(),
                                 ixs.data(),              ws.data(),      accepted.data()};

  UniformCursor draw(stream);
  std::int32_t done = 0;
  while (done < nr) {
    draw.look_ahead(states.data(), 2 * kB);
    // Triangle attempts are settled here, the others decided region by region.
    for (int j = 0; j < kB; ++j) {
      const btpe::TriangleTry t =
          btpe::try_triangle(s, Lehmer::uniform(states[2 * j]), Lehmer::uniform(states[2 * j + 1]));
      us[j] = t.u;
      vs[j] = t.v;
      ixs[j] = t.ix;
      accepted[j] = !t.beyond_p1;
    }
    btpe::decide_beyond_triangle(
        kB, [&](std::size_t j) { return btpe::AttemptView{&s, us[j], vs[j]}; }, room);

    // Accepted attempts in order. A rejected attempt's value is written where the next
    // accepted one will go, never at or past ir[nr].
    for (int j = 0; j < kB; ++j) {
      ir[done] = ixs[j];
      done += accepted[j];
      if (done == nr) {
        draw.take_through(states[2 * j + 1]);
        return;
      }
    }
    draw.take_through(states[2 * kB - 1]);
  }
}

}  // namespace oskev::random
