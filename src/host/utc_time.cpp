#include "host/utc_time.h"

#include <chrono>
#include <cwchar>

int64_t UnixTimeNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::wstring UtcIso8601(int64_t seconds) {
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from a day count (H. Hinnant's days_from_civil, inverted).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  wchar_t text[40];
  swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year),
           static_cast<int>(month), static_cast<int>(day), static_cast<int>(rest / 3600),
           static_cast<int>(rest % 3600 / 60), static_cast<int>(rest % 60));
  return text;
}
