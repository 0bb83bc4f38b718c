#include "library/image_button/core/image_button.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ib = tw::image_button;
using ib::Slot;
using ib::TwipSize;

namespace {

const char* SlotName(Slot s) {
  switch (s) {
    case Slot::Normal: return "Picture";
    case Slot::Hover: return "PicturePoint";
    case Slot::Down: return "PictureDown";
  }
  return "?";
}

// Records everything the button asks of its view and raises, in order.
class Recorder : public ib::View, public ib::Events {
 public:
  void ShowPicture(Slot slot) override { log.push_back(std::string("show ") + SlotName(slot)); }
  void SetLeaveTimer(bool on) override { log.push_back(on ? "timer on" : "timer off"); }
  void SetControlSize(TwipSize s) override {
    log.push_back("size " + std::to_string(s.width) + "x" + std::to_string(s.height));
  }
  void ApplyToolTip(const std::u16string& t) override { toolTips.push_back(t); }
  void Click() override { log.push_back("Click"); }
  void MouseMove(std::int16_t x, std::int16_t y) override { log.push_back(Pos("MouseMove", x, y)); }
  void MouseDown(std::int16_t b, std::int16_t x, std::int16_t y) override {
    log.push_back(Pos("MouseDown " + std::to_string(b), x, y));
  }
  void MouseUp(std::int16_t b, std::int16_t x, std::int16_t y) override {
    log.push_back(Pos("MouseUp " + std::to_string(b), x, y));
  }
  void DblClick() override { log.push_back("Dblclick"); }
  void MouseLeave(std::int16_t x, std::int16_t y) override { log.push_back(Pos("MouseLeave", x, y)); }

  std::vector<std::string> Take() { return std::exchange(log, {}); }
  std::vector<std::string> log;
  std::vector<std::u16string> toolTips;

 private:
  static std::string Pos(const std::string& what, int x, int y) {
    return what + " " + std::to_string(x) + "," + std::to_string(y);
  }
};

using Log = std::vector<std::string>;

// A button with three 450 x 300 twip pictures, created and ready.
class ImageButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    button.Created();
    button.SetPicture(Slot::Normal, TwipSize{450, 300});
    button.SetPicture(Slot::Hover, TwipSize{450, 300});
    button.SetPicture(Slot::Down, TwipSize{450, 300});
    button.InitCtlSet();
    rec.Take();
  }
  Recorder rec;
  ib::ImageButton button{rec, rec};
};

TEST(ImageButtonFresh, NoPicturesMeasures615By495AndShowsNormal) {
  Recorder rec;
  ib::ImageButton button(rec, rec);
  button.Created();
  EXPECT_EQ(button.ControlSize(), (TwipSize{615, 495}));
  EXPECT_EQ(button.ImageSize(), (TwipSize{615, 495}));
  EXPECT_EQ(button.Shown(), Slot::Normal);
  EXPECT_FALSE(button.LeaveTimerEnabled());
  EXPECT_EQ(rec.Take(), (Log{"size 615x495"}));
}

TEST_F(ImageButtonTest, MoveOnShowsHoverAndLeaveRestoresNormalOnce) {
  button.MouseMove(30, 45);
  EXPECT_EQ(rec.Take(), (Log{"timer on", "show PicturePoint", "MouseMove 30,45"}));
  button.LeaveTick(100, 200, true);
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_TRUE(button.LeaveTimerEnabled());
  button.LeaveTick(500, 600, false);
  EXPECT_EQ(rec.Take(), (Log{"timer off", "show Picture", "MouseLeave 500,600"}));
  // A late tick after the timer stopped raises nothing more.
  button.LeaveTick(500, 600, false);
  EXPECT_TRUE(rec.Take().empty());
}

TEST_F(ImageButtonTest, RepeatedMovesStartTheTimerOnlyOnce) {
  button.MouseMove(15, 15);
  button.MouseMove(30, 15);
  EXPECT_EQ(rec.Take(), (Log{"timer on", "show PicturePoint", "MouseMove 15,15", "show PicturePoint",
                             "MouseMove 30,15"}));
}

TEST_F(ImageButtonTest, PressAndReleaseWithoutMovingEndsOnHoverUntilLeave) {
  button.MouseDown(ib::kLeftButton, 60, 75);
  EXPECT_TRUE(button.Pressed());
  button.MouseUp(ib::kLeftButton, 60, 75);
  EXPECT_FALSE(button.Pressed());
  EXPECT_EQ(rec.Take(), (Log{"show PictureDown", "MouseDown 1 60,75", "show PicturePoint", "MouseUp 1 60,75",
                             "Click"}));
  EXPECT_EQ(button.Shown(), Slot::Hover);
}

