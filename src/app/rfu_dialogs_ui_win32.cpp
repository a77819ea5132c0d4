// The RFU prompts as plain dialogs from the program's templates, and the
// platform the RFU gate runs on in the product.
#include <windows.h>

#include "app/dialog_layout_win32.h"
#include "app/rfu_dialogs.h"
#include "update/rfu_sequencer.h"
#include "app/tideway_dlg.h"
#include "host/properties.h"
#include "host/registry.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "host/win_handles.h"
#include "printer/rfu_status.h"
#include "resources/resource.h"

namespace {

HWND OwnerWindow(void* owner) {
  return owner ? static_cast<HWND>(owner) : GetActiveWindow();
}

// The series name + " " + the program's title, like the main dialog.
void SetRfuCaption(HWND dialog) {
  wchar_t series[RFU_SERIES_NAME_MAX] = L"";
  CProperties::Instance()->GetProperty(L"PRINTER_SERIESNAME", series, RFU_SERIES_NAME_MAX);
  SetWindowTextW(dialog, DialogTitle(series).c_str());
}

std::wstring ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], static_cast<int>(text.size()))));
  return text;
}

template <typename Data>
Data* DialogData(HWND dialog) {
  return reinterpret_cast<Data*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

const int kCommunityBitmaps[] = {IDB_COMMUNITY, IDB_COMMUNITY_144, IDB_COMMUNITY_192};

struct CommunityDialogData {
  CGetRFUStatusDlg* dlg;
  win::UniqueGdiObject picture;
};

INT_PTR CALLBACK CommunityDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
    auto* data = reinterpret_cast<CommunityDialogData*>(lParam);
    SetRfuCaption(dialog);
    static const DialogLabel labels[] = {{IDC_COMMUNITY_OK, IDS_LABEL_OK}, {IDC_COMMUNITY_CANCEL, IDS_LABEL_CANCEL}};
    SetDialogLabels(dialog, labels);
    data->picture = win::UniqueGdiObject(LoadBitmapForDpi(dialog, kCommunityBitmaps));
    HWND picture = GetDlgItem(dialog, IDC_COMMUNITY_PICTURE);
    SetWindowLongPtrW(picture, GWL_STYLE, (GetWindowLongPtrW(picture, GWL_STYLE) & ~SS_TYPEMASK) | SS_BITMAP);
    SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(data->picture.Get()));
    SetDlgItemTextW(dialog, IDC_COMMUNITY_PROMPT, data->dlg->m_prompt.c_str());
    SetDlgItemTextW(dialog, IDC_COMMUNITY_EDIT, data->dlg->m_community.c_str());
    CentreDialog(dialog);
    // The focus starts in the edit field with its words selected, so typing
    // replaces them.
    return TRUE;
  }
  auto* data = DialogData<CommunityDialogData>(dialog);
  if (!data) return FALSE;
  if (message == WM_DESTROY) {
    // The bitmap is the caller's; the control must not outlive its showing it.
    SendDlgItemMessageW(dialog, IDC_COMMUNITY_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, 0);
    return FALSE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:  // Enter
    case IDC_COMMUNITY_OK:
      data->dlg->m_community = ControlText(dialog, IDC_COMMUNITY_EDIT);
      EndDialog(dialog, IDOK);
      return TRUE;
    case IDCANCEL:  // Escape, close box
    case IDC_COMMUNITY_CANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK RemoteUpgradeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
    reinterpret_cast<CRemoteUpgradeDlg*>(lParam)->m_choice = 0;
    SetRfuCaption(dialog);
    static const DialogLabel labels[] = {{IDC_RFU_RECOMMENDATION, IDS_RFU_RECOMMENDATION},
                                         {IDC_RFU_QUESTION, IDS_RFU_QUESTION},
                                         {IDC_RFU_DISABLE, IDS_LABEL_RFU_DISABLE},
                                         {IDC_RFU_ENABLE, IDS_LABEL_RFU_ENABLE},
                                         {IDC_RFU_OK, IDS_LABEL_OK}};
    SetDialogLabels(dialog, labels);
    CentreDialog(dialog);
    CheckDlgButton(dialog, IDC_RFU_DISABLE, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_RFU_ENABLE, BST_UNCHECKED);
    // An automatic radio button that gets the focus checks itself: the focus
    // starts on OK so that the user makes the choice.
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_RFU_OK)), TRUE);
    return FALSE;
  }
  auto* dlg = DialogData<CRemoteUpgradeDlg>(dialog);
  if (!dlg || message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:  // Enter
    case IDC_RFU_OK:
      if (IsDlgButtonChecked(dialog, IDC_RFU_ENABLE) == BST_CHECKED) {
        dlg->m_choice = 1;
      } else if (IsDlgButtonChecked(dialog, IDC_RFU_DISABLE) == BST_CHECKED) {
        dlg->m_choice = 0;
      }
      EndDialog(dialog, IDOK);
      return TRUE;
    case IDCANCEL:  // Escape, close box: no choice read
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

class Win32RfuPlatform : public RfuPlatform {
 public:
  int AskCommunity(const wchar_t* prompt, std::wstring& community) override {
    CGetRFUStatusDlg dlg;
    dlg.SetPrompt(prompt);
    dlg.SetCommunity(community);
    if (dlg.DoModal() != IDOK) return 0;
    community = dlg.GetCommunity();
    return 1;
  }
  int AskRemoteUpgrade() override {
    CRemoteUpgradeDlg dlg;
    dlg.DoModal();
    return dlg.m_choice;
  }
  void ShowUnableToCommunicate() override {
    MessageBoxW(GetActiveWindow(), L"Unable to Communicate.", LocalString(IDS_APP_TITLE).c_str(), MB_OK);
  }
  long SaveValue(const wchar_t* keyPath, const wchar_t* valueName, const void* data, uint32_t size,
                 uint32_t type) override {
    return SaveValueToHKey(keyPath, valueName, data, size, type);
  }
  long SaveInstallCrashed(const wchar_t* keyPath) override { return SaveDwordToHKLM(keyPath); }
  long DeleteValue(const wchar_t* keyPath, const wchar_t* valueName) override {
    return DeleteValueFromHKey(keyPath, valueName);
  }
};

}  // namespace

intptr_t CGetRFUStatusDlg::DoModal(void* owner) {
  // The picture outlives the dialog that shows it.
  CommunityDialogData data{this, win::UniqueGdiObject()};
  return RunProgramDialog(IDD_COMMUNITY_NAME, OwnerWindow(owner), CommunityDialogProc, reinterpret_cast<LPARAM>(&data));
}

intptr_t CRemoteUpgradeDlg::DoModal(void* owner) {
  m_choice = 0;
  return RunProgramDialog(IDD_REMOTE_UPGRADE, OwnerWindow(owner), RemoteUpgradeDialogProc,
                          reinterpret_cast<LPARAM>(this));
}

RfuPlatform& SystemRfuPlatform() {
  static Win32RfuPlatform platform;
  return platform;
}
