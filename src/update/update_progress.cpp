#include "update/update_progress.h"

#include <utility>

void UpdateProgress::SetListener(Listener listener) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_listener = std::move(listener);
}

void UpdateProgress::Notify(UpdateProgressEvent what) {
  Listener listener;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    listener = m_listener;
  }
  if (listener) listener(*this, what);
}

void UpdateProgress::SetPhase(UpdatePhase phase) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_state.phase = phase;
    m_state.secondsWaited = 0;
    m_waitedMs = 0;
  }
  Notify(UpdateProgressEvent::Phase);
}

void UpdateProgress::SetMilestone(int percent) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (percent <= m_state.percent) return;
    m_state.percent = percent > 100 ? 100 : percent;
  }
  Notify(UpdateProgressEvent::Milestone);
}

void UpdateProgress::SetBytes(uint64_t sent, uint64_t total) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_state.bytesSent = sent;
    m_state.bytesTotal = total;
  }
  Notify(UpdateProgressEvent::Bytes);
}

void UpdateProgress::AddWaitMs(uint32_t ms) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_waitedMs += ms;
    m_state.secondsWaited = m_waitedMs / 1000;
  }
  Notify(UpdateProgressEvent::Waited);
}

void UpdateProgress::Finish(UpdateOutcome outcome, int status, bool succeeded) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_state.phase = UpdatePhase::Done;
    m_state.outcome = outcome;
    m_state.status = status;
  }
  // The bar's end comes before the end itself, as the dialog has always seen it.
  if (succeeded) SetMilestone(100);
  Notify(UpdateProgressEvent::Done);
}

UpdateProgressState UpdateProgress::Snapshot() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_state;
}
