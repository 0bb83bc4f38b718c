// The messages every window we draw ourselves answers alike: its accessible object for a screen
// reader, no background erase (the paint covers the whole client area), and WM_PAINT.
#pragma once

#include <windows.h>

#include "common/win/accessible.h"

namespace tw::win {

// First in such a window's procedure: answers `msg` into `result` when it is one of those, with
// `paint(dc, client)` drawing the client area. False for every other message.
template <class PaintFn>
bool DrawnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, AccessibleLink& link, AccessibleSource& source,
                        PaintFn&& paint, LRESULT& result) {
  if (link.Handle(hwnd, msg, wp, lp, source, result)) return true;
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

}  // namespace tw::win
