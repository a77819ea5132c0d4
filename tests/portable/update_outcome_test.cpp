// The words reports, history lines and registry values give each outcome:
// other programs read them, so each is exactly as it has always been and
// reads back as the same outcome; a word this program never wrote is no
// outcome.
#include "update/update_outcome.h"

#include <gtest/gtest.h>

#include <string>

TEST(UpdateOutcome, TextsAreFixedAndReadBack) {
  const struct {
    UpdateOutcome outcome;
    const wchar_t* text;
  } cases[] = {
      {UpdateOutcome::Updated, L"updated"},
      {UpdateOutcome::Current, L"current"},
      {UpdateOutcome::WouldUpdate, L"would-update"},
      {UpdateOutcome::Failed, L"failed"},
      {UpdateOutcome::NotApplicable, L"not-applicable"},
      {UpdateOutcome::NotFound, L"not-found"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::wstring(OutcomeText(c.outcome)), c.text);
    UpdateOutcome read = UpdateOutcome::None;
    EXPECT_TRUE(OutcomeOfText(c.text, &read)) << c.text;
    EXPECT_EQ(read, c.outcome) << c.text;
  }
  EXPECT_EQ(std::wstring(OutcomeText(UpdateOutcome::None)), L"");
  for (const wchar_t* other : {L"", L"Updated", L"updated ", L"would update", L"none"}) {
    UpdateOutcome read = UpdateOutcome::Current;
    EXPECT_FALSE(OutcomeOfText(other, &read)) << other;
    EXPECT_EQ(read, UpdateOutcome::Current) << other;
  }
}
