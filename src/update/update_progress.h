#pragma once
// How far one update of one printer has come. One object per update, passed
// down to the worker and the controller (never a global), so several updates
// can run side by side. The dialog's bar, the console's progress line and the
// JSON report all read the same object.
//
// Writers: the update's own thread. Readers: any thread, through Snapshot().
// The listener runs on the writer's thread, after the change and outside the
// object's lock, so it may read the object (and may block: the dialog's
// listener sends a window message and waits for it).

#include <cstdint>
#include <functional>
#include <mutex>

#include "update/update_outcome.h"

enum class UpdatePhase {
  Idle,            // nothing started yet
  ReadingVersion,  // asking the printer for its firmware version
  ChoosingFile,    // choosing the firmware file for the printer's model
  SwitchingRfu,    // reading or switching the printer's RFU setting
  Sending,         // sending the firmware to the printer
  Restarting,      // the printer writes its flash and restarts
  Verifying,       // asking the restarted printer for its new version
  Done,            // ended; Outcome() says how
};

// What changed, for the listener.
enum class UpdateProgressEvent { Phase, Milestone, Bytes, Waited, Done };

struct UpdateProgressState {
  UpdatePhase phase = UpdatePhase::Idle;
  int percent = 0;             // the bar's milestone: 10, 15, 50, 100 in one update
  uint64_t bytesSent = 0;      // of the firmware, where the transport reports it
  uint64_t bytesTotal = 0;     // 0: not known
  uint32_t secondsWaited = 0;  // waiting for the printer in the current phase
  UpdateOutcome outcome = UpdateOutcome::None;
  int status = -1;  // the controller's FWDL_* status; -1 when it did not run
};

class UpdateProgress {
 public:
  using Listener = std::function<void(const UpdateProgress& progress, UpdateProgressEvent what)>;

  UpdateProgress() = default;
  UpdateProgress(const UpdateProgress&) = delete;
  UpdateProgress& operator=(const UpdateProgress&) = delete;

  // Install before the update starts; an empty listener removes it.
  void SetListener(Listener listener);

  // A new phase starts its wait count at zero.
  void SetPhase(UpdatePhase phase);
  // Milestones only go up: a lower one is ignored.
  void SetMilestone(int percent);
  void SetBytes(uint64_t sent, uint64_t total);
  void AddWaitMs(uint32_t ms);
  // Ends the update: phase Done; a successful end (`succeeded`) reaches 100.
  void Finish(UpdateOutcome outcome, int status, bool succeeded);

  UpdateProgressState Snapshot() const;
  UpdatePhase Phase() const { return Snapshot().phase; }
  int Percent() const { return Snapshot().percent; }
  UpdateOutcome Outcome() const { return Snapshot().outcome; }

 private:
  void Notify(UpdateProgressEvent what);

  mutable std::mutex m_lock;
  UpdateProgressState m_state;
  uint32_t m_waitedMs = 0;
  Listener m_listener;
};

// Reports to `progress` when there is one (the controller may run without).
inline void ReportPhase(UpdateProgress* progress, UpdatePhase phase) {
  if (progress) progress->SetPhase(phase);
}
inline void ReportMilestone(UpdateProgress* progress, int percent) {
  if (progress) progress->SetMilestone(percent);
}
inline void ReportWaitMs(UpdateProgress* progress, uint32_t ms) {
  if (progress) progress->AddWaitMs(ms);
}
