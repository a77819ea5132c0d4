#include "app/status_line.h"

#include <cwchar>

#include "host/strings.h"
#include "host/text_insert.h"
#include "resources/resource.h"

namespace {
constexpr size_t kValueMax = 64;
constexpr uint64_t kKilobyte = 1024;

unsigned PlainTextId(StatusPhase phase) {
  switch (phase) {
    case STATUS_READING_VERSION:
      return IDS_STATUS_READING_VERSION;
    case STATUS_CHOOSING_FILE:
      return IDS_STATUS_CHOOSING_FILE;
    case STATUS_SWITCHING_RFU:
      return IDS_STATUS_SWITCHING_RFU;
    case STATUS_SENDING:
      return IDS_STATUS_SENDING;
    case STATUS_RESTARTING:
      return IDS_STATUS_RESTARTING;
    case STATUS_CHECKING_VERSION:
      return IDS_STATUS_CHECKING_VERSION;
    case STATUS_SUCCEEDED:
      return IDS_STATUS_SUCCEEDED;
    case STATUS_UP_TO_DATE:
      return IDS_STATUS_UP_TO_DATE;
    case STATUS_FAILED:
      return IDS_STATUS_FAILED;
    case STATUS_CANCELED:
      return IDS_STATUS_CANCELED;
    case STATUS_NOT_TRUSTED:
      return IDS_FILE_NOT_TRUSTED;
    default:
      return 0;
  }
}

unsigned long long KilobytesUp(uint64_t bytes) {
  return static_cast<unsigned long long>((bytes + kKilobyte - 1) / kKilobyte);
}

// Whole kilobytes sent, rounded down (the total, rounded up, shows only once
// the last byte went out), and at least 1 once bytes did.
unsigned long long SentKilobytes(uint64_t sent, uint64_t total) {
  if (total && sent >= total) return KilobytesUp(total);
  const unsigned long long kilobytes = static_cast<unsigned long long>(sent / kKilobyte);
  return kilobytes ? kilobytes : 1;
}

std::wstring WithValue(unsigned id, const wchar_t* value) {
  wchar_t line[STRINGS_TEXT_MAX];
  InsertTextValue(line, STRINGS_TEXT_MAX, LocalString(id).c_str(), value);
  return line;
}
}  // namespace

std::wstring StatusLineText(const StatusReport& report) {
  wchar_t value[kValueMax];
  if (report.phase == STATUS_SENDING && report.bytesSent > 0) {
    // "sent/total" without blanks reads the same way in right-to-left texts.
    if (report.bytesTotal) {
      swprintf(value, kValueMax, L"%llu/%llu", SentKilobytes(report.bytesSent, report.bytesTotal),
               KilobytesUp(report.bytesTotal));
    } else {
      swprintf(value, kValueMax, L"%llu", SentKilobytes(report.bytesSent, 0));
    }
    return WithValue(IDS_STATUS_SENDING_AMOUNT, value);
  }
  if (report.phase == STATUS_RESTARTING && report.secondsWaited > 0) {
    swprintf(value, kValueMax, L"%u", static_cast<unsigned>(report.secondsWaited));
    return WithValue(IDS_STATUS_RESTARTING_SECONDS, value);
  }
  const unsigned id = PlainTextId(report.phase);
  return id ? LocalString(id) : std::wstring();
}

StatusPhase MilestoneStatus(int position) {
  if (position >= 100) return STATUS_SUCCEEDED;
  if (position >= 50) return STATUS_SENDING;
  if (position >= 15) return STATUS_READING_VERSION;
  if (position >= 10) return STATUS_CHOOSING_FILE;
  return STATUS_NONE;
}

StatusPhase EndStatus(UpdateOutcome outcome, bool notTrusted) {
  if (outcome == UpdateOutcome::Updated) return STATUS_SUCCEEDED;
  if (outcome == UpdateOutcome::Current) return STATUS_UP_TO_DATE;
  return notTrusted ? STATUS_NOT_TRUSTED : STATUS_FAILED;
}
