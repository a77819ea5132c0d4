#include "app/status_feed.h"

StatusPhase StatusOfPhase(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::ReadingVersion:
      return STATUS_READING_VERSION;
    case UpdatePhase::ChoosingFile:
      return STATUS_CHOOSING_FILE;
    case UpdatePhase::SwitchingRfu:
      return STATUS_SWITCHING_RFU;
    case UpdatePhase::Sending:
      return STATUS_SENDING;
    case UpdatePhase::Restarting:
      return STATUS_RESTARTING;
    case UpdatePhase::Verifying:
      return STATUS_CHECKING_VERSION;
    default:
      // The outcome comes with the bar's end or the failure.
      return STATUS_NONE;
  }
}

bool StatusFeed::Next(const UpdateProgressState& state, UpdateProgressEvent what, uint32_t nowMs, StatusReport* out) {
  const StatusPhase phase = StatusOfPhase(state.phase);
  if (phase == STATUS_NONE) return false;
  switch (what) {
    case UpdateProgressEvent::Phase:
      m_shownBytes = 0;
      m_shownBytesAt = nowMs;
      m_shownSeconds = 0;
      break;
    case UpdateProgressEvent::Bytes: {
      const bool last = state.bytesTotal && state.bytesSent >= state.bytesTotal;
      if (!last && state.bytesSent < m_shownBytes + STATUS_BYTES_STEP &&
          nowMs - m_shownBytesAt < STATUS_BYTES_EVERY_MS) {
        return false;
      }
      m_shownBytes = state.bytesSent;
      m_shownBytesAt = nowMs;
      break;
    }
    case UpdateProgressEvent::Waited:
      if (state.secondsWaited == m_shownSeconds) return false;
      m_shownSeconds = state.secondsWaited;
      break;
    default:
      return false;
  }
  out->phase = phase;
  out->bytesSent = state.bytesSent;
  out->bytesTotal = state.bytesTotal;
  out->secondsWaited = state.secondsWaited;
  return true;
}
