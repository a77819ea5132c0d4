#include <shlobj.h>
#include <windows.h>

#include "host/data_path.h"
#include "host/logger.h"
#include "host/program_data.h"

int SystemProgramDataFolder(std::wstring* folder) {
  wchar_t common[MAX_PATH] = {};
  const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, common);
  if (FAILED(result)) {
    Logger::Instance()->WriteError(static_cast<uint32_t>(result), L"SHGetFolderPath(CSIDL_COMMON_APPDATA) failed");
    return 0;
  }
  std::wstring path = std::wstring(common) + L"\\" + PROGRAM_DATA_FOLDER_NAME;
  // Inherited permissions there let standard users create files: the folder
  // gets a DACL of its own. One that exists already is judged by the caller.
  PathFacts facts;
  if (ReadPathFacts(path.c_str(), &facts) == 0 && !CreateProtectedFolder(path.c_str()) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    Logger::Instance()->WriteError(GetLastError(), L"Cannot make the folder %ls", path.c_str());
    return 0;
  }
  *folder = path + L"\\";
  return 1;
}
