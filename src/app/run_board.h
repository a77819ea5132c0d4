#pragma once
// What a person watching an unattended run sees of its printers. Updates run
// side by side, so their news arrives from several threads at once; a board
// turns it into output that stays readable: lines of text for a file or a
// pipe (TextBoard), or one live line per printer on a console.

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "update/update_progress.h"

// Where the run's lines go (the console); may do nothing.
using RunOutput = std::function<void(const std::wstring& line)>;

class RunBoard {
 public:
  virtual ~RunBoard() = default;
  // The run's printers in report order, before any of them starts.
  virtual void Begin(const std::vector<std::wstring>& names) = 0;
  // Printer `index` moved on; from the update's own thread.
  virtual void Progress(size_t index, const UpdateProgressState& state, UpdateProgressEvent what) = 0;
  // Printer `index` ended: its outcome word and the line a person reads.
  virtual void End(size_t index, const std::wstring& outcome, const std::wstring& detail) = 0;
  // A line of the run as a whole (not a printer's).
  virtual void Line(const std::wstring& text) = 0;
};

// The text a phase is shown with; null for Idle and Done.
const wchar_t* RunPhaseText(UpdatePhase phase);

// Whole lines through `output`, each naming its printer: a line per phase,
// every 10 s of a wait, every 10 % of the data, and the outcome.
class TextBoard : public RunBoard {
 public:
  explicit TextBoard(RunOutput output) : m_output(std::move(output)) {}
  void Begin(const std::vector<std::wstring>& names) override;
  void Progress(size_t index, const UpdateProgressState& state, UpdateProgressEvent what) override;
  void End(size_t index, const std::wstring& outcome, const std::wstring& detail) override;
  void Line(const std::wstring& text) override;

 private:
  struct Printer {
    std::wstring name;
    UpdatePhase lastSaid = UpdatePhase::Idle;
    uint32_t lastWaitLine = 0;
    int lastBytesTenth = 0;
  };
  void Say(const std::wstring& text);

  RunOutput m_output;
  std::mutex m_lock;
  std::vector<Printer> m_printers;
};
