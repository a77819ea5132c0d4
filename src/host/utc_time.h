#pragma once
// Wall-clock time for records read by people and other programs: UTC in ISO
// 8601 ("2024-03-01T09:05:07Z"). Waits and durations use host/clock.h.

#include <cstdint>
#include <string>

// Seconds since 1970-01-01 00:00:00 UTC.
int64_t UnixTimeNow();
// `seconds` since 1970 as "YYYY-MM-DDThh:mm:ssZ" (proleptic Gregorian).
std::wstring UtcIso8601(int64_t seconds);
