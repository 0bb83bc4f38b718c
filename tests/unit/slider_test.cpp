// The volume slider: knob placement, the drag mapping, the track limits and the icon clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shell/volume/core/volume_art.h"
#include "shell/volume/core/volume_slider.h"

namespace tw::volume {
namespace {

struct Recorder : VolumeSliderEvents {
  std::vector<float> volumes;
  std::vector<std::string> clicks;
  VolumeSlider* slider = nullptr;
  bool unmuteOnMuteRequest = false;
  void VolChange(float Volume) override { volumes.push_back(Volume); }
  void VolOffClick() override { clicks.push_back("VolOffClick"); }
  void VolOnClick() override {
    clicks.push_back("VolOnClick");
    if (unmuteOnMuteRequest && slider) slider->SetMute(kFalse);
  }
};

struct MapCase {
  float knobLeft;
  float volume;
};
class DragMapping : public ::testing::TestWithParam<MapCase> {};
TEST_P(DragMapping, KnobLeftToVolume) {
  EXPECT_EQ(VolumeSlider::VolumeForKnobLeft(GetParam().knobLeft), GetParam().volume) << GetParam().knobLeft;
}
INSTANTIATE_TEST_SUITE_P(Table, DragMapping,
                         ::testing::Values(MapCase{1080, 55}, MapCase{260, 1}, MapCase{1750, 100},
                                           MapCase{1769, 100}, MapCase{248, 0}, MapCase{241, 0},
                                           MapCase{849, 40}, MapCase{1010, 51}, MapCase{998, 50},
                                           MapCase{255.5f, 0}, MapCase{256, 1}));

struct PlaceCase {
  std::int32_t volume;
  float knobLeft;
};
class KnobPlacement : public ::testing::TestWithParam<PlaceCase> {};
TEST_P(KnobPlacement, VolumeToKnobLeftAndFill) {
  VolumeSlider slider;
  slider.setVol(GetParam().volume);
  const SliderRect& knob = slider.Element(SliderElement::volbtn);
  const SliderRect& fill = slider.Element(SliderElement::bg2);
  EXPECT_FLOAT_EQ(knob.left, GetParam().knobLeft) << GetParam().volume;
  EXPECT_FLOAT_EQ(fill.width, GetParam().knobLeft - 240);
  EXPECT_FLOAT_EQ(fill.left, 360);
  EXPECT_GE(fill.width, 0);
}
INSTANTIATE_TEST_SUITE_P(Table, KnobPlacement,
                         ::testing::Values(PlaceCase{0, 260}, PlaceCase{100, 1760}, PlaceCase{55, 1085},
                                           PlaceCase{23, 605},
                                           // outside 0-100 the knob stays at the ends of the track
                                           PlaceCase{150, 1760}, PlaceCase{-5, 260}, PlaceCase{-1000, 260}));

// Presses on the knob's centre, then moves the pointer so that the knob's left edge would
// land on each of `lefts`.
class Drag : public ::testing::Test {
 protected:
  Drag() { s.set_events(&rec); }
  float KnobCentreX() const { return s.Element(SliderElement::volbtn).left + 97.5f; }
  void Press(MouseButton button = MouseButton::Left) { s.MouseDown(KnobCentreX(), 100, button); }
  void MoveKnobTo(float left) { s.MouseMove(left + 97.5f, 100); }
  float KnobLeft() const { return s.Element(SliderElement::volbtn).left; }

