#include <time.h>

#include "common/calendar.h"

namespace vh {

std::optional<std::tm> utcCalendar(std::time_t moment) {
  std::tm parts{};
  if (moment < 0 || !gmtime_r(&moment, &parts)) return std::nullopt;
  return parts;
}

std::optional<std::tm> localCalendar(std::time_t moment) {
  std::tm parts{};
  if (moment < 0 || !localtime_r(&moment, &parts)) return std::nullopt;
  return parts;
}

}  // namespace vh
