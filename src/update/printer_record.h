#pragma once
// One printer of the main dialog's list, and the port kind rule that decides
// which path an update takes.

#include <string>
#include <vector>

struct plist_t {
  std::wstring printerName;
  std::wstring portName;
  std::wstring jobs;  // queued jobs as decimal text
};

enum PortKind { PORT_NETWORK = 0, PORT_USB = 1, PORT_PARALLEL = 2 };

// "USB" as the first three characters (case-sensitive) is a USB port; otherwise
// "LPT" anywhere is a parallel port; everything else is a network port.
PortKind ClassifyPort(const wchar_t* portName);
// "network", "usb" or "parallel", as the report names a kind.
const wchar_t* PortKindName(PortKind kind);

// The installed printers whose driver is one of `driverNames`, in the
// spooler's order, each with its port and jobs; printers whose information
// cannot be read are left out, and so are the parallel-port printers of the
// one driver that cannot take an update from here.
std::vector<plist_t> CollectSupportedPrinters(const std::vector<std::wstring>& driverNames);
