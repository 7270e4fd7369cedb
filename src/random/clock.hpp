#pragma once

// The local time of day, the random stream's only outside input: its seed when none is given.

#include <cstdint>

namespace oskev::random {

// Local time of day, the only outside input of the clock seed.
struct TimeOfDay {
  std::int32_t hour = 0;    // 0 ... 23
  std::int32_t minute = 0;  // 0 ... 59
  std::int32_t second = 0;  // 0 ... 59
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual TimeOfDay time_of_day() = 0;
};

// Reads the local time of day from the system.
class SystemClock final : public Clock {
 public:
  TimeOfDay time_of_day() override;
};

// A clock that always shows the time it was set to; tests and reproducible runs use it.
class FixedClock final : public Clock {
 public:
  FixedClock() = default;
  explicit FixedClock(TimeOfDay time) : time_(time) {}
  void set(TimeOfDay time) { time_ = time; }
  TimeOfDay time_of_day() override { return time_; }

 private:
  TimeOfDay time_{};
};

}  // namespace oskev::random
