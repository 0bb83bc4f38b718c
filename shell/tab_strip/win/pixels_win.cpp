#include "shell/tab_strip/win/pixels_win.h"

#include <cstring>

namespace tw::tabs::win {

HBITMAP MakeBitmap(const PixelImage& image) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // top-down, like the pixel rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  // 0xRRGGBB is the DIB's BGRX byte order on a little-endian machine.
  std::memcpy(bits, image.pixels.data(), image.pixels.size() * sizeof(std::uint32_t));
  GdiFlush();
  return bitmap;
}

void DrawStretched(HDC dc, HBITMAP bitmap, int image_width, int image_height, const RECT& dest) {
  if (!bitmap || dest.right <= dest.left || dest.bottom <= dest.top) return;
  HDC source = CreateCompatibleDC(dc);
  if (!source) return;
  HGDIOBJ old = SelectObject(source, bitmap);
  int old_mode = SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source, 0, 0, image_width,
             image_height, SRCCOPY);
  SetStretchBltMode(dc, old_mode);
  SelectObject(source, old);
  DeleteDC(source);
}

}  // namespace tw::tabs::win
