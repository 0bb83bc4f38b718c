#include "common/win/dpi.h"

namespace tw::win {
namespace {

template <class F>
F User32(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

}  // namespace

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND hwnd) {
  static const auto forWindow = User32<GetDpiForWindowFn>("GetDpiForWindow");
  if (forWindow && hwnd) {
    const UINT dpi = forWindow(hwnd);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return SystemDpi();
}

int MetricForDpi(int index, int dpi) {
  static const auto forDpi = User32<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (forDpi) return forDpi(index, static_cast<UINT>(dpi));
  return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

void AdjustRectForDpi(RECT& rc, DWORD style, DWORD exStyle, int dpi) {
  static const auto forDpi = User32<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (forDpi && forDpi(&rc, style, FALSE, exStyle, static_cast<UINT>(dpi))) return;
  AdjustWindowRectEx(&rc, style, FALSE, exStyle);
}

RECT WorkArea(HMONITOR monitor) {
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (monitor && GetMonitorInfoW(monitor, &mi)) return mi.rcWork;
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

RECT CentredInWorkArea(HWND hwnd, int width, int height) {
  const RECT area = WorkArea(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
  const int areaW = area.right - area.left, areaH = area.bottom - area.top;
  if (width > areaW) width = areaW;
  if (height > areaH) height = areaH;
  RECT r;
  r.left = area.left + areaW / 2 - width / 2;
  r.top = area.top + areaH / 2 - height / 2;
  r.right = r.left + width;
  r.bottom = r.top + height;
  return r;
}

}  // namespace tw::win
