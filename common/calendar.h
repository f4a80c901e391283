// A moment as a date and a time of day, in UTC or in the user's time zone:
// the C library's reentrant forms, which differ between the platforms
// (calendar_posix.cpp: gmtime_r and localtime_r; calendar_win32.cpp:
// gmtime_s and localtime_s).
#pragma once

#include <ctime>
#include <optional>

namespace vh {

// Nothing for a moment the platform cannot place on its calendar. Windows
// places none before 1970, so neither platform does.
[[nodiscard]] std::optional<std::tm> utcCalendar(std::time_t moment);
[[nodiscard]] std::optional<std::tm> localCalendar(std::time_t moment);

}  // namespace vh
