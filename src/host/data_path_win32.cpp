// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <string>

#include "host/data_path.h"
#include "host/win_handles.h"

namespace {

bool IsProcessUser(PSID sid) {
  win::UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return false;
  alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) return false;
  return EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid) != FALSE;
}

}  // namespace

int ReadPathFacts(const wchar_t* path, PathFacts* facts) {
  *facts = PathFacts();
  std::wstring name(path);
  // "C:\ProgramData\tideway\" names the same folder; a drive's root keeps its separator.
  while (name.size() > 3 && (name.back() == L'\\' || name.back() == L'/')) name.pop_back();
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
  }
  facts->exists = true;
  facts->directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts->reparsePoint = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // A link's owner would be read from where it leads: it is refused as a link anyway.
  if (facts->reparsePoint) return 1;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD result = GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                             nullptr, nullptr, nullptr, &descriptor);
  if (result != ERROR_SUCCESS) {
    SetLastError(result);
    return -1;
  }
  win::UniqueLocal held(descriptor);
  facts->trustedOwner = owner && (IsWellKnownSid(owner, WinLocalSystemSid) ||
                                  IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsProcessUser(owner));
  return 1;
}

int CreateProtectedFolder(const wchar_t* path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(PROTECTED_FOLDER_SDDL, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return 0;
  }
  win::UniqueLocal held(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  // Owned by Administrators takes an administrator's (or SYSTEM's) token: a
  // standard user's call fails here rather than make the folder its own.
  const BOOL made = CreateDirectoryW(path, &attributes);
  const DWORD error = GetLastError();
  held.Reset();
  SetLastError(made ? ERROR_SUCCESS : error);
  return made ? 1 : 0;
}