TEST_F(ImageButtonTest, PressDragOffAndBackShowsPressedAgain) {
  button.MouseDown(ib::kLeftButton, 15, 15);
  button.MouseMove(15, 15);
  // Dragged off the button (the capture keeps the moves coming) and the leave check sees it.
  button.MouseMove(900, 15);
  button.LeaveTick(300, 10, false);
  EXPECT_EQ(button.Shown(), Slot::Normal);
  EXPECT_TRUE(button.Pressed());
  rec.Take();
  // Back over the image while still held: pressed picture, not the hover one.
  button.MouseMove(30, 30);
  EXPECT_EQ(rec.Take(), (Log{"timer on", "show PictureDown", "MouseMove 30,30"}));
  button.MouseUp(ib::kLeftButton, 30, 30);
  EXPECT_EQ(rec.Take(), (Log{"show PicturePoint", "MouseUp 1 30,30", "Click"}));
}

TEST_F(ImageButtonTest, LostCaptureEndsThePress) {
  button.MouseDown(ib::kLeftButton, 15, 15);
  button.CaptureLost();
  EXPECT_FALSE(button.Pressed());
  rec.Take();
  button.MouseMove(30, 30);
  EXPECT_EQ(rec.Take(), (Log{"timer on", "show PicturePoint", "MouseMove 30,30"}));
  // A release seen later is reported but is no click.
  button.MouseUp(ib::kLeftButton, 30, 30);
  EXPECT_EQ(rec.Take(), (Log{"show PicturePoint", "MouseUp 1 30,30"}));
}

TEST_F(ImageButtonTest, ReleaseOutsideTheImageRaisesNoClick) {
  button.MouseDown(ib::kLeftButton, 15, 15);
  rec.Take();
  button.MouseUp(ib::kLeftButton, 600, 15);
  EXPECT_EQ(rec.Take(), (Log{"show PicturePoint", "MouseUp 1 600,15"}));
}

TEST_F(ImageButtonTest, OnlyTheLeftButtonClicks) {
  button.MouseDown(ib::kRightButton, 15, 15);
  button.MouseUp(ib::kRightButton, 15, 15);
  EXPECT_EQ(rec.Take(), (Log{"show PictureDown", "MouseDown 2 15,15", "show PicturePoint", "MouseUp 2 15,15"}));
}

TEST_F(ImageButtonTest, DoubleClickRaisesDblclickWithoutAnotherPress) {
  button.MouseDown(ib::kLeftButton, 15, 15);
  button.MouseUp(ib::kLeftButton, 15, 15);
  button.DoubleClick(15, 15);
  button.MouseUp(ib::kLeftButton, 15, 15);
  EXPECT_EQ(rec.Take(), (Log{"show PictureDown", "MouseDown 1 15,15", "show PicturePoint", "MouseUp 1 15,15",
                             "Click", "Dblclick", "show PicturePoint", "MouseUp 1 15,15"}));
}

TEST_F(ImageButtonTest, MoveOverSurfaceOutsideTheImageShowsNormalWithoutEvent) {
  // A smaller hover picture leaves part of the control's surface outside the image.
  button.SetPicture(Slot::Hover, TwipSize{150, 150});
  button.MouseMove(30, 30);
  EXPECT_EQ(button.ImageSize(), (TwipSize{150, 150}));
  EXPECT_EQ(button.ControlSize(), (TwipSize{450, 300}));
  rec.Take();
  button.MouseMove(300, 30);
  EXPECT_EQ(rec.Take(), (Log{"show Picture"}));
  EXPECT_TRUE(button.LeaveTimerEnabled());
}

TEST_F(ImageButtonTest, OnlyPressesOnTheImageCount) {
  // Smaller pictures leave the control's surface from x = 150 on outside the image.
  for (Slot slot : {Slot::Hover, Slot::Down, Slot::Normal}) button.SetPicture(slot, TwipSize{150, 150});
  rec.Take();
  button.MouseDown(ib::kLeftButton, 150, 30);
  button.DoubleClick(300, 30);
  button.MouseUp(ib::kLeftButton, 150, 30);
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_FALSE(button.Pressed());
  EXPECT_EQ(button.Shown(), Slot::Normal);
  // On the image's last twip column the press counts; a release one twip past it is no click.
  button.MouseDown(ib::kLeftButton, 149, 30);
  button.MouseUp(ib::kLeftButton, 150, 30);
  button.MouseDown(ib::kLeftButton, 149, 30);
  button.MouseUp(ib::kLeftButton, 149, 30);
  EXPECT_EQ(rec.Take(), (Log{"show PictureDown", "MouseDown 1 149,30", "show PicturePoint", "MouseUp 1 150,30",
                             "show PictureDown", "MouseDown 1 149,30", "show PicturePoint", "MouseUp 1 149,30",
                             "Click"}));
}

