#pragma once
// One printer of the main dialog's list, and the port kind rule that decides
// which path an update takes.

#include <string>

struct plist_t {
  std::wstring printerName;
  std::wstring portName;
  std::wstring jobs;  // queued jobs as decimal text
};

enum PortKind { PORT_NETWORK = 0, PORT_USB = 1, PORT_PARALLEL = 2 };

// "USB" as the first three characters (case-sensitive) is a USB port; otherwise
// "LPT" anywhere is a parallel port; everything else is a network port.
PortKind ClassifyPort(const wchar_t* portName);
