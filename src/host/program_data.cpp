#include "host/program_data.h"

#include <mutex>

namespace {
std::mutex g_overrideLock;
std::wstring g_override;
}  // namespace

int GetProgramDataFolder(std::wstring* folder) {
  {
    std::lock_guard<std::mutex> hold(g_overrideLock);
    if (!g_override.empty()) {
      *folder = g_override;
      return 1;
    }
  }
  return SystemProgramDataFolder(folder);
}

void SetProgramDataFolderForTesting(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(g_overrideLock);
  g_override = folder;
  if (!g_override.empty() && g_override.back() != L'\\' && g_override.back() != L'/') g_override += L'/';
}