struct LeaveCase {
  const char* name;
  bool checkBox;
  bool setChk;
  Slot afterLeave;
};

class ImageButtonLeave : public ImageButtonTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(ImageButtonLeave, LeaveShowsCheckedPictureOnlyInCheckBoxMode) {
  const LeaveCase& c = GetParam();
  button.CheckBox(c.checkBox);
  if (c.setChk) button.SetChk(true);
  button.MouseMove(15, 15);
  EXPECT_EQ(button.Shown(), Slot::Hover);
  button.LeaveTick(0, 0, false);
  EXPECT_EQ(button.Shown(), c.afterLeave);
  // Neither a click nor a release clears the check: it comes back at the next leave.
  button.MouseDown(ib::kLeftButton, 15, 15);
  button.MouseUp(ib::kLeftButton, 15, 15);
  button.MouseMove(15, 15);
  button.LeaveTick(0, 0, false);
  EXPECT_EQ(button.Shown(), c.afterLeave);
}

INSTANTIATE_TEST_SUITE_P(Cases, ImageButtonLeave,
                         ::testing::Values(LeaveCase{"CheckBoxChecked", true, true, Slot::Down},
                                           LeaveCase{"CheckedWithoutCheckBox", false, true, Slot::Normal},
                                           LeaveCase{"CheckBoxUnchecked", true, false, Slot::Normal},
                                           LeaveCase{"Plain", false, false, Slot::Normal}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageButtonTest, SetChkWithFalseStillChecks) {
  button.SetChk(false);
  EXPECT_TRUE(button.Checked());
  EXPECT_EQ(rec.Take(), (Log{"show PictureDown"}));
  button.CheckBox(true);
  button.RefreshSkin();
  EXPECT_EQ(button.Shown(), Slot::Down);
}

TEST_F(ImageButtonTest, CheckBoxDoesNotChangeTheDisplay) {
  button.SetChk(true);
  button.SetMode(0);
  rec.Take();
  button.CheckBox(true);
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_EQ(button.Shown(), Slot::Normal);
}

struct ModeCase {
  std::int16_t mode;
  Slot shown;
};

class ImageButtonMode : public ImageButtonTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ImageButtonMode, SetModeShowsThePictureAndKeepsFlags) {
  // Start from the pressed picture so that every valid mode is a visible change.
  button.SetMode(2);
  button.SetMode(GetParam().mode);
  EXPECT_EQ(button.Shown(), GetParam().shown);
  EXPECT_FALSE(button.Pressed());
  EXPECT_FALSE(button.Checked());
  EXPECT_FALSE(button.LeaveTimerEnabled());
}

INSTANTIATE_TEST_SUITE_P(Modes, ImageButtonMode,
                         ::testing::Values(ModeCase{0, Slot::Normal}, ModeCase{1, Slot::Hover},
                                           ModeCase{2, Slot::Down}, ModeCase{3, Slot::Down},
                                           ModeCase{-1, Slot::Down}, ModeCase{32767, Slot::Down}));

TEST_F(ImageButtonTest, SetModeThreeChangesNothing) {
  button.SetMode(1);
  rec.Take();
  button.SetMode(3);
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_EQ(button.Shown(), Slot::Hover);
}

TEST_F(ImageButtonTest, SettingHoverOrDownPictureKeepsTheDisplay) {
  button.SetPicture(Slot::Hover, TwipSize{900, 900});
  button.SetPicture(Slot::Down, std::nullopt);
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_EQ(button.Shown(), Slot::Normal);
}

