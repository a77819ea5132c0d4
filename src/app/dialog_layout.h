#pragma once
// Placement and pictures of the program's dialogs, the part that needs no
// window system: where a dialog goes and which drawing of a picture fits the
// screen's resolution. The window calls are in dialog_layout_win32.h.

struct ScreenRect {
  long left;
  long top;
  long right;
  long bottom;
};

// `window` moved, same size, so that its centre is the centre of `over`, then
// pushed back inside `workArea` (its top-left corner wins when it is larger).
ScreenRect CentredRect(const ScreenRect& window, const ScreenRect& over, const ScreenRect& workArea);

// Which drawing of a picture suits `dpi`: 0 (100 %), 1 (150 %) or 2 (200 %).
// Between two drawings the smaller one, so a picture never outgrows the
// layout, which scales with the text.
int PictureScaleIndex(unsigned dpi);
