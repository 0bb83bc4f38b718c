#include "shell/main_window/core/layout.h"

#include <algorithm>
#include <cmath>

#include "common/core/twips.h"

namespace tw::layout {

std::int32_t RoundHalfEven(double v) {
  double r = std::nearbyint(v);  // the default rounding mode is to nearest, ties to even
  if (r > 2147483647.0) return 2147483647;
  if (r < -2147483648.0) return -2147483647 - 1;
  return static_cast<std::int32_t>(r);
}

PixelSize MinTrackSize(int dpi) {
  if (dpi <= 0) dpi = kTwipsPerInch / 15;
  auto up = [dpi](std::int64_t twips) {
    return static_cast<int>((twips * dpi + kTwipsPerInch - 1) / kTwipsPerInch);
  };
  return {up(kMinWidth), up(kMinHeight)};
}

namespace {
constexpr int kStandardDpi = kTwipsPerInch / 15;  // 96
}  // namespace

int FittingDpi(int monitorDpi, PixelSize workArea, const std::function<PixelSize(int dpi)>& frameAt) {
  auto fits = [&](int dpi) {
    const PixelSize frame = frameAt(dpi);
    return TwipsToPixels(kDesignClientWidth, dpi) + frame.width <= workArea.width &&
           TwipsToPixels(kDesignClientHeight, dpi) + frame.height <= workArea.height;
  };
  int dpi = monitorDpi;
  while (dpi > kStandardDpi && !fits(dpi)) --dpi;
  return dpi;
}

int PageZoom(int dpi) { return (dpi * 100 + kStandardDpi / 2) / kStandardDpi; }

Result Compute(std::int32_t W, std::int32_t H, bool leftHide, bool minimised) {
  Result r;
  if (minimised) return r;
  r.changed = true;
  auto nonNeg = [](std::int32_t v) { return std::max<std::int32_t>(v, 0); };

  r.leftPanel = {0, 0, 2625, nonNeg(H - 800)};
  r.webLeft = {-30, -30, 2750, nonNeg(H - 755)};
  r.statusBar = {0, H - 720, kStatusBar.width, kStatusBar.height};
  r.tabStrip = {kTabStrip.left, kTabStrip.top, nonNeg(W - 2850), kTabStrip.height};
  r.topBar = {kTopBar.left, kTopBar.top, nonNeg(W - 2850), kTopBar.height};
  r.webPanel = {kWebPanel.left, kWebPanel.top, nonNeg(W - 2760), nonNeg(H - 1780)};
  r.hideBar = {kHideBar.left, kHideBar.top, kHideBar.width, nonNeg(H - 800)};
  r.hideToggleTop = r.hideBar.height / 3;

  if (leftHide) {
    r.leftPanelVisible = false;
    r.hideBar.left = 0;
    std::int32_t left = r.hideBar.width + 60;
    std::int32_t width = nonNeg(W - 120 - r.hideBar.width);
    r.topBar.left = r.tabStrip.left = r.webPanel.left = left;
    r.topBar.width = r.tabStrip.width = r.webPanel.width = width;
  } else {
    r.webPanel.left = r.tabStrip.left = r.topBar.left = 2760;
    r.hideBar.left = 2640;
  }
  r.tabStripSetWidth = RoundHalfEven(r.webPanel.width);
  r.webPane = {0, 0, nonNeg(r.webPanel.width - 180), r.webPanel.height};
  return r;
}

}  // namespace tw::layout
