// "properties.ini" lies beside the program and anyone with write access to the
// folder can change it: every byte sequence must parse within bounds, with or
// without a byte-order mark (the corpus holds a file of each form).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/firmware_signers.h"
#include "host/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CProperties props;
  props.LoadText(reinterpret_cast<const char*>(data), size);
  static const wchar_t* const kNames[] = {L"DRIVER_NAMES",       L"BIN_FILES", L"BIN_FILES_AND_IDS", L"ASIAN_BIN_FILES",
                                          L"PRINTER_SERIESNAME", L"PRODUCT",   L"INI_FILE",          L"A",
                                          FIRMWARE_SIGNERS_KEY};
  for (const wchar_t* name : kNames) {
    std::vector<std::wstring> list;
    props.GetPropertyList(name, list);
    wchar_t small[16];
    props.GetProperty(name, small, 16);
  }
  SignerList signers;
  std::wstring bad;
  ReadFirmwareSigners(props, &signers, &bad);
  // Logging is most of a run's time: one name a run (each absent name costs a
  // line, and the lines are alike), and the table dumped on every fourth size
  // (one more byte dumps any input).
  props.PropertyExists(kNames[size % (sizeof kNames / sizeof kNames[0])]);
  if (size % 4 == 0) props.Dump();
  return 0;
}
