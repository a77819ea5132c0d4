#include "app/text_board.h"

namespace {
constexpr uint32_t kWaitLineEverySeconds = 10;
}  // namespace

const wchar_t* RunPhaseText(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::ReadingVersion:
      return L"reading the printer's version";
    case UpdatePhase::ChoosingFile:
      return L"choosing the firmware file";
    case UpdatePhase::SwitchingRfu:
      return L"switching the RFU setting";
    case UpdatePhase::Sending:
      return L"writing the firmware";
    case UpdatePhase::Restarting:
      return L"waiting for the restart";
    case UpdatePhase::Verifying:
      return L"checking the new version";
    default:
      return nullptr;
  }
}

void TextBoard::Say(const std::wstring& text) {
  if (m_output) m_output(text);
}

void TextBoard::Begin(const std::vector<std::wstring>& names) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_printers.assign(names.size(), Printer());
  for (size_t i = 0; i < names.size(); ++i) m_printers[i].name = names[i];
}

void TextBoard::Progress(size_t index, const UpdateProgressState& state, UpdateProgressEvent what) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (index >= m_printers.size()) return;
  Printer& p = m_printers[index];
  const wchar_t* phase = RunPhaseText(state.phase);
  if (!phase) return;
  if (what == UpdateProgressEvent::Phase) {
    // The worker's own version check follows the run's: one line for both.
    if (state.phase != p.lastSaid) Say(p.name + L": " + phase);
    p.lastSaid = state.phase;
    p.lastWaitLine = 0;
    p.lastBytesTenth = 0;
  } else if (what == UpdateProgressEvent::Waited && state.secondsWaited >= p.lastWaitLine + kWaitLineEverySeconds) {
    p.lastWaitLine = state.secondsWaited;
    Say(p.name + L": " + phase + L", " + std::to_wstring(state.secondsWaited) + L" s");
  } else if (what == UpdateProgressEvent::Bytes && state.bytesTotal > 0) {
    const int percent = static_cast<int>(state.bytesSent * 100 / state.bytesTotal);
    if (percent / 10 > p.lastBytesTenth) {
      p.lastBytesTenth = percent / 10;
      Say(p.name + L": writing " + std::to_wstring(percent) + L"%");
    }
  }
}

void TextBoard::End(size_t index, UpdateOutcome outcome, const std::wstring& detail) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (index >= m_printers.size()) return;
  Say(m_printers[index].name + L": " + OutcomeText(outcome) + L": " + detail);
}

void TextBoard::Line(const std::wstring& text) {
  std::lock_guard<std::mutex> lock(m_lock);
  Say(text);
}
