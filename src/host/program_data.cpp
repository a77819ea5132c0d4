#include "host/program_data.h"

#include <mutex>

#include "host/data_path.h"

namespace {
std::mutex g_overrideLock;
std::wstring g_override;
}  // namespace

ProgramDataStatus GetProgramDataFolder(std::wstring* folder, std::wstring* why) {
  std::wstring path;
  {
    std::lock_guard<std::mutex> hold(g_overrideLock);
    path = g_override;
  }
  if (path.empty() && !SystemProgramDataFolder(&path)) return PROGRAM_DATA_NONE;
  if (!DataPathUsable(path, PATH_KIND_FOLDER, false, why)) return PROGRAM_DATA_REFUSED;
  *folder = path;
  return PROGRAM_DATA_FOUND;
}

void SetProgramDataFolderForTesting(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(g_overrideLock);
  g_override = folder;
  if (!g_override.empty() && g_override.back() != L'\\' && g_override.back() != L'/') g_override += L'/';
}
