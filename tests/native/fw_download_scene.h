#pragma once
// One installed printer "QV" on `port` for a whole update: the product name,
// the fake clock, the log, and the main window's messages written into the
// log ("[progress N]"), so their order against the controller's steps shows
// in one list. The controller reports to `progress` (CFWDownload(&scene.progress)).
// With `interruptAt` set the run is interrupted at that milestone (and the
// interrupt cleared with the scene).

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "host/logger.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/printer_sim.h"
#include "update/run_interrupt.h"
#include "update/update_progress.h"

namespace fwdltest {

struct ControllerScene {
  ControllerScene(const wchar_t* product, const std::wstring& port) : spooler({{L"QV", port, L"QV Driver", L"", 0}}) {
    SetProductName(product);
    progress.SetListener([this](const UpdateProgress& p, UpdateProgressEvent what) {
      if (what != UpdateProgressEvent::Milestone) return;
      Logger::Instance()->Write(L"[progress %d]", p.Percent());
      if (p.Percent() == interruptAt) InterruptRun();
    });
  }
  ~ControllerScene() {
    SetProductName(L"");
    ClearRunInterruptForTesting();
  }

  // The log lines that begin with one of `starts`, in their order.
  std::vector<std::wstring> LinesStarting(const std::vector<const wchar_t*>& starts) const {
    std::vector<std::wstring> out;
    for (const std::wstring& line : log.Lines()) {
      for (const wchar_t* start : starts) {
        if (line.compare(0, wcslen(start), start) == 0) out.push_back(line);
      }
    }
    return out;
  }
  std::vector<std::wstring> Progress() const { return LinesStarting({L"[progress"}); }

  FakeClock clock;
  LogCapture log;
  FakeSpooler spooler;
  UpdateProgress progress;
  int interruptAt = -1;
};

inline std::wstring ImageFile(fwtest::BinKind kind = fwtest::BinKind::CodeOnly) {
  std::wstring path = fwtest::TempPath(L"controller.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(kind, 4096, 1100));
  return path;
}

// The commands the printer received, or those named `name`, in the order
// their connections were accepted: the simulator serves each connection on a
// thread of its own, so a command sent without waiting for an answer (a reset)
// may be logged after the next connection's.
inline std::vector<std::string> SimCommands(PrinterSim& sim, const std::string& name = "") {
  std::vector<std::string> events = sim.Events("command");
  std::stable_sort(events.begin(), events.end(), [](const std::string& a, const std::string& b) {
    return PrinterSim::Num(a, "conn") < PrinterSim::Num(b, "conn");
  });
  std::vector<std::string> out;
  for (const std::string& e : events) {
    if (name.empty()) {
      out.push_back(PrinterSim::Str(e, "cmd"));
    } else if (PrinterSim::Str(e, "cmd") == name) {
      out.push_back(e);
    }
  }
  return out;
}

}  // namespace fwdltest
