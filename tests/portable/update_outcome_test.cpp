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
  // A record not ended yet has no word; no other word, "" neither, is an outcome.
  UpdateOutcome read = UpdateOutcome::None;
  EXPECT_EQ(std::wstring(OutcomeText(read)), L"");
  EXPECT_FALSE(OutcomeOfText(L"", &read) || OutcomeOfText(L"Updated", &read));
}
