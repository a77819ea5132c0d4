#pragma once
// What a person watching an unattended run sees of its printers as lines of
// text, for a file or a pipe (a console gets a LiveBoard instead).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "update/run_board.h"
#include "update/update_progress.h"

// Where the run's lines go (the console); may do nothing.
using RunOutput = std::function<void(const std::wstring& line)>;

// The text a phase is shown with; null for Idle and Done.
const wchar_t* RunPhaseText(UpdatePhase phase);

// Whole lines through `output`, each naming its printer: a line per phase,
// every 10 s of a wait, every 10 % of the data, and the outcome.
class TextBoard : public RunBoard {
 public:
  explicit TextBoard(RunOutput output) : m_output(std::move(output)) {}
  void Begin(const std::vector<std::wstring>& names) override;
  void Progress(size_t index, const UpdateProgressState& state, UpdateProgressEvent what) override;
  void End(size_t index, UpdateOutcome outcome, const std::wstring& detail) override;
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
