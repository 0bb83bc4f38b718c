// The messages every window we draw ourselves answers alike: its accessible object for a screen
// reader, no background erase (the paint covers the whole client area), and WM_PAINT.
#pragma once

#include <windows.h>

#include "common/win/accessible.h"

namespace tw::win {

// No background erase and WM_PAINT, with `paint(dc, client)` drawing the client area: answers
// `msg` into `result` when it is one of those; false for every other message.
template <class PaintFn>
bool PaintedWindowMessage(HWND hwnd, UINT msg, PaintFn&& paint, LRESULT& result) {
  switch (msg) {
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT client;
      GetClientRect(hwnd, &client);
      paint(dc, client);
      EndPaint(hwnd, &ps);
      result = 0;
      return true;
    }
    default:
      return false;
  }
}

// Draws the client area off screen with `draw(memoryDc)` and copies it to `dc` in one piece, so
// nothing flickers over a half-drawn background; draws straight to `dc` when no off-screen copy
// can be made.
template <class DrawFn>
void PaintOffScreen(HDC dc, const RECT& client, DrawFn&& draw) {
  const int w = client.right > 0 ? client.right : 1, h = client.bottom > 0 ? client.bottom : 1;
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP canvas = memory ? CreateCompatibleBitmap(dc, w, h) : nullptr;
  if (canvas) {
    HGDIOBJ old = SelectObject(memory, canvas);
    draw(memory);
    BitBlt(dc, 0, 0, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(canvas);
  } else {
    draw(dc);
  }
  if (memory) DeleteDC(memory);
}

// First in such a window's procedure: its accessible object, then as PaintedWindowMessage.
template <class PaintFn>
bool DrawnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, AccessibleLink& link, AccessibleSource& source,
                        PaintFn&& paint, LRESULT& result) {
  return link.Handle(hwnd, msg, wp, lp, source, result) || PaintedWindowMessage(hwnd, msg, paint, result);
}

}  // namespace tw::win
