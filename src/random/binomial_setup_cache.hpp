#pragma once

// BTPE set-ups for many (N, P) pairs at once, for draws whose P changes from draw to draw
// among a few hundred values.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "random/btpe.hpp"

namespace oskev::random {

// Each pair keeps a set-up of its own, found by hashing the pair. A set-up stays where it is
// (references to it stay valid) until trim() forgets them all.
class BinomialSetupCache {
 public:
  // The pair's set-up: prepared for it before, or new (nsave = 0, so prepare_btpe computes it).
  BinomialSetup& for_pair(std::int32_t n, float p);
  // Forgets every set-up once more than a few thousand are held, which keeps the memory
  // bounded when P keeps changing.
  void trim();

 private:
  struct Slot {
    std::int32_t n = 0;
    std::uint32_t p = 0;  // bit pattern of P
    BinomialSetup* setup = nullptr;
  };
  static constexpr std::size_t kFirstSlots = 1024;
  static constexpr std::size_t kKeep = 4096;
  // The slot holding the pair (P as its bit pattern), or the empty slot where it would go.
  std::size_t find(std::int32_t n, std::uint32_t p) const;
  void grow();

  std::vector<Slot> slots_ = std::vector<Slot>(kFirstSlots);  // open addressing, at most half full
  std::deque<BinomialSetup> setups_;
};

}  // namespace oskev::random