  Recorder rec;
  VolumeSlider s;
};

TEST_F(Drag, KnobFollowsThePointerAndReportsEveryAcceptedMove) {
  Press();
  EXPECT_TRUE(s.dragging());
  MoveKnobTo(1080);
  MoveKnobTo(1081);  // same volume: still reported
  MoveKnobTo(849);
  EXPECT_EQ(rec.volumes, (std::vector<float>{55, 55, 40}));
  EXPECT_FLOAT_EQ(KnobLeft(), 849);
  EXPECT_FLOAT_EQ(s.Element(SliderElement::bg2).width, 849 - 240);
}

TEST_F(Drag, AMovePastTheLeftEndTakesTheKnobToIt) {
  Press();
  MoveKnobTo(849);
  MoveKnobTo(100);  // one fast move from 40 to far left of the track
  EXPECT_EQ(rec.volumes, (std::vector<float>{40, 0}));
  EXPECT_FLOAT_EQ(KnobLeft(), 240);
  EXPECT_FLOAT_EQ(s.Element(SliderElement::bg2).width, 0);
  MoveKnobTo(241);
  EXPECT_EQ(rec.volumes.back(), 0);
}

TEST_F(Drag, AMovePastTheTrackWidthTakesTheKnobToIt) {
  Press();
  MoveKnobTo(1500);
  MoveKnobTo(2000);
  EXPECT_EQ(rec.volumes, (std::vector<float>{83, 100}));
  EXPECT_FLOAT_EQ(KnobLeft(), 1770);
}

TEST_F(Drag, TinyDragRightFromFullVolumeReportsFull) {
  s.setVol(100);
  Press();
  MoveKnobTo(1761);
  EXPECT_EQ(rec.volumes, std::vector<float>{100});
}

TEST_F(Drag, MovesWithoutAPressRaiseNothing) {
  MoveKnobTo(500);
  s.MouseMove(KnobCentreX(), 100);
  EXPECT_TRUE(rec.volumes.empty());
  EXPECT_FLOAT_EQ(KnobLeft(), 1080);
}

TEST_F(Drag, ReleaseEndsTheDrag) {
  Press();
  MoveKnobTo(700);
  s.MouseUp(KnobCentreX(), 100, MouseButton::Left);
  EXPECT_FALSE(s.dragging());
  MoveKnobTo(900);
  EXPECT_EQ(rec.volumes.size(), 1u);
  EXPECT_FLOAT_EQ(KnobLeft(), 700);
}

TEST_F(Drag, CancelledPressEndsTheDragWithoutAClick) {
  Press();
  s.CancelPress();
  EXPECT_FALSE(s.dragging());
  EXPECT_EQ(s.pressed(), SliderElement::None);
  MoveKnobTo(700);
  EXPECT_TRUE(rec.volumes.empty());
}

TEST_F(Drag, AnyButtonDrags) {
  Press(MouseButton::Right);
  MoveKnobTo(849);
  EXPECT_EQ(rec.volumes, std::vector<float>{40});
}

TEST_F(Drag, PressOnTheTrackDoesNotMoveTheKnob) {
  s.MouseDown(500, 100, MouseButton::Left);
  EXPECT_FALSE(s.dragging());
  s.MouseMove(700, 100);
  s.MouseUp(700, 100, MouseButton::Left);
  EXPECT_TRUE(rec.volumes.empty());
  EXPECT_FLOAT_EQ(KnobLeft(), 1080);
}

TEST_F(Drag, SetVolDuringNoDragRaisesNothing) {
  s.setVol(40);
  s.setVol(80);
  EXPECT_TRUE(rec.volumes.empty());
}

TEST_F(Drag, TheVolumeShownIsTheOneSetOrTheOneLastReported) {
  // What a screen reader reads: setVol's knob stands one place right of where a drag reports the
  // same volume, so the volume cannot be read back from the knob.
  EXPECT_EQ(s.Volume(), 55);
  for (std::int32_t v = 0; v <= 100; ++v) {
    s.setVol(v);
    EXPECT_EQ(s.Volume(), v);
  }
  s.setVol(150);
  EXPECT_EQ(s.Volume(), 100);
  s.setVol(-5);
  EXPECT_EQ(s.Volume(), 0);
  s.setVol(23);
  Press();
  MoveKnobTo(849);
  EXPECT_EQ(s.Volume(), 40);
  EXPECT_EQ(rec.volumes, std::vector<float>{40});
}

class Icons : public ::testing::Test {
 protected:
  Icons() {
    s.set_events(&rec);
    rec.slider = &s;
  }
  void Click(float x, float y) {
    s.MouseDown(x, y, MouseButton::Left);
    s.MouseUp(x, y, MouseButton::Left);
  }
  bool Muted() const { return s.Element(SliderElement::VOLOFF).visible; }
  bool Sounding() const { return s.Element(SliderElement::VOLON).visible; }

