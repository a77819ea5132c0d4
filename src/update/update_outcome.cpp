#include "update/update_outcome.h"

namespace {
constexpr struct OutcomeName {
  UpdateOutcome outcome;
  const wchar_t* text;
} kNames[] = {
    {UpdateOutcome::Updated, L"updated"},
    {UpdateOutcome::Current, L"current"},
    {UpdateOutcome::WouldUpdate, L"would-update"},
    {UpdateOutcome::Failed, L"failed"},
    {UpdateOutcome::NotApplicable, L"not-applicable"},
    {UpdateOutcome::NotFound, L"not-found"},
};
}  // namespace

const wchar_t* OutcomeText(UpdateOutcome outcome) {
  for (const OutcomeName& name : kNames) {
    if (name.outcome == outcome) return name.text;
  }
  return L"";
}

bool OutcomeOfText(const std::wstring& text, UpdateOutcome* outcome) {
  for (const OutcomeName& name : kNames) {
    if (text == name.text) {
      *outcome = name.outcome;
      return true;
    }
  }
  return false;
}
