// The C runtime's secure forms, which fill a caller's structure as the
// POSIX reentrant ones do; they refuse moments before 1970 of their own.
#include <time.h>

#include "common/calendar.h"

namespace vh {

std::optional<std::tm> utcCalendar(std::time_t moment) {
  std::tm parts{};
  if (moment < 0 || gmtime_s(&parts, &moment) != 0) return std::nullopt;
  return parts;
}

std::optional<std::tm> localCalendar(std::time_t moment) {
  std::tm parts{};
  if (moment < 0 || localtime_s(&parts, &moment) != 0) return std::nullopt;
  return parts;
}

}  // namespace vh
