#pragma once
// What a person watching a fleet run sees of its printers. Updates run side
// by side, so their news arrives from several threads at once; each front end
// gives a board that turns it into output that stays readable.

#include <cstddef>
#include <string>
#include <vector>

#include "update/update_progress.h"

class RunBoard {
 public:
  virtual ~RunBoard() = default;
  // The run's printers in report order, before any of them starts.
  virtual void Begin(const std::vector<std::wstring>& names) = 0;
  // Printer `index` moved on; from the update's own thread.
  virtual void Progress(size_t index, const UpdateProgressState& state, UpdateProgressEvent what) = 0;
  // Printer `index` ended: its outcome and the line a person reads.
  virtual void End(size_t index, UpdateOutcome outcome, const std::wstring& detail) = 0;
  // A line of the run as a whole (not a printer's).
  virtual void Line(const std::wstring& text) = 0;
};
