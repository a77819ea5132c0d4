#pragma once
// How one printer's update ended, as a value from the update to the front
// ends. Text is made only where it leaves the program: the report, the
// history, the registry and the console all write the one word of
// OutcomeText, and other programs read those words: never change them.

#include <string>

enum class UpdateOutcome {
  None,         // not ended yet
  Updated,      // written (and verified where the product verifies)
  Current,      // the printer already runs the file's version or newer
  WouldUpdate,  // check only: an update would write
  Failed,
  NotApplicable,  // the RFU setting had to be switched on without consent
  NotFound,       // no such printer
};

// "updated", "current", "would-update", "failed", "not-applicable",
// "not-found"; "" for None.
const wchar_t* OutcomeText(UpdateOutcome outcome);
// The outcome a file names; false for any other text (None has none).
bool OutcomeOfText(const std::wstring& text, UpdateOutcome* outcome);
