#include <gtest/gtest.h>

#include "common/core/twips.h"
#include "shell/main_window/core/layout.h"
#include "shell/tab_strip/core/lintra_tab.h"

namespace tw::layout {
namespace {

TEST(Layout, WindowOf12000By8000WithTheLeftPaneShown) {
  Result r = Compute(12000, 8000, false, false);
  ASSERT_TRUE(r.changed);
  EXPECT_EQ(r.leftPanel, (Box{0, 0, 2625, 7200}));
  EXPECT_TRUE(r.leftPanelVisible);
  EXPECT_EQ(r.webLeft, (Box{-30, -30, 2750, 7245}));
  EXPECT_EQ(r.statusBar.top, 7280);
  EXPECT_EQ(r.statusBar.left, 0);
  EXPECT_EQ(r.topBar.left, 2760);
  EXPECT_EQ(r.topBar.width, 9150);
  EXPECT_EQ(r.tabStrip.left, 2760);
  EXPECT_EQ(r.tabStrip.width, 9150);
  EXPECT_EQ(r.webPanel, (Box{2760, 960, 9240, 6220}));
  EXPECT_EQ(r.hideBar.left, 2640);
  EXPECT_EQ(r.hideBar.height, 7200);
  EXPECT_EQ(r.hideToggleTop, 2400);
  EXPECT_EQ(r.webPane.width, 9060);
  EXPECT_EQ(r.webPane.height, 6220);
  EXPECT_EQ(r.tabStripSetWidth, 9240);
}

TEST(Layout, TheSameWindowWithTheLeftPaneHidden) {
  Result r = Compute(12000, 8000, true, false);
  EXPECT_FALSE(r.leftPanelVisible);
  EXPECT_EQ(r.hideBar.left, 0);
  for (const Box& b : {r.topBar, r.tabStrip, r.webPanel}) {
    EXPECT_EQ(b.left, 195);
    EXPECT_EQ(b.width, 11745);
  }
  EXPECT_EQ(r.tabStripSetWidth, 11745);
  EXPECT_EQ(r.webPane.width, 11745 - 180);
  // Heights and tops do not depend on the left pane.
  EXPECT_EQ(r.webPanel.height, 6220);
  EXPECT_EQ(r.topBar.top, 0);
  EXPECT_EQ(r.tabStrip.top, 540);
}

TEST(Layout, MinimisedChangesNothing) {
  Result r = Compute(12000, 8000, false, true);
  EXPECT_FALSE(r.changed);
}

TEST(Layout, AtTheMinimumSizeEveryChildTakesItsSizeAndBelowItSizesClampAtZero) {
  struct NoText : tabs::TextMeasurer {
    tabs::TwipSize Measure(std::u16string_view) const override { return {0, 195}; }
  } measurer;
  struct NoEvents : tabs::LintraTabEvents {
    void Click(const std::u16string&, const std::u16string&, std::int32_t) override {}
    void TabChange(const std::u16string&, const std::u16string&, std::int32_t) override {}
    void UnloadClick(std::int32_t) override {}
  } events;
  tabs::LintraTab strip(measurer, events, u"Tarnwick");
  for (bool leftHide : {false, true}) {
    Result r = Compute(kMinWidth, kMinHeight, leftHide, false);
    EXPECT_TRUE(strip.SetWidth(r.tabStripSetWidth)) << leftHide;
    EXPECT_GE(r.tabStrip.width, 0);
    EXPECT_GE(r.webPane.width, 0);
    EXPECT_EQ(r.webPanel.height, 0);
  }
  EXPECT_FALSE(strip.SetWidth(Compute(kMinWidth - 1, kMinHeight, false, false).tabStripSetWidth));
  // In pixels the minimum is rounded up: read back in twips the window is never below it.
  for (int dpi : {72, 96, 120, 144, 192}) {
    PixelSize px = MinTrackSize(dpi);
    EXPECT_GE(PixelsToTwips(px.width, dpi), kMinWidth) << dpi;
    EXPECT_GE(PixelsToTwips(px.height, dpi), kMinHeight) << dpi;
    EXPECT_LT(PixelsToTwips(px.width - 1, dpi), kMinWidth) << dpi;
  }
  Result tiny = Compute(100, 100, false, false);
  for (const Box& b : {tiny.leftPanel, tiny.webLeft, tiny.hideBar, tiny.topBar, tiny.tabStrip, tiny.webPanel,
                       tiny.webPane}) {
    EXPECT_GE(b.width, 0);
    EXPECT_GE(b.height, 0);
  }
}

TEST(Layout, TheWindowScaleIsTheLargestAtWhichTheDesignFitsTheWorkAreaNeverAboveTheMonitors) {
  const PixelSize areas[] = {{1280, 800}, {1366, 768}, {1920, 1080}};
  const auto skinFrame = [](int dpi) { return PixelSize{6 * dpi / 96, 30 * dpi / 96}; };
  const auto noFrame = [](int) { return PixelSize{}; };
  for (int monitor : {96, 120, 144, 192, 288}) {
    for (const PixelSize& area : areas) {
      auto fits = [&](int dpi) {
        const PixelSize frame = skinFrame(dpi);
        return TwipsToPixels(kDesignClientWidth, dpi) + frame.width <= area.width &&
               TwipsToPixels(kDesignClientHeight, dpi) + frame.height <= area.height;
      };
      const int dpi = FittingDpi(monitor, area, skinFrame);
      SCOPED_TRACE(testing::Message() << monitor << " dpi on " << area.width << " x " << area.height);
      EXPECT_LE(dpi, monitor);
      EXPECT_TRUE(fits(dpi));
      EXPECT_TRUE(dpi == monitor || !fits(dpi + 1));
      EXPECT_TRUE(monitor != 96 || dpi == 96);
    }
  }
  // Where it fits the design takes the monitor's scale; where not, the limits, worked by hand.
  EXPECT_EQ(FittingDpi(192, {1920, 1080}, noFrame), 192);
  EXPECT_EQ(FittingDpi(192, {1280, 800}, noFrame), 143);   // 12855 twips: 1277 pixels at 143 dpi, 1286 at 144
  EXPECT_EQ(FittingDpi(288, {1920, 1080}, noFrame), 201);  // 7740 twips: 1080 pixels at 201 dpi, 1086 at 202
  EXPECT_EQ(FittingDpi(144, {1366, 768}, [](int) { return PixelSize{12, 57}; }), 132);
  // A work area too small for the design at 96 dpi keeps 96; a monitor below it keeps its own.
  EXPECT_EQ(FittingDpi(144, {800, 600}, noFrame), 96);
  EXPECT_EQ(FittingDpi(72, {800, 600}, noFrame), 72);
  EXPECT_EQ(PageZoom(96), 100);
  EXPECT_EQ(PageZoom(143), 149);
  EXPECT_EQ(PageZoom(192), 200);
}

TEST(Layout, RoundingIsHalfToEven) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(1e12), 2147483647);
}

}  // namespace
}  // namespace tw::layout
