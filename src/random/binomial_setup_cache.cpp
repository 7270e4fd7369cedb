#include "random/binomial_setup_cache.hpp"

#include "text/bit_cast.hpp"

namespace oskev::random {

std::size_t BinomialSetupCache::find(std::int32_t n, std::uint32_t p) const {
  std::uint32_t mixed = (p ^ static_cast<std::uint32_t>(n) * 0x9E3779B1u) * 0x85EBCA6Bu;
  mixed ^= mixed >> 15;
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = mixed & mask;
  while (slots_[i].setup != nullptr && !(slots_[i].n == n && slots_[i].p == p)) i = (i + 1) & mask;
  return i;
}

BinomialSetup& BinomialSetupCache::for_pair(std::int32_t n, float p) {
  const auto pbits = text::bit_cast<std::uint32_t>(p);
  std::size_t i = find(n, pbits);
  if (slots_[i].setup != nullptr) return *slots_[i].setup;
  if (2 * (setups_.size() + 1) > slots_.size()) {
    grow();
    i = find(n, pbits);
  }
  slots_[i] = {n, pbits, &setups_.emplace_back()};
  return *slots_[i].setup;
}

void BinomialSetupCache::grow() {
  std::vector<Slot> old(2 * slots_.size());
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.setup != nullptr) slots_[find(slot.n, slot.p)] = slot;
  }
}

void BinomialSetupCache::trim() {
  if (setups_.size() <= kKeep) return;
  setups_.clear();
  slots_.assign(kFirstSlots, Slot{});
}

}  // namespace oskev::random
