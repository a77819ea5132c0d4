#pragma once
// What every dialog of the program does when it starts: its labels from the
// string library, right-to-left layout for a right-to-left language, its place
// on the screen, and pictures drawn for the screen's resolution.
#include <windows.h>

#include <cstddef>

struct DialogLabel {
  int controlId;
  unsigned stringId;
};

// Runs dialog template `templateId` of the program modally. When the string
// library's texts read right to left, the whole dialog is laid out mirrored.
INT_PTR RunProgramDialog(int templateId, HWND owner, DLGPROC proc, LPARAM param);

// Sets the labels' texts from the string library; in a mirrored dialog every
// control reads right to left.
void SetDialogLabels(HWND dialog, const DialogLabel* labels, size_t count);

template <size_t N>
void SetDialogLabels(HWND dialog, const DialogLabel (&labels)[N]) {
  SetDialogLabels(dialog, labels, N);
}

// Centres the dialog over its owner, or on its screen when it has none.
void CentreDialog(HWND dialog);

// The dots per inch `window` is drawn at.
unsigned WindowDpi(HWND window);

// The drawing of a bitmap that suits `window`'s resolution: `ids` are the
// resources for 100 %, 150 % and 200 %.
HBITMAP LoadBitmapForDpi(HWND window, const int (&ids)[3]);

// The program's icon in the sizes the system asks for (big and small).
void SetDialogIcons(HWND dialog, int iconId);
