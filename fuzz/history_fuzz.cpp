// The update history lies in the program-data folder, where other programs
// and people may write: every byte sequence must be read within bounds and
// without an exception, and what is read must write back the same line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/history_listing.h"
#include "app/update_history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<HistoryEntry> entries = ParseHistoryText(text);
  for (const HistoryEntry& entry : entries) {
    const std::string line = HistoryLine(entry);
    HistoryEntry again;
    if (!ParseHistoryLine(line.substr(0, line.size() - 1), &again) || HistoryLine(again) != line) abort();
  }
  HistoryTable(entries);
  HistoryJson(entries);
  return 0;
}
