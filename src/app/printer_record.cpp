#include "app/printer_record.h"

#include <cwchar>

PortKind ClassifyPort(const wchar_t* portName) {
  if (!portName) return PORT_NETWORK;
  if (wcsncmp(portName, L"USB", 3) == 0) return PORT_USB;
  if (wcsstr(portName, L"LPT")) return PORT_PARALLEL;
  return PORT_NETWORK;
}
