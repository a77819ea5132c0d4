#include "support/device_link_win32.h"

#include <winternl.h>

namespace {
using CreateLinkFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, UNICODE_STRING*);
constexpr ACCESS_MASK SYMBOLIC_LINK_ALL = 0xF0001;

UNICODE_STRING Counted(const std::wstring& text) {
  UNICODE_STRING u;
  u.Buffer = const_cast<wchar_t*>(text.c_str());
  u.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  u.MaximumLength = u.Length;
  return u;
}
}  // namespace

HANDLE CreateDeviceLink(const std::wstring& dosName, const std::wstring& pipeName, long* status) {
  auto create = reinterpret_cast<CreateLinkFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateSymbolicLinkObject")));
  if (!create) {
    *status = -1;
    return nullptr;
  }
  const std::wstring name = L"\\??\\" + dosName;
  const std::wstring target = L"\\Device\\NamedPipe\\" + pipeName;
  UNICODE_STRING nameU = Counted(name);
  UNICODE_STRING targetU = Counted(target);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &nameU, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  HANDLE link = nullptr;
  *status = create(&link, SYMBOLIC_LINK_ALL, &attributes, &targetU);
  return *status == 0 ? link : nullptr;
}
