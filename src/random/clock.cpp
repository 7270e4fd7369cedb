#include "random/clock.hpp"

#include <ctime>

namespace oskev::random {

TimeOfDay SystemClock::time_of_day() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec};
}

}  // namespace oskev::random