  Recorder rec;
  VolumeSlider s;
};

TEST_F(Icons, ClicksSwapTheIconsWhateverTheHostDoes) {
  Click(100, 100);
  EXPECT_EQ(rec.clicks, std::vector<std::string>{"VolOnClick"});
  EXPECT_TRUE(Muted());
  EXPECT_FALSE(Sounding());
  Click(100, 100);
  EXPECT_EQ(rec.clicks, (std::vector<std::string>{"VolOnClick", "VolOffClick"}));
  EXPECT_FALSE(Muted());
  EXPECT_TRUE(Sounding());

  rec.unmuteOnMuteRequest = true;  // the host answers the request by showing "sounding"
  Click(100, 100);
  EXPECT_TRUE(Muted());
}

TEST_F(Icons, SetMuteShowsMutedOnlyForExactlyTrue) {
  struct Case {
    VBool value;
    bool muted;
  };
  for (Case c : {Case{kTrue, true}, Case{1, false}, Case{kFalse, false}, Case{-2, false}, Case{kTrue, true}}) {
    s.SetMute(c.value);
    EXPECT_EQ(Muted(), c.muted) << c.value;
    EXPECT_EQ(Sounding(), !c.muted) << c.value;
  }
  EXPECT_TRUE(rec.clicks.empty());
}

TEST_F(Icons, ReleaseAwayFromTheIconIsNoClick) {
  s.MouseDown(100, 100, MouseButton::Left);
  s.MouseUp(1500, 100, MouseButton::Left);
  s.MouseDown(100, 100, MouseButton::Right);
  s.MouseUp(100, 100, MouseButton::Right);
  EXPECT_TRUE(rec.clicks.empty());
  EXPECT_TRUE(Sounding());
}

TEST_F(Icons, TrackCoversTheMutedIconsRightEdge) {
  s.SetMute(kTrue);
  EXPECT_EQ(s.HitTest(245, 100), SliderElement::bg);
  EXPECT_EQ(s.HitTest(-10, 100), SliderElement::VOLOFF);
  EXPECT_EQ(s.HitTest(1100, 100), SliderElement::volbtn);
  EXPECT_EQ(s.HitTest(2200, 100), SliderElement::None);
  Click(245, 100);
  EXPECT_TRUE(rec.clicks.empty());
}

TEST(Pictures, AreDrawnAtTheScreensResolutionWithHardEdges) {
  const Picture small = MakeSliderPicture(SliderElement::VOLOFF);
  const Picture big = MakeSliderPicture(SliderElement::VOLOFF, 192);
  ASSERT_EQ(big.width, 2 * small.width);
  ASSERT_EQ(big.height, 2 * small.height);
  for (int y = 0; y < big.height; ++y)
    for (int x = 0; x < big.width; ++x) ASSERT_EQ(big.At(x, y), small.At(x / 2, y / 2));
  // 150%: the element's size at that resolution, every pixel one of the art's colours.
  const Picture knob = MakeSliderPicture(SliderElement::volbtn, 144);
  EXPECT_EQ(knob.width, 20);  // 13 x 14 at 96 dpi
  EXPECT_EQ(knob.height, 21);
  const Picture art = MakeSliderPicture(SliderElement::volbtn);
  for (const Rgb& c : knob.pixels)
    EXPECT_NE(std::find(art.pixels.begin(), art.pixels.end(), c), art.pixels.end());
}

struct PictureCase {
  SliderElement element;
  int width;
  int height;
};
class Pictures : public ::testing::TestWithParam<PictureCase> {};
TEST_P(Pictures, HaveTheTableSizeAndTheWidgetBackground) {
  const Picture p = MakeSliderPicture(GetParam().element);
  ASSERT_EQ(p.width, GetParam().width);
  ASSERT_EQ(p.height, GetParam().height);
  ASSERT_EQ(p.pixels.size(), static_cast<std::size_t>(p.width * p.height));
  // Sized for 15 twips a pixel, except the fill, which is stretched sideways.
  const SliderRect r = VolumeSlider().Element(GetParam().element);
  EXPECT_FLOAT_EQ(r.height, p.height * 15.0f);
  if (GetParam().element != SliderElement::bg2) {
    EXPECT_FLOAT_EQ(r.width, p.width * 15.0f);
    const Rgb back{35, 195, 247};
    EXPECT_EQ(p.At(0, 0), back);
    EXPECT_EQ(p.At(p.width - 1, p.height - 1), back);
  }
}
INSTANTIATE_TEST_SUITE_P(Table, Pictures,
                         ::testing::Values(PictureCase{SliderElement::volbtn, 13, 14},
                                           PictureCase{SliderElement::bg2, 17, 8},
                                           PictureCase{SliderElement::bg, 118, 20},
                                           PictureCase{SliderElement::VOLOFF, 18, 15},
                                           PictureCase{SliderElement::VOLON, 16, 14}));

}  // namespace
}  // namespace tw::volume
