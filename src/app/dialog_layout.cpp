#include "app/dialog_layout.h"

namespace {
long Centred(long start, long size, long overStart, long overEnd, long areaStart, long areaEnd) {
  long at = overStart + ((overEnd - overStart) - size) / 2;
  if (at + size > areaEnd) at = areaEnd - size;
  if (at < areaStart) at = areaStart;
  return at - start;
}
}  // namespace

ScreenRect CentredRect(const ScreenRect& window, const ScreenRect& over, const ScreenRect& workArea) {
  const long width = window.right - window.left;
  const long height = window.bottom - window.top;
  const long dx = Centred(window.left, width, over.left, over.right, workArea.left, workArea.right);
  const long dy = Centred(window.top, height, over.top, over.bottom, workArea.top, workArea.bottom);
  return {window.left + dx, window.top + dy, window.right + dx, window.bottom + dy};
}

int PictureScaleIndex(unsigned dpi) {
  if (dpi >= 192) return 2;
  if (dpi >= 144) return 1;
  return 0;
}
