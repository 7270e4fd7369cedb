#include "analysis/simulation/generators.hpp"

#include "random/lehmer.hpp"
#include "random/uniform_cursor.hpp"

namespace oskev::analysis {

float Generators::GETUNI() {
  ISAVE_ = random::Lehmer::next_state(ISAVE_);
  const float r = random::Lehmer::uniform(random::Lehmer::next_state(ISAVE_));
  if (recording_) [[unlikely]] calls_.push_back({GeneratorCall::Kind::kUniform, r, 0, 0.0f, 0, 0});
  return r;
}

void Generators::peek_GETUNI(std::size_t count, float* values, std::int32_t* saved) const {
  if (count == 0) return;
  // Call j saves the (j + 1)-th state after ISAVE and returns the uniform of the next one.
  random::UniformCursor::successors(ISAVE_, saved, count);
  for (std::size_t j = 0; j + 1 < count; ++j) values[j] = random::Lehmer::uniform(saved[j + 1]);
  values[count - 1] = random::Lehmer::uniform(random::Lehmer::next_state(saved[count - 1]));
}

}  // namespace oskev::analysis
