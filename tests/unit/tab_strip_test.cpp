#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/core/text.h"
#include "shell/tab_strip/core/lintra_tab.h"
#include "shell/tab_strip/core/tab_art.h"
#include "shell/tab_strip/core/tab_btn.h"

namespace tw::tabs {
namespace {

// Every code unit is 10 twips wide; the font is 195 twips high.
class FixedMeasurer : public TextMeasurer {
 public:
  TwipSize Measure(std::u16string_view text) const override {
    return {static_cast<std::int32_t>(text.size()) * 10, 195};
  }
};

std::u16string Chars(std::size_t n) { return std::u16string(n, u'x'); }
// A caption whose tab is exactly `width` twips wide (width >= 480, a multiple of 10).
std::u16string CaptionForTabWidth(std::int32_t width) { return Chars(static_cast<std::size_t>(width - 480) / 10); }

class Recorder : public LintraTabEvents {
 public:
  void Click(const std::u16string& caption, const std::u16string& data, std::int32_t index) override {
    log.push_back("Click(" + ToUtf8(caption) + "," + ToUtf8(data) + "," + std::to_string(index) + ")");
    if (on_click) on_click(index);
  }
  void TabChange(const std::u16string& caption, const std::u16string& data, std::int32_t index) override {
    log.push_back("TabChange(" + ToUtf8(caption) + "," + ToUtf8(data) + "," + std::to_string(index) + ")");
  }
  void UnloadClick(std::int32_t index) override {
    log.push_back("UnloadClick(" + std::to_string(index) + ")");
    if (on_unload) on_unload(index);
  }
  std::vector<std::string> log;
  std::function<void(std::int32_t)> on_click;
  std::function<void(std::int32_t)> on_unload;
};

// ---------------------------------------------------------------- tab button

TEST(TabBtn, WidthIsCaptionPlus480WhetherOrNotTheCloseButtonShows) {
  FixedMeasurer m;
  struct Case {
    std::size_t chars;
    bool close_visible;
  } cases[] = {{0, true}, {0, false}, {1, true}, {17, false}, {17, true}, {250, false}};
  for (const Case& c : cases) {
    TabBtn tab(m);
    tab.SetEndVIS(c.close_visible);
    tab.SetCaption(Chars(c.chars));
    const std::int32_t caption_width = static_cast<std::int32_t>(c.chars) * 10;
    SCOPED_TRACE(c.chars);
    EXPECT_EQ(tab.Width(), caption_width + 480);
    EXPECT_EQ(tab.EndBtnVisible(), c.close_visible);
    // 120 before the caption, 60 between caption and close button, 120 after the button.
    EXPECT_EQ(tab.LabelRect().left, 120);
    EXPECT_EQ(tab.EndBtnRect().left, 120 + caption_width + 60);
    EXPECT_EQ(tab.Width() - (tab.EndBtnRect().left + tab.EndBtnRect().width), 120);
    EXPECT_EQ(tab.PieceRect(Piece::kTabM).left, 10);
    EXPECT_EQ(tab.PieceRect(Piece::kTabM).width, tab.Width() - 20);
    EXPECT_EQ(tab.PieceRect(Piece::kTabM2).width, tab.Width() - 20);
    EXPECT_EQ(tab.PieceRect(Piece::kTabR).left, tab.Width() - 10);
    EXPECT_EQ(tab.PieceRect(Piece::kTabR2).left, tab.Width() - 10);
  }
}

TEST(TabBtn, TheCloseButtonsOwnWidthCountsInTheTabsWidth) {
  FixedMeasurer m;
  // 12 x 11 px at 120 dpi: 144 x 132 twips.
  TabBtn tab(m, 375, TwipSize{144, 132});
  tab.SetCaption(Chars(10));
  EXPECT_EQ(tab.Width(), 100 + 144 + 300);
  EXPECT_EQ(tab.EndBtnRect().left, tab.Width() - 144 - 120);
  EXPECT_EQ(tab.EndBtnRect().width, 144);
  EXPECT_EQ(tab.EndBtnRect().height, 132);

  Recorder events;
  LintraTab strip(m, events, u"home", TwipSize{144, 132});
  strip.CreatTab(Chars(10));
  EXPECT_EQ(strip.Find(1)->btn.Width(), 544);
  EXPECT_EQ(strip.Find(0)->btn.Width(), 40 + 444);
}

TEST(TabBtn, CaptionIsCentredVerticallyInTheContainersHeight) {
  FixedMeasurer m;
  TabBtn tab(m, 375);
  tab.SetCaption(u"abc");
  EXPECT_EQ(tab.LabelRect().top, (375 - 195) / 2);
  tab.ContainerResize(600);
  EXPECT_EQ(tab.Height(), 600);
  EXPECT_EQ(tab.LabelRect().top, (600 - 195) / 2);
  EXPECT_EQ(tab.Width(), 30 + 480);  // the container cannot change the width
}

TEST(TabBtn, OnlyTrueGivesTheNormalLook) {
  FixedMeasurer m;
  struct Case {
    VbBool value;
    bool normal;
  } cases[] = {{kVbTrue, true}, {kVbFalse, false}, {1, false}, {2, false}, {-2, false}, {32767, false}};
  for (const Case& c : cases) {
    TabBtn tab(m);
    tab.TabVis(c.normal ? kVbFalse : kVbTrue);  // start from the other look
    tab.TabVis(c.value);
    SCOPED_TRACE(c.value);
    EXPECT_EQ(tab.NormalLook(), c.normal);
    EXPECT_EQ(tab.PieceVisible(Piece::kTabL), c.normal);
    EXPECT_EQ(tab.PieceVisible(Piece::kTabM), c.normal);
    EXPECT_EQ(tab.PieceVisible(Piece::kTabR), c.normal);
    EXPECT_EQ(tab.PieceVisible(Piece::kTabL2), !c.normal);
    EXPECT_EQ(tab.PieceVisible(Piece::kTabM2), !c.normal);
    EXPECT_EQ(tab.PieceVisible(Piece::kTabR2), !c.normal);
  }
}

TEST(TabBtn, SetEndVisCentresUntilTheNextCaption) {
  FixedMeasurer m;
  TabBtn tab(m);
  tab.SetCaption(Chars(40));  // 400 twips, tab 880
  tab.SetEndVIS(false);
  EXPECT_FALSE(tab.EndBtnVisible());
  EXPECT_EQ(tab.LabelRect().left, (880 - 400) / 2);
  EXPECT_EQ(tab.LabelRect().top, (375 - 195) / 2);
  tab.SetCaption(Chars(20));
  EXPECT_EQ(tab.LabelRect().left, 120);
  EXPECT_FALSE(tab.EndBtnVisible());
  EXPECT_EQ(tab.Width(), 680);
  tab.SetEndVIS(true);
  EXPECT_TRUE(tab.EndBtnVisible());
  EXPECT_EQ(tab.LabelRect().left, (680 - 200) / 2);
}

TEST(TabBtn, DataIsEmptyUntilSaved) {
  FixedMeasurer m;
  TabBtn tab(m);
  EXPECT_EQ(tab.LoadData(), u"");
  EXPECT_EQ(tab.GetCaption(), u"");
  tab.SaveData(u"key=1");
  tab.SetCaption(u"t");
  EXPECT_EQ(tab.LoadData(), u"key=1");
  EXPECT_EQ(tab.GetCaption(), u"t");
}

TEST(TabBtn, GetResizeIsLabelWidthPlus140AndReportsOverflow) {
  FixedMeasurer m;
  TabBtn tab(m);
  EXPECT_EQ(tab.GetResize(), std::optional<std::int16_t>(140));
  tab.SetCaption(Chars(3262));  // 32620 + 140 = 32760
  EXPECT_EQ(tab.GetResize(), std::optional<std::int16_t>(32760));
  tab.SetCaption(Chars(3263));  // 32770 does not fit
  EXPECT_EQ(tab.GetResize(), std::nullopt);
}

TEST(TabBtn, ClickOnTheCloseButtonIsOnlyAClose) {
  FixedMeasurer m;
  TabBtn tab(m);
  tab.SetCaption(Chars(10));  // tab 580 wide, close button at 280..460, 120..285
  struct Case {
    std::int32_t x, y;
    TabHit visible_close, hidden_close;
  } cases[] = {
      {300, 200, TabHit::kClose, TabHit::kBody},   // on the close button
      {280, 120, TabHit::kClose, TabHit::kBody},   // its top-left corner
      {459, 284, TabHit::kClose, TabHit::kBody},   // its bottom-right corner
      {460, 200, TabHit::kBody, TabHit::kBody},    // just right of it
      {300, 100, TabHit::kBody, TabHit::kBody},    // just above it
      {150, 180, TabHit::kBody, TabHit::kBody},    // on the caption
      {0, 0, TabHit::kBody, TabHit::kBody},        // the border
      {579, 374, TabHit::kBody, TabHit::kBody},    // bottom-right corner of the tab
      {580, 10, TabHit::kNone, TabHit::kNone},     // outside
      {10, 375, TabHit::kNone, TabHit::kNone},     // below
      {-1, 10, TabHit::kNone, TabHit::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    tab.SetEndVIS(true);
    EXPECT_EQ(tab.HitTest(c.x, c.y), c.visible_close);
    tab.SetEndVIS(false);
    EXPECT_EQ(tab.HitTest(c.x, c.y), c.hidden_close);
  }
}

// ---------------------------------------------------------------- tab strip

struct Strip {
  FixedMeasurer measurer;
  Recorder events;
  LintraTab strip{measurer, events, u"Tarnwick 127.0.0.1"};  // 18 units: tab 0 is 660 wide

  std::int64_t Left(std::int32_t i) const { return strip.Find(i)->left; }
  std::int32_t Width(std::int32_t i) const { return strip.Find(i)->btn.Width(); }
  bool Normal(std::int32_t i) const { return strip.Find(i)->btn.NormalLook(); }
  int SelectedCount() const {
    int n = 0;
    for (const auto& [index, slot] : strip.Tabs()) n += slot.btn.NormalLook() ? 0 : 1;
    return n;
  }
};

TEST(HostName, TakesTheHostOutOfTheBaseUrl) {
  struct Case {
    std::u16string url, host;
  } cases[] = {
      {u"http://127.0.0.1:18473", u"127.0.0.1"},
      {u"http://games.example.org", u"games.example.org"},
      {u"https://user:pw@games.example.org:8080/x?y#z", u"games.example.org"},
      {u"http://[::1]:80/", u"[::1]"},
      {u"games.example.org/path", u"games.example.org"},
      {u"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(HostName(c.url), c.host) << ToUtf8(c.url);
  EXPECT_EQ(HomeCaption(u"Tarnwick", u"http://127.0.0.1:18473"), u"Tarnwick 127.0.0.1");
}

TEST(LintraTab, StartsWithTheSelectedHomeTabWithoutCloseButton) {
  Strip s;
  EXPECT_EQ(s.strip.Counter(), 0);
  EXPECT_EQ(s.strip.CurrentIndex(), 0);
  EXPECT_EQ(s.strip.Offset(), 0);
  EXPECT_EQ(s.strip.StripWidth(), 1000000);
  ASSERT_EQ(s.strip.Tabs().size(), 1u);
  const TabBtn& home = s.strip.Find(0)->btn;
  EXPECT_EQ(home.GetCaption(), u"Tarnwick 127.0.0.1");
  EXPECT_FALSE(home.EndBtnVisible());
  EXPECT_FALSE(home.NormalLook());
  EXPECT_EQ(home.LabelRect().left, (660 - 180) / 2);  // centred
  EXPECT_TRUE(s.strip.Find(0)->visible);
  EXPECT_TRUE(s.events.log.empty());
}

TEST(LintraTab, StartTimerRaisesTabChangeForTabZeroOnce) {
  Strip s;
  EXPECT_TRUE(s.strip.StartTimerEnabled());
  s.strip.StartTimerTick();
  s.strip.StartTimerTick();
  s.strip.StartTimerTick();
  EXPECT_FALSE(s.strip.StartTimerEnabled());
  EXPECT_EQ(s.events.log, std::vector<std::string>{"TabChange(Tarnwick 127.0.0.1,,0)"});
}

TEST(LintraTab, ThreeAddsReturnOneTwoThreeWithOverlappingLefts) {
  Strip s;
  EXPECT_EQ(s.strip.CreatTab(Chars(10)), 1);  // 580
  EXPECT_EQ(s.strip.CreatTab(Chars(30)), 2);  // 780
  EXPECT_EQ(s.strip.CreatTab(u"Tarnwick"), 3);
  EXPECT_EQ(s.Left(0), 0);
  EXPECT_EQ(s.Left(1), 660 - 15);
  EXPECT_EQ(s.Left(2), 660 + 580 - 30);
  EXPECT_EQ(s.Left(3), 660 + 580 + 780 - 45);
  EXPECT_EQ(s.Width(3), 80 + 480);
  EXPECT_EQ(s.strip.Counter(), 3);
  EXPECT_EQ(s.strip.CurrentIndex(), 3);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(s.strip.Find(i)->visible);
    EXPECT_TRUE(s.strip.Find(i)->btn.EndBtnVisible());
    EXPECT_TRUE(s.Normal(i));  // adding selects nothing
  }
  EXPECT_FALSE(s.Normal(0));
  EXPECT_EQ(s.strip.Offset(), 0);  // and does not scroll
  EXPECT_EQ(s.events.log, (std::vector<std::string>{"Click(xxxxxxxxxx,,1)", "Click(" + ToUtf8(Chars(30)) + ",,2)",
                                                    "Click(Tarnwick,,3)"}));
}

TEST(LintraTab, ClosingTabTwoSelectsHomeThenReportsTheCloseAndClosesTheGap) {
  Strip s;
  s.strip.CreatTab(Chars(10));  // 580
  s.strip.CreatTab(Chars(30));  // 780
  s.strip.CreatTab(Chars(20));  // 680
  s.strip.SetIndex(3);
  s.strip.SetData(u"three");
  s.events.log.clear();

  ASSERT_TRUE(s.strip.TabKilled(2));
  EXPECT_EQ(s.events.log, (std::vector<std::string>{"TabChange(Tarnwick 127.0.0.1,,0)", "UnloadClick(2)"}));
  EXPECT_EQ(s.strip.Find(2), nullptr);
  EXPECT_EQ(s.Left(3), 660 + 580 - 30);
  EXPECT_EQ(s.strip.CurrentIndex(), 0);
  EXPECT_FALSE(s.Normal(0));
  EXPECT_EQ(s.SelectedCount(), 1);
  EXPECT_EQ(s.strip.GetCaption(), std::optional<std::u16string>(u"Tarnwick 127.0.0.1"));
  EXPECT_EQ(s.strip.GetTag(), std::optional<std::u16string>(u""));
  EXPECT_EQ(s.strip.Find(3)->btn.LoadData(), u"three");

  EXPECT_EQ(s.strip.CreatTab(u"next"), 4);
  EXPECT_EQ(s.Left(4), 660 + 580 + 680 - 45);
}

TEST(LintraTab, CloseRequestsForTabZeroOrAMissingTabChangeNothing) {
  Strip s;
  s.strip.CreatTab(Chars(10));
  s.strip.SetIndex(1);
  s.events.log.clear();
  EXPECT_TRUE(s.strip.TabKilled(0));
  EXPECT_FALSE(s.strip.TabKilled(5));
  EXPECT_FALSE(s.strip.TabKilled(70000));
  EXPECT_TRUE(s.events.log.empty());
  EXPECT_EQ(s.strip.Tabs().size(), 2u);
  EXPECT_EQ(s.strip.CurrentIndex(), 1);
  EXPECT_FALSE(s.Normal(1));
}

TEST(LintraTab, ClickOnATabSelectsItAloneAndReportsIt) {
  Strip s;
  s.strip.CreatTab(u"a");
  s.strip.CreatTab(u"b");
  s.strip.SetIndex(2);
  s.strip.SetData(u"bee");
  s.events.log.clear();
  s.strip.TabClicked(2);
  EXPECT_EQ(s.events.log, std::vector<std::string>{"TabChange(b,bee,2)"});
  s.strip.TabClicked(1);
  EXPECT_EQ(s.events.log.back(), "TabChange(a,,1)");
  EXPECT_EQ(s.strip.CurrentIndex(), 1);
  EXPECT_FALSE(s.Normal(1));
  EXPECT_EQ(s.SelectedCount(), 1);
}

TEST(LintraTab, AClickProcedureForAMissingTabRaisesNothingAndSelectsNothing) {
  Strip s;
  s.strip.CreatTab(u"a");
  s.strip.SetIndex(1);
  s.events.log.clear();
  s.strip.TabClicked(9);
  EXPECT_TRUE(s.events.log.empty());
  EXPECT_EQ(s.SelectedCount(), 0);
  EXPECT_EQ(s.strip.CurrentIndex(), 9);
  EXPECT_EQ(s.strip.GetCaption(), std::nullopt);
  s.strip.SetIndex(-3);
  EXPECT_EQ(s.strip.CurrentIndex(), -3);
  EXPECT_EQ(s.SelectedCount(), 0);
  EXPECT_EQ(s.strip.Offset(), 0);
}

TEST(LintraTab, SelectingScrollsByOneTabWidthAndNeverPastZero) {
  Strip s;
  ASSERT_TRUE(s.strip.SetWidth(2700));  // viewport 2000
  EXPECT_EQ(s.strip.ViewportWidth(), 2000);
  EXPECT_EQ(s.strip.CtlPanelLeft(), 2060);
  s.strip.CreatTab(CaptionForTabWidth(1000));  // 645..1645
  s.strip.CreatTab(CaptionForTabWidth(800));   // 1630..2430
  s.strip.CreatTab(CaptionForTabWidth(600));   // 2415..3015

  s.strip.SetIndex(1);  // fully in view
  EXPECT_EQ(s.strip.Offset(), 0);
  s.strip.SetIndex(2);  // right edge beyond the viewport: one tab width left
  EXPECT_EQ(s.strip.Offset(), -800);
  s.strip.SetIndex(3);  // 3015 > 2000 + 800
  EXPECT_EQ(s.strip.Offset(), -1400);
  s.strip.SetIndex(2);  // right edge 2430 within 2000 + 1400, left 1630 - 1400 >= 0: stays
  EXPECT_EQ(s.strip.Offset(), -1400);
  s.strip.SetIndex(1);  // left edge 645 - 1400 < 0: one tab width right
  EXPECT_EQ(s.strip.Offset(), -400);
  s.strip.SetIndex(0);  // 0 - 400 < 0: +660 would be positive, held at 0
  EXPECT_EQ(s.strip.Offset(), 0);
  EXPECT_TRUE(s.events.log.size() == 3u);  // SetIndex raises nothing
}

TEST(LintraTab, ATabFarOutOfViewMovesOnlyOneWidthPerSelection) {
  Strip s;
  ASSERT_TRUE(s.strip.SetWidth(1700));  // viewport 1000
  for (int i = 0; i < 5; ++i) s.strip.CreatTab(CaptionForTabWidth(500));
  // Tab 5: left 660 + 4 * 500 - 75 = 2585, right edge 3085.
  s.strip.SetIndex(5);
  EXPECT_EQ(s.strip.Offset(), -500);
  s.strip.TabClicked(5);
  EXPECT_EQ(s.strip.Offset(), -1000);
  EXPECT_LE(s.strip.Offset(), 0);
}

TEST(LintraTab, RightArrowMovesBackOnlyByWholeSteps) {
  struct Case {
    int left_clicks;
    std::int64_t before, after;
  } cases[] = {{0, 0, 0}, {-1, -500, -500}, {1, -1500, -500}};
  for (const Case& c : cases) {
    Strip s;
    ASSERT_TRUE(s.strip.SetWidth(1700));        // viewport 1000
    s.strip.CreatTab(CaptionForTabWidth(500));  // 645..1145
    if (c.left_clicks != 0) s.strip.SetIndex(1);  // -> -500
    for (int i = 0; i < c.left_clicks; ++i) s.strip.LeftArrowClick();
    ASSERT_EQ(s.strip.Offset(), c.before);
    s.strip.RightArrowClick();
    EXPECT_EQ(s.strip.Offset(), c.after) << c.before;
  }
}

TEST(LintraTab, LeftArrowSlidesWhileTheTabsAreAtLeastAsWideAsTheViewport) {
  Strip s;
  ASSERT_TRUE(s.strip.SetWidth(2700));  // viewport 2000
  s.strip.CreatTab(CaptionForTabWidth(1000));  // widths 660 + 1000 = 1660 < 2000
  s.strip.LeftArrowClick();
  EXPECT_EQ(s.strip.Offset(), 0);
  s.strip.CreatTab(CaptionForTabWidth(500));  // 2160 >= 2000
  s.strip.LeftArrowClick();
  EXPECT_EQ(s.strip.Offset(), -1000);
  s.strip.LeftArrowClick();
  s.strip.LeftArrowClick();
  EXPECT_EQ(s.strip.Offset(), -3000);  // no further bound
  s.strip.RightArrowClick();
  EXPECT_EQ(s.strip.Offset(), -2000);

  Strip exact;  // the sum equal to the viewport still slides
  ASSERT_TRUE(exact.strip.SetWidth(700 + 660 + 1000));
  exact.strip.CreatTab(CaptionForTabWidth(1000));
  exact.strip.LeftArrowClick();
  EXPECT_EQ(exact.strip.Offset(), -1000);
}

TEST(LintraTab, CaptionChangeLeavesLaterTabsInPlaceUntilReLeft) {
  Strip s;
  s.strip.CreatTab(Chars(10));  // 580
  s.strip.CreatTab(Chars(10));
  s.strip.CreatTab(Chars(10));
  s.strip.SetIndex(1);
  const std::int64_t left2 = s.Left(2), left3 = s.Left(3);
  ASSERT_TRUE(s.strip.SetCaption(1, Chars(50)));  // 980
  EXPECT_EQ(s.Width(1), 980);
  EXPECT_EQ(s.Left(1), 645);
  EXPECT_EQ(s.Left(2), left2);
  EXPECT_EQ(s.Left(3), left3);
  EXPECT_FALSE(s.Normal(1));  // the look is kept
  s.strip.ReLeft();
  EXPECT_EQ(s.Left(2), 660 + 980 - 30);
  EXPECT_EQ(s.Left(3), 660 + 980 + 580 - 45);
  EXPECT_EQ(s.strip.Offset(), 0);
}

TEST(LintraTab, MissingTabsAreReportedToTheCaller) {
  Strip s;
  s.strip.CreatTab(u"a");
  EXPECT_FALSE(s.strip.SetCaption(2, u"x"));
  EXPECT_FALSE(s.strip.SetCaption(-1, u"x"));
  EXPECT_FALSE(s.strip.SetCaption(40000, u"x"));
  EXPECT_FALSE(s.strip.setvis(2));
  EXPECT_TRUE(s.strip.setvis(0));
  EXPECT_TRUE(s.Normal(0));

  s.strip.SetIndex(7);  // stored anyway; every tab loses the selected look
  EXPECT_EQ(s.strip.CurrentIndex(), 7);
  EXPECT_EQ(s.SelectedCount(), 0);
  EXPECT_EQ(s.strip.GetCaption(), std::nullopt);
  EXPECT_EQ(s.strip.GetTag(), std::nullopt);
  s.strip.SetData(u"lost");  // ignored
  s.strip.SetIndex(1);
  EXPECT_EQ(s.strip.GetTag(), std::optional<std::u16string>(u""));
  EXPECT_EQ(s.strip.GetCaption(), std::optional<std::u16string>(u"a"));
}

TEST(LintraTab, SetWidthRefusesANegativeViewport) {
  Strip s;
  EXPECT_TRUE(s.strip.SetWidth(700));
  EXPECT_EQ(s.strip.ViewportWidth(), 0);
  EXPECT_EQ(s.strip.CtlPanelLeft(), 60);
  EXPECT_FALSE(s.strip.SetWidth(699));
  EXPECT_EQ(s.strip.ViewportWidth(), 0);
  EXPECT_EQ(s.strip.CtlPanelLeft(), 60);
  EXPECT_FALSE(s.strip.SetWidth(INT32_MIN));
  EXPECT_TRUE(s.strip.SetWidth(INT32_MAX));
  EXPECT_EQ(s.strip.ViewportWidth(), INT32_MAX - 700);
}

TEST(LintraTab, TheWalksOverTheTabsReachTabsAboveOneHundred) {
  Strip s;
  ASSERT_TRUE(s.strip.SetWidth(60000));  // viewport 59300
  for (int i = 1; i <= 100; ++i) ASSERT_EQ(s.strip.CreatTab(Chars(2)), i);  // 500 each
  EXPECT_EQ(s.strip.CreatTab(Chars(2000)), 101);                              // 20480
  EXPECT_EQ(s.strip.CreatTab(Chars(2)), 102);
  const std::int64_t left101 = 660 + 100 * 500 - 101 * 15;
  EXPECT_EQ(s.Left(101), left101);
  EXPECT_EQ(s.Left(102), left101 + 20480 - 15);

  // The left arrow counts every tab: 71640 >= 59300.
  s.strip.LeftArrowClick();
  EXPECT_EQ(s.strip.Offset(), -1000);

  s.strip.SetIndex(101);
  EXPECT_FALSE(s.Normal(101));
  EXPECT_EQ(s.SelectedCount(), 1);
  s.strip.TabClicked(102);
  EXPECT_FALSE(s.Normal(102));
  EXPECT_EQ(s.SelectedCount(), 1);
  EXPECT_EQ(s.events.log.back(), "TabChange(xx,,102)");

  // Closing tab 50 closes the gap for every later tab.
  ASSERT_TRUE(s.strip.TabKilled(50));
  EXPECT_EQ(s.Left(51), 660 + 49 * 500 - 50 * 15);
  EXPECT_EQ(s.Left(101), left101 - 485);
  EXPECT_EQ(s.Left(102), left101 - 485 + 20480 - 15);
  EXPECT_EQ(s.events.log.back(), "UnloadClick(50)");
  EXPECT_EQ(s.strip.CreatTab(u"z"), 103);
  EXPECT_EQ(s.Left(103), left101 - 485 + 20480 + 500 - 30);
}

TEST(LintraTab, HandlersMayCallBackIntoTheStrip) {
  Strip s;
  // The host selects each new tab from its Click handler and opens a tab when one is closed.
  s.events.on_click = [&](std::int32_t index) { s.strip.SetIndex(static_cast<std::int16_t>(index)); };
  bool reopened = false;
  s.events.on_unload = [&](std::int32_t) {
    if (!reopened) {
      reopened = true;
      s.strip.CreatTab(u"again");
    }
  };
  s.strip.CreatTab(u"one");
  EXPECT_FALSE(s.Normal(1));
  EXPECT_EQ(s.SelectedCount(), 1);
  ASSERT_TRUE(s.strip.TabKilled(1));
  EXPECT_EQ(s.events.log, (std::vector<std::string>{"Click(one,,1)", "TabChange(Tarnwick 127.0.0.1,,0)",
                                                    "UnloadClick(1)", "Click(again,,2)"}));
  EXPECT_FALSE(s.Normal(2));
  EXPECT_EQ(s.Left(2), 645);
}

// ---------------------------------------------------------------- pictures

TEST(TabArt, PiecesHaveTheirPixelSizesBordersAndFills) {
  struct Case {
    Piece piece;
    int width, height;
    bool left_border, right_border, normal;
  } cases[] = {
      {Piece::kTabL, 3, 25, true, false, true},   {Piece::kTabM, 2, 25, false, false, true},
      {Piece::kTabR, 1, 25, false, true, true},   {Piece::kTabL2, 3, 26, true, false, false},
      {Piece::kTabM2, 1, 25, false, false, false}, {Piece::kTabR2, 1, 25, false, true, false},
  };
  for (const Case& c : cases) {
    PixelImage image = PieceImage(c.piece);
    SCOPED_TRACE(static_cast<int>(c.piece));
    ASSERT_EQ(image.width, c.width);
    ASSERT_EQ(image.height, c.height);
    ASSERT_EQ(image.pixels.size(), static_cast<std::size_t>(c.width * c.height));
    for (int x = 0; x < c.width; ++x) EXPECT_EQ(image.At(x, 0), kTabBorder);
    for (int y = 0; y < c.height; ++y) {
      if (c.left_border) {
        EXPECT_EQ(image.At(0, y), kTabBorder);
      }
      if (c.right_border) {
        EXPECT_EQ(image.At(c.width - 1, y), kTabBorder);
      }
    }
    if (c.left_border || c.right_border) continue;
    const int x = 0;
    if (c.normal) {
      EXPECT_EQ(image.At(x, 1), kNormalTop);
      EXPECT_EQ(image.At(x, c.height - 1), kNormalBottom);
      for (int y = 2; y < c.height; ++y) EXPECT_LE(image.At(x, y) & 0xFF, image.At(x, y - 1) & 0xFF);
    } else {
      for (int y = 1; y < c.height; ++y) EXPECT_EQ(image.At(x, y), kSelectedFill);
    }
  }
  EXPECT_EQ(PieceImage(Piece::kTabL).At(2, 24), kNormalBottom);
  EXPECT_EQ(PieceImage(Piece::kTabL2).At(1, 25), kSelectedFill);
}

TEST(TabArt, CloseButtonIsAWhiteCrossOnGreenInThreeShades) {
  std::uint32_t greens[3];
  ButtonLook looks[] = {ButtonLook::kNormal, ButtonLook::kOver, ButtonLook::kDown};
  for (int i = 0; i < 3; ++i) {
    PixelImage image = CloseButtonImage(looks[i]);
    ASSERT_EQ(image.width, 12);
    ASSERT_EQ(image.height, 11);
    greens[i] = image.At(5, 2) == 0xFFFFFF ? image.At(2, 5) : image.At(5, 2);
    EXPECT_GT((greens[i] >> 8) & 0xFF, (greens[i] >> 16) & 0xFF);  // green dominates
    EXPECT_EQ(image.At(5, 5), 0xFFFFFFu);  // centre of the cross
    EXPECT_EQ(image.At(2, 2), 0xFFFFFFu);  // its arms
    EXPECT_EQ(image.At(9, 8), 0xFFFFFFu);
    EXPECT_EQ(image.At(9, 2), 0xFFFFFFu);
    EXPECT_NE(image.At(0, 0), 0xFFFFFFu);
  }
  EXPECT_NE(greens[0], greens[1]);
  EXPECT_NE(greens[0], greens[2]);
}

TEST(TabArt, ArrowsPointTheirWay) {
  for (ButtonLook look : {ButtonLook::kNormal, ButtonLook::kOver, ButtonLook::kDown}) {
    PixelImage left = ArrowImage(ArrowDirection::kLeft, look);
    PixelImage right = ArrowImage(ArrowDirection::kRight, look);
    ASSERT_EQ(left.width, 16);
    ASSERT_EQ(left.height, 15);
    const std::uint32_t background = left.At(0, 0);
    // The tip is a single pixel on the pointing side; the base spans many rows on the other.
    EXPECT_NE(left.At(4, 7), background);
    EXPECT_EQ(left.At(4, 6), background);
    EXPECT_NE(left.At(10, 2), background);
    EXPECT_NE(left.At(10, 12), background);
    for (int y = 0; y < 15; ++y) {
      for (int x = 0; x < 16; ++x) EXPECT_EQ(right.At(x, y), left.At(15 - x, y));
    }
  }
  EXPECT_EQ(ArrowImage(ArrowDirection::kLeft, ButtonLook::kNormal).At(0, 0), kStripColour);
}

TEST(TabArt, PicturesAreDrawnAtTheScreensResolution) {
  // 150%: sizes to the nearest pixel, one-pixel lines stay one pixel, shapes keep their place.
  PixelImage close = CloseButtonImage(ButtonLook::kNormal, 144);
  ASSERT_EQ((std::pair{close.width, close.height}), (std::pair{18, 17}));
  EXPECT_EQ(close.At(8, 8), 0xFFFFFFu);                        // the cross's centre
  EXPECT_NE(close.At(1, 1), close.At(0, 0));                   // the edge is one pixel wide
  EXPECT_EQ(close.At(17, 16), close.At(0, 0));
  PixelImage arrow = ArrowImage(ArrowDirection::kLeft, ButtonLook::kNormal, 144);
  ASSERT_EQ((std::pair{arrow.width, arrow.height}), (std::pair{24, 23}));
  EXPECT_NE(arrow.At(7, 11), kStripColour);  // the tip
  EXPECT_EQ(arrow.At(6, 11), kStripColour);
  PixelImage piece = PieceImage(Piece::kTabL, 144);
  ASSERT_EQ((std::pair{piece.width, piece.height}), (std::pair{5, 38}));
  EXPECT_EQ(piece.At(0, 20), kTabBorder);
  EXPECT_EQ(piece.At(1, 20) == kTabBorder, false);
  EXPECT_EQ(piece.At(4, 37), kNormalBottom);
  // 200%: twice the size, the edge two pixels wide.
  PixelImage big = CloseButtonImage(ButtonLook::kOver, 192);
  ASSERT_EQ((std::pair{big.width, big.height}), (std::pair{24, 22}));
  EXPECT_EQ(big.At(1, 1), big.At(0, 0));
  EXPECT_NE(big.At(2, 2), big.At(0, 0));
}

}  // namespace
}  // namespace tw::tabs
