#include "app/dialog_layout_win32.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "app/dialog_layout.h"
#include "host/strings.h"
#include "host/ui_language.h"

namespace {
// Offsets in a DLGTEMPLATEEX (the form DIALOGEX gives): version, signature,
// help id, then the extended style.
constexpr size_t kExStyleOffset = 8;
constexpr size_t kHeaderMin = 26;

ScreenRect ToScreenRect(const RECT& r) {
  return {r.left, r.top, r.right, r.bottom};
}

RECT WorkAreaOf(HWND window) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info)) return info.rcWork;
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return area;
}
}  // namespace

INT_PTR RunProgramDialog(int templateId, HWND owner, DLGPROC proc, LPARAM param) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!IsRightToLeftLanguage(Strings::Instance()->TextLanguage())) {
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, proc, param);
  }
  // Mirroring is decided when a window is made: the template itself says so,
  // and every control takes it from the dialog.
  HRSRC info = FindResourceW(instance, MAKEINTRESOURCEW(templateId), RT_DIALOG);
  HGLOBAL loaded = info ? LoadResource(instance, info) : nullptr;
  const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  const DWORD size = info ? SizeofResource(instance, info) : 0;
  if (!data || size < kHeaderMin) return -1;
  std::vector<BYTE> copy(data, data + size);
  DWORD exStyle;
  memcpy(&exStyle, copy.data() + kExStyleOffset, sizeof exStyle);
  exStyle |= WS_EX_LAYOUTRTL;
  memcpy(copy.data() + kExStyleOffset, &exStyle, sizeof exStyle);
  return DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), owner, proc, param);
}

void SetDialogLabels(HWND dialog, const DialogLabel* labels, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    SetDlgItemTextW(dialog, labels[i].controlId, LocalString(labels[i].stringId).c_str());
  }
  // A mirrored dialog places the controls; each text still needs its reading
  // order, or a sentence's full stop ends up on its right.
  if (!(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL)) return;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    LONG exStyle = GetWindowLongW(child, GWL_EXSTYLE) | WS_EX_RTLREADING;
    // A picture keeps its place on the mirrored side but is not drawn
    // mirrored itself (a tick would turn into a backwards one).
    wchar_t cls[16] = L"";
    GetClassNameW(child, cls, 16);
    const LONG type = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
    if (_wcsicmp(cls, L"Static") == 0 && (type == SS_ICON || type == SS_BITMAP)) exStyle &= ~WS_EX_LAYOUTRTL;
    SetWindowLongW(child, GWL_EXSTYLE, exStyle);
  }
}

void CentreDialog(HWND dialog) {
  RECT window;
  if (!GetWindowRect(dialog, &window)) return;
  HWND owner = GetWindow(dialog, GW_OWNER);
  const RECT area = WorkAreaOf(owner && IsWindowVisible(owner) ? owner : dialog);
  RECT over = area;
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &over);
  const ScreenRect placed = CentredRect(ToScreenRect(window), ToScreenRect(over), ToScreenRect(area));
  SetWindowPos(dialog, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

unsigned WindowDpi(HWND window) {
  // Windows 10 gives each monitor its own; before it, one for the screen.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow && window) {
    if (const UINT dpi = getDpiForWindow(window)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

HBITMAP LoadBitmapForDpi(HWND window, const int (&ids)[3]) {
  const int id = ids[PictureScaleIndex(WindowDpi(window))];
  return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
}

void SetDialogIcons(HWND dialog, int iconId) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // Shared icons are the system's to free; each size is the one drawn for it.
  const struct {
    WPARAM which;
    int cx, cy;
  } sizes[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
  for (const auto& size : sizes) {
    HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, GetSystemMetrics(size.cx),
                             GetSystemMetrics(size.cy), LR_SHARED);
    SendMessageW(dialog, WM_SETICON, size.which, reinterpret_cast<LPARAM>(icon));
  }
}
