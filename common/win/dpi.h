// Resolution of the screen a window is on. The per-monitor functions of newer systems are looked
// up at run time; where they are missing, every window has the system's resolution.
#pragma once

#include <windows.h>

namespace tw::win {

// The system's logical resolution (96 at 100%).
int SystemDpi();
// The resolution of the monitor `hwnd` is on, or the system's.
int WindowDpi(HWND hwnd);
// A system metric (SM_*) at `dpi`.
int MetricForDpi(int index, int dpi);
// The outer rectangle of a window whose client area is `rc`, at `dpi`.
void AdjustRectForDpi(RECT& rc, DWORD style, DWORD exStyle, int dpi);

// The window's outer size as wanted, made to fit the work area of the monitor it is on (the
// nearest one), then centred in that work area.
RECT CentredInWorkArea(HWND hwnd, int width, int height);
// The work area of `monitor` (the screen's where the monitor cannot be asked).
RECT WorkArea(HMONITOR monitor);

}  // namespace tw::win
