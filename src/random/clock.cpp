#include "random/clock.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace oskev::random {

#ifdef _WIN32

// The wall-clock time the taskbar shows, from the system's own time zone settings; the C
// library's localtime would instead follow a TZ variable that other tools may have set in
// a Unix spelling Windows does not understand.
TimeOfDay SystemClock::time_of_day() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  return TimeOfDay{local.wHour, local.wMinute, local.wSecond};
}

#else

TimeOfDay SystemClock::time_of_day() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec};
}

#endif

}  // namespace oskev::random
