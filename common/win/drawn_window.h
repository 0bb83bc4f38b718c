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

// First in such a window's procedure: its accessible object, then as PaintedWindowMessage.
template <class PaintFn>
bool DrawnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, AccessibleLink& link, AccessibleSource& source,
                        PaintFn&& paint, LRESULT& result) {
  return link.Handle(hwnd, msg, wp, lp, source, result) || PaintedWindowMessage(hwnd, msg, paint, result);
}

}  // namespace tw::win
