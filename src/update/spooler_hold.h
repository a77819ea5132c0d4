#pragma once
// Keeps the print spooler stopped from the first download of a fleet to the
// end of the last, on every path out: one update restarting it would cut into
// another's address lookup or USB write. Nothing on this computer prints until
// it runs again, so a start that does not take is told as a failure, and the
// process's end starts a held spooler too when the run cannot
// (RestartHeldSpooler).

class SpoolerHold {
 public:
  // Stops the spooler when `needed` and the run was not interrupted.
  explicit SpoolerHold(bool needed);
  // Release(), unless the run did.
  ~SpoolerHold();
  SpoolerHold(const SpoolerHold&) = delete;
  SpoolerHold& operator=(const SpoolerHold&) = delete;

  // Starts the spooler again: false when it was held and does not run now.
  bool Release();

 private:
  bool m_held;
};

// Starts the spooler when a hold keeps it stopped; any thread, for a process
// that is about to end before its run does. True when it runs now (or none
// was held).
bool RestartHeldSpooler();