TEST_F(ImageButtonTest, SettingThePictureOnShowKeepsTheOldOneUntilTheNextChange) {
  // Hovering, pressed, checked: the image keeps the picture it was given, and its size.
  button.MouseMove(30, 30);
  rec.Take();
  button.SetPicture(Slot::Hover, TwipSize{900, 600});
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_EQ(button.ImageSize(), (TwipSize{450, 300}));
  button.MouseMove(45, 30);
  EXPECT_EQ(button.ImageSize(), (TwipSize{900, 600}));

  button.MouseDown(ib::kLeftButton, 30, 30);
  rec.Take();
  button.SetPicture(Slot::Down, std::nullopt);
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_EQ(button.ImageSize(), (TwipSize{450, 300}));
  button.MouseUp(ib::kLeftButton, 30, 30);

  button.SetPicture(Slot::Down, TwipSize{300, 150});
  button.SetChk(true);
  rec.Take();
  button.SetPicture(Slot::Down, TwipSize{600, 600});
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_EQ(button.ImageSize(), (TwipSize{300, 150}));
  EXPECT_EQ(button.Shown(), Slot::Down);
}

TEST_F(ImageButtonTest, SettingPictureShowsItButSizeFollowsOnlyLater) {
  button.SetMode(1);
  rec.Take();
  button.SetPicture(Slot::Normal, TwipSize{900, 600});
  EXPECT_EQ(rec.Take(), (Log{"show Picture"}));
  EXPECT_EQ(button.ImageSize(), (TwipSize{900, 600}));
  EXPECT_EQ(button.ControlSize(), (TwipSize{450, 300}));
  button.Resized();
  EXPECT_EQ(button.ControlSize(), (TwipSize{900, 600}));
  EXPECT_EQ(rec.Take(), (Log{"size 900x600"}));
}

TEST_F(ImageButtonTest, InitCtlSetShowsPictureThenSizesToIt) {
  button.SetPicture(Slot::Normal, std::nullopt);
  button.SetMode(1);
  button.SetPicture(Slot::Normal, TwipSize{1200, 330});
  rec.Take();
  button.InitCtlSet();
  EXPECT_EQ(rec.Take(), (Log{"show Picture", "size 1200x330"}));
  EXPECT_EQ(button.ControlSize(), (TwipSize{1200, 330}));
}

TEST_F(ImageButtonTest, HostResizeIsUndone) {
  // The host resized the control; the control answers with its image's size.
  button.Resized();
  EXPECT_EQ(rec.Take(), (Log{"size 450x300"}));
  button.SetPicture(Slot::Normal, std::nullopt);
  rec.Take();
  button.Resized();
  EXPECT_EQ(rec.Take(), (Log{"size 615x495"}));
  EXPECT_EQ(button.ControlSize(), (TwipSize{615, 495}));
}

TEST_F(ImageButtonTest, ToolTipReachesTheImageOnlyOnTimerTicks) {
  button.SetToolTipText(u"Back");
  EXPECT_TRUE(rec.toolTips.empty());
  button.MouseMove(15, 15);
  button.LeaveTick(1, 1, true);
  button.SetToolTipText(u"Home");
  button.LeaveTick(1, 1, false);
  EXPECT_EQ(rec.toolTips, (std::vector<std::u16string>{u"Back", u"Home"}));
}

struct CoordCase {
  double in;
  std::int16_t out;
};

class EventCoordinate : public ::testing::TestWithParam<CoordCase> {};

TEST_P(EventCoordinate, RoundsHalfToEvenAndClamps) {
  EXPECT_EQ(ib::ToEventCoordinate(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Values, EventCoordinate,
                         ::testing::Values(CoordCase{0.5, 0}, CoordCase{1.5, 2}, CoordCase{2.5, 2},
                                           CoordCase{-0.5, 0}, CoordCase{-1.5, -2}, CoordCase{-2.5, -2},
                                           CoordCase{7.49, 7}, CoordCase{7.51, 8}, CoordCase{32767.4, 32767},
                                           CoordCase{40000.0, 32767}, CoordCase{-32768.6, -32768},
                                           CoordCase{-1e9, -32768}));

TEST(ScreenCoordinate, NarrowsByClamping) {
  EXPECT_EQ(ib::NarrowScreenCoordinate(1279), 1279);
  EXPECT_EQ(ib::NarrowScreenCoordinate(-5), -5);
  EXPECT_EQ(ib::NarrowScreenCoordinate(70000), 32767);
  EXPECT_EQ(ib::NarrowScreenCoordinate(-70000), -32768);
}

TEST_F(ImageButtonTest, EventCoordinatesAreRoundedTwips) {
  button.MouseMove(22.5, 37.5);
  EXPECT_EQ(rec.Take().back(), "MouseMove 22,38");
}

TEST_F(ImageButtonTest, LeaveReportsClampedScreenPosition) {
  button.MouseMove(15, 15);
  rec.Take();
  button.LeaveTick(40000, -40000, false);
  EXPECT_EQ(rec.Take().back(), "MouseLeave 32767,-32768");
}

}  // namespace
