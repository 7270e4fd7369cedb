#pragma once

// The program's generator subroutines between the null models and the binomial draws: GETUNI,
// the private stream of uniforms whose bit patterns seed every draw, and the record of the
// GETBIN calls the models make, in the program's order, for a test to follow.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "text/bit_cast.hpp"

namespace oskev::analysis {

// The seed handed to GETBIN before every binomial draw: the bit pattern of the uniform RU
// read as a 32-bit integer (not its converted value), always within the seeds SEEDSET takes.
inline std::int32_t seed_from_uniform(float ru) { return text::bit_cast<std::int32_t>(ru); }

// One call of the generator subroutines, as tests follow the simulation's draws.
struct GeneratorCall {
  enum class Kind { kUniform, kBinomial };
  Kind kind = Kind::kUniform;
  float uniform = 0.0f;  // GETUNI: the value returned
  std::int32_t n = 0;    // GETBIN: trials, probability, number of variates, seed
  float p = 0.0f;
  std::int32_t nr = 0;
  std::int32_t seed = 0;
};

// GETUNI's private stream. Each call restores the state the previous call saved, draws (the
// value that call returned), saves the new state, draws again and returns that: call m returns
// the uniform of the (m + 1)-th state after the seed and saves the m-th, whatever else draws in
// between. So the whole simulation is a function of the seed the stream starts from: the clock
// reading of the simulation's first draw, or the seed that replaces it.
class Generators {
 public:
  // `seed`: 1 ... 2147483646.
  explicit Generators(std::int32_t seed) : ISAVE_(seed) {}

  // The next uniform.
  float GETUNI();
  // GETUNI, and the seed for a GETBIN call that its value gives.
  std::int32_t next_seed() { return seed_from_uniform(GETUNI()); }

  // Reads ahead, which depends on nothing else: values[j] is what the (j + 1)-th next GETUNI
  // call returns, and saved[j] the state it saves.
  void peek_GETUNI(std::size_t count, float* values, std::int32_t* saved) const;
  // Makes the next GETUNI call, read ahead as `value` saving `saved`.
  void take_GETUNI(float value, std::int32_t saved) {
    ISAVE_ = saved;
    if (recording_) [[unlikely]] calls_.push_back({GeneratorCall::Kind::kUniform, value, 0, 0.0f, 0, 0});
  }

  // Where the stream stands: the state the last call saved (the seed before the first call).
  // Restoring it makes the next calls repeat what followed it.
  std::int32_t private_state() const noexcept { return ISAVE_; }
  void restore_private_state(std::int32_t saved) noexcept { ISAVE_ = saved; }

  // A GETBIN call the model makes (its draw is made by the executor, on any thread): noted,
  // in the order the program makes it, when calls are recorded.
  void note_GETBIN(std::int32_t n, float p, std::int32_t nr, std::int32_t iseed) {
    if (recording_) [[unlikely]] calls_.push_back({GeneratorCall::Kind::kBinomial, 0.0f, n, p, nr, iseed});
  }

  // From now on every call is kept, in the order the program makes it, for a test to follow.
  void record_calls() { recording_ = true; }
  const std::vector<GeneratorCall>& calls() const noexcept { return calls_; }

 private:
  std::int32_t ISAVE_;
  bool recording_ = false;
  std::vector<GeneratorCall> calls_;
};

}  // namespace oskev::analysis
