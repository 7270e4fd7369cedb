#include "random/uniform_cursor.hpp"

namespace oskev::random {

namespace {

// a^1 ... a^kBlock mod (2^31 - 1).
constexpr std::array<std::uint32_t, UniformCursor::kBlock> multiplier_powers() {
  std::array<std::uint32_t, UniformCursor::kBlock> powers{};
  std::uint64_t power = 1;
  for (auto& entry : powers) {
    power = power * Lehmer::kMultiplier % Lehmer::kModulus;
    entry = static_cast<std::uint32_t>(power);
  }
  return powers;
}

constexpr auto kMultiplierPowers = multiplier_powers();

}  // namespace

void UniformCursor::successors(std::int32_t x, std::int32_t* states, std::size_t count) noexcept {
  std::size_t block = 0;
  for (; block + kBlock <= count; block += kBlock) {
    std::int32_t* out = states + block;
    for (std::size_t j = 0; j < kMultiplierPowers.size(); ++j) out[j] = advance(x, kMultiplierPowers[j]);
    x = out[kBlock - 1];
  }
  for (; block < count; ++block) states[block] = x = Lehmer::next_state(x);
}

}  // namespace oskev::random
