#include "random/binomial_singles.hpp"

#include "random/binomial_fold.hpp"
#include "random/binomial_inversion.hpp"
#include "random/btpe_by_region.hpp"
#include "random/lehmer.hpp"

namespace oskev::random {

void SingleDrawScratch::reserve(std::size_t count) {
  if (attempts.size() >= count) return;
  for (auto* v : {&in_parallelogram, &in_left, &in_right, &far_tail}) v->resize(count);
  attempts.resize(count);
  ixs.resize(count);
  ws.resize(count);
  accepted.resize(count);
}

namespace {

// A draw's first BTPE attempt, or the next attempt of a draw whose attempt ending at state `x`
// was rejected: its two uniforms from the draw's own stream. One in the triangle ends the draw;
// its variate is written either way, and replaced when a later attempt ends the draw.
inline SingleDrawScratch::Attempt attempt_after(std::int32_t x, const BinomialSetup& s, std::uint32_t index,
                                                SingleDraw& d, bool& waiting) {
  const std::int32_t first = Lehmer::next_state(x);
  const std::int32_t second = Lehmer::next_state(first);
  const btpe::TriangleTry t = btpe::try_triangle(s, Lehmer::uniform(first), Lehmer::uniform(second));
  d.variate = unfold(s.mirrored, d.n, t.ix);
  waiting = t.beyond_p1;
  return {&s, index, second, t.u, t.v};
}

}  // namespace

void draw_singles(std::span<SingleDraw> draws, BinomialSetupCache& setups, SingleDrawScratch& scratch) {
  // Set-ups referred to below stay where they are until the next trim.
  setups.trim();
  scratch.reserve(draws.size());
  auto& attempts = scratch.attempts;

  // First attempts: inversion draws whole; BTPE draws their first attempt, which the triangle
  // settles about half the time. The draws' streams are independent, so consecutive
  // iterations overlap; attempts outside the triangle are noted, without a branch.
  std::size_t waiting = 0;
  // The pair of the previous draw without a shared set-up, and what it is drawn with: runs of
  // draws with one pair find it once.
  std::int32_t last_n = 0;  // no valid N
  float last_p = 0.0f;
  BinomialFold last_fold;
  InversionTerms last_terms{};
  const BinomialSetup* last_setup = nullptr;  // null under inversion
  for (std::size_t i = 0; i < draws.size(); ++i) {
    SingleDraw& d = draws[i];
    const BinomialSetup* s = d.shared;
    if (s == nullptr) {
      if (d.n != last_n || d.p != last_p) {
        last_n = d.n;
        last_p = d.p;
        last_fold = fold_binomial(d.n, d.p);
        last_setup = nullptr;
        if (binomial_uses_inversion(d.p, last_fold)) {
          last_terms = inversion_terms(d.n, last_fold);
        } else {
          BinomialSetup& own = setups.for_pair(d.n, d.p);
          prepare_btpe(d.n, d.p, last_fold, own);
          last_setup = &own;
        }
      }
      if (last_setup == nullptr) {
        Lehmer stream{d.seed};
        d.variate = unfold(last_fold.mirrored, d.n, inversion_variate(last_terms, stream));
        continue;
      }
      s = last_setup;
    }
    bool beyond = false;
    attempts[waiting] = attempt_after(d.seed, *s, static_cast<std::uint32_t>(i), d, beyond);
    waiting += beyond;
  }

  // Then round after round over the attempts still waiting, as in a block of BTPE attempts:
  // sorted by region, each region decided in a loop of its own, and every rejected attempt
  // followed by the next attempt of its own draw, made from its own stream.
  const btpe::RegionScratch room{scratch.in_parallelogram.data(), scratch.in_left.data(), scratch.in_right.data(),
                                 scratch.far_tail.data(),              scratch.ixs.data(),     scratch.ws.data(),
                                 scratch.accepted.data()};
  while (waiting > 0) {
    btpe::decide_beyond_triangle(
        waiting, [&](std::size_t j) { return btpe::AttemptView{attempts[j].setup, attempts[j].u, attempts[j].v}; },
        room);

    // Accepted attempts end their draws; the rejected ones are gathered, without a branch.
    std::size_t rejected = 0;
    for (std::size_t j = 0; j < waiting; ++j) {
      const SingleDrawScratch::Attempt& a = attempts[j];
      SingleDraw& d = draws[a.index];
      // A rejected attempt's value is written too, and replaced when its draw ends.
      d.variate = unfold(a.setup->mirrored, d.n, scratch.ixs[j]);
      attempts[rejected] = a;
      rejected += scratch.accepted[j] == 0;
    }
    std::size_t still = 0;
    for (std::size_t j = 0; j < rejected; ++j) {
      const SingleDrawScratch::Attempt a = attempts[j];
      bool beyond = false;
      attempts[still] = attempt_after(a.state, *a.setup, a.index, draws[a.index], beyond);
      still += beyond;
    }
    waiting = still;
  }
}

}  // namespace oskev::random
