// The history's and the registry's time: UTC, ISO 8601, across leap days and
// century years.
#include "host/utc_time.h"

#include <gtest/gtest.h>

TEST(UtcTime, Iso8601Table) {
  const struct {
    int64_t seconds;
    const wchar_t* text;
  } cases[] = {
      {0, L"1970-01-01T00:00:00Z"},          {951868799, L"2000-02-29T23:59:59Z"},
      {1709283907, L"2024-03-01T09:05:07Z"}, {4107542400, L"2100-03-01T00:00:00Z"},
      {-1, L"1969-12-31T23:59:59Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(UtcIso8601(c.seconds), c.text) << c.seconds;
}
