#pragma once
// Keeps the print spooler stopped from the first download of a fleet to the
// end of the last, on every path out: one update restarting it would cut into
// another's address lookup or USB write.

class SpoolerHold {
 public:
  explicit SpoolerHold(bool needed);
  ~SpoolerHold();
  SpoolerHold(const SpoolerHold&) = delete;
  SpoolerHold& operator=(const SpoolerHold&) = delete;

 private:
  bool m_held;
};
