#include <windows.h>

#include "host/logger.h"
#include "host/registry.h"
#include "host/text_utils.h"
#include "host/win_handles.h"

namespace {
constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;  // 0xF003F
constexpr REGSAM kRead = KEY_READ;              // 0x20019
constexpr REGSAM kWrite = KEY_WRITE;            // 0x20006

LONG CreateOneKey(const wchar_t* path, HKEY* key) {
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, kFullAccess, nullptr, key,
                         nullptr);
}
}  // namespace

void CloseKey(HKEY key) { win::UniqueRegKey(key).Reset(); }

HKEY CreateKey(const wchar_t* keyPath) {
  wchar_t path[REGISTRY_KEY_PATH_MAX];
  CopyText(path, REGISTRY_KEY_PATH_MAX, keyPath);
  // Each ancestor first, left to right, so a path whose middle levels are
  // missing is built one level at a time.
  for (wchar_t* p = path; *p; ++p) {
    if (*p != L'\\') continue;
    *p = 0;
    win::UniqueRegKey level;
    if (path[0]) CreateOneKey(path, level.Receive());
    *p = L'\\';
  }
  HKEY key = nullptr;
  LONG result = CreateOneKey(path, &key);
  if (result != ERROR_SUCCESS) {
    Logger::Instance()->WriteError(static_cast<uint32_t>(result), L"CreateKey->RegCreateKeyEx failed");
    return nullptr;
  }
  return key;
}

long SaveValueToHKey(const wchar_t* keyPath, const wchar_t* valueName, const void* data, uint32_t size,
                     uint32_t type) {
  Logger::Instance()->Write(L"SaveValueToHKey %ls %ls", keyPath ? keyPath : L"", valueName ? valueName : L"");
  win::UniqueRegKey key(CreateKey(keyPath));
  if (!key) {
    Logger::Instance()->WriteError(REGISTRY_ERROR_CANNOT_OPEN, L"SaveValueToHKLM->RegCreateKeyEx failed");
    return REGISTRY_ERROR_CANNOT_OPEN;
  }
  return RegSetValueExW(key.Get(), valueName, 0, type, static_cast<const BYTE*>(data), size);
}

long GetValueFromHKey(const wchar_t* keyPath, const wchar_t* valueName, void* buffer, uint32_t* size) {
  Logger::Instance()->Write(L"GetValueFromHKey %ls %ls", keyPath ? keyPath : L"", valueName ? valueName : L"");
  win::UniqueRegKey key;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, kRead, key.Receive());
  if (result != ERROR_SUCCESS) {
    Logger::Instance()->WriteError(static_cast<uint32_t>(result), L"GetValueFromHKLM->RegOpenKeyEx failed");
    return result;
  }
  DWORD bytes = size ? *size : 0;
  result = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), &bytes);
  if (size) *size = bytes;
  return result;
}

long ReadValueFromHKey(const wchar_t* keyPath, const wchar_t* valueName, void* buffer, uint32_t* size,
                       uint32_t* type) {
  win::UniqueRegKey key;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, kRead | KEY_WOW64_64KEY, key.Receive());
  if (result != ERROR_SUCCESS) return result;
  DWORD bytes = size ? *size : 0;
  DWORD kind = REG_NONE;
  result = RegQueryValueExW(key.Get(), valueName, nullptr, &kind, static_cast<BYTE*>(buffer), &bytes);
  if (size) *size = bytes;
  if (type) *type = kind;
  return result;
}

long DeleteValueFromHKey(const wchar_t* keyPath, const wchar_t* valueName) {
  Logger::Instance()->Write(L"DeleteValueFromHKey %ls %ls", keyPath ? keyPath : L"", valueName ? valueName : L"");
  win::UniqueRegKey key;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, kWrite, key.Receive());
  if (result != ERROR_SUCCESS) {
    if (result != ERROR_FILE_NOT_FOUND) {
      Logger::Instance()->WriteError(static_cast<uint32_t>(result), L"DeleteValueFromHKLM->RegOpenKeyEx failed");
    }
    return result;
  }
  return RegDeleteValueW(key.Get(), valueName);
}

long SaveDwordToHKLM(const wchar_t* keyPath) {
  const DWORD one = 1;
  Logger::Instance()->Write(L"SaveDwordToHKLM %ls %ls %d", keyPath ? keyPath : L"", L"InstallCrashed", 1);
  return SaveValueToHKey(keyPath, L"InstallCrashed", &one, sizeof one, REG_DWORD);
}

long GetStringFromHKLM(const wchar_t* keyPath, const wchar_t* valueName, wchar_t* out, size_t outChars) {
  if (!out || outChars == 0) return ERROR_INVALID_PARAMETER;
  out[0] = 0;
  Logger::Instance()->Write(L"GetStringFromHKLM %ls %ls", keyPath ? keyPath : L"", valueName ? valueName : L"");
  // One character short of the buffer: a stored text need not be terminated.
  uint32_t bytes = static_cast<uint32_t>((outChars - 1) * sizeof(wchar_t));
  long result = GetValueFromHKey(keyPath, valueName, out, &bytes);
  if (result != ERROR_SUCCESS) {
    out[0] = 0;
    return result;
  }
  size_t chars = bytes / sizeof(wchar_t);
  out[chars < outChars ? chars : outChars - 1] = 0;
  return result;
}
