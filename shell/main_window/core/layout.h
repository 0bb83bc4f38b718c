// The main window's layout: where each child goes for a window of outer size W x H (twips),
// with the left pane shown or hidden. Pure arithmetic; the window applies the result.
#pragma once

#include <cstdint>
#include <functional>

namespace tw::layout {

struct Box {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};

// Design geometry of the children (twips), relative to their containers.
inline constexpr Box kLeftPanel{0, 0, 2535, 7335};
inline constexpr Box kWebLeft{0, 0, 2535, 6495};
inline constexpr Box kHideBar{2640, -120, 135, 7335};
inline constexpr Box kHideToggle{0, 2280, 105, 1230};  // Hidea, HideB inside HideBar
inline constexpr Box kTopBar{2760, 0, 10095, 495};
inline constexpr Box kTabStrip{2760, 540, 10335, 375};
inline constexpr Box kWebPanel{2760, 960, 7455, 5175};
inline constexpr Box kWebPane{0, 0, 3015, 2775};
inline constexpr Box kStatusBar{3120, 6960, 15615, 435};
// The design client area; the window's outer size adds the frame.
inline constexpr std::int32_t kDesignClientWidth = 12855, kDesignClientHeight = 7740;
// Smallest outer size at which every child takes its computed size, with the left pane shown or
// hidden: the tab strip's SetWidth needs webPanel at least 700 wide (W - 2760 with the pane shown),
// webPanel's height is H - 1780.
inline constexpr std::int32_t kMinWidth = 3460, kMinHeight = 1780;
// The same minimum in pixels at `dpi`, rounded up so that the window, read back in twips, is never
// below it.
struct PixelSize {
  int width = 0, height = 0;
};
PixelSize MinTrackSize(int dpi);

// The resolution the window is drawn at on a monitor of `monitorDpi` whose work area is
// `workArea` pixels, the frame adding `frameAt(dpi)` pixels to the client area: the monitor's own
// where the design client area fits, else the largest at which it still does, so that every
// control of the design shows whole, with text as large as fits. Never below the standard 96 dpi
// (a work area too small even for that clips the window like any window made smaller than the
// design), and a monitor at 96 dpi or less keeps its own.
int FittingDpi(int monitorDpi, PixelSize workArea, const std::function<PixelSize(int dpi)>& frameAt);

// The page zoom (percent) that shows a page at the scale of `dpi`: 100 at 96 dpi.
int PageZoom(int dpi);

// Children that keep their design place inside TopBar and StatuBar.
inline constexpr Box kCmd2{120, 60, 1275, 360};  // Cmd_3 shares it
inline constexpr Box kCmd4{1440, 60, 975, 360};
inline constexpr Box kCmd5{2520, 60, 1425, 360};
inline constexpr Box kCmd6{4080, 60, 1425, 360};
inline constexpr Box kLabel2{7080, 180, 1170, 180};
inline constexpr Box kCmd1{8400, 60, 1680, 375};
inline constexpr Box kLabel1{0, 0, 1440, 180};
inline constexpr Box kImage2{1680, 0, 210, 210};
inline constexpr Box kLabel3{1920, 0, 720, 180};
inline constexpr Box kVol1{5520, 0, 2295, 255};
inline constexpr Box kImage1{9840, 0, 210, 210};
inline constexpr Box kLabel4{10080, 0, 1080, 180};
inline constexpr Box kImage3{11520, 0, 210, 210};
inline constexpr Box kLabel5{11880, 0, 720, 180};

struct Result {
  bool changed = false;  // false while minimised: nothing is touched
  Box leftPanel;
  bool leftPanelVisible = true;
  Box webLeft;           // inside LeftPanel
  Box hideBar;
  std::int32_t hideToggleTop = 0;  // Hidea and HideB inside HideBar
  Box topBar;
  Box tabStrip;
  std::int32_t tabStripSetWidth = 0;  // the argument of the strip's SetWidth
  Box webPanel;
  Box webPane;           // every content pane, inside webPanel
  Box statusBar;
};

// The layout procedure for outer size W x H. Sizes below the minimum are clamped at zero.
Result Compute(std::int32_t W, std::int32_t H, bool leftHide, bool minimised);

// Rounds half to even, as the strip's SetWidth argument is converted.
std::int32_t RoundHalfEven(double v);

}  // namespace tw::layout
