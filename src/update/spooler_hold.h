#pragma once
// Keeps the print spooler stopped from the first download of a fleet to the
// end of the last, on every path out: one update restarting it would cut into
// another's address lookup or USB write. Nothing on this computer prints until
// it runs again, so a start that does not take is told as a failure, and the
// process's end starts a held spooler too when the run cannot
// (RestartHeldSpooler). The services that depend on the spooler stop with it
// and are started again after it, as a failure of their own when they do not.

#include "printer/services.h"

// What a start of the spooler left undone.
struct SpoolerRestart {
  bool spoolerRuns = true;
  // The dependents stopped with the spooler that do not run again.
  StoppedServices dependentsStopped;
  bool Whole() const { return spoolerRuns && dependentsStopped.empty(); }
};

class SpoolerHold {
 public:
  // Stops the spooler when `needed` and the run was not interrupted.
  explicit SpoolerHold(bool needed);
  // Release(), unless the run did.
  ~SpoolerHold();
  SpoolerHold(const SpoolerHold&) = delete;
  SpoolerHold& operator=(const SpoolerHold&) = delete;

  // Starts the spooler again, then its dependents the stop took down.
  SpoolerRestart Release();

 private:
  bool m_held;
};

// Starts the spooler when a hold keeps it stopped, and its dependents; any
// thread, for a process that is about to end before its run does. Whole when
// they run now (or none was held).
SpoolerRestart RestartHeldSpooler();

// Starts the spooler when stopping and starting it was left to a parallel
// port's openings, and the dependents in `*stopped` after it, and tells what
// does not run: that the spooler came back is checked here, not by the port.
SpoolerRestart ConfirmSpoolerRestarted(StoppedServices* stopped);
