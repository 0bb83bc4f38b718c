#include <gtest/gtest.h>

#include <array>

#include "common/core/text.h"
#include "shell/main_window/core/skin.h"

namespace tw::skin {
namespace {

TEST(ParseSkin, ReadsEverySetting) {
  auto r = ParseSkin(
      u"; a comment\r\n[frame]\r\ncaption_height=30\r\nborder = 5\r\ncorner=6\r\nbutton_size=18\r\n"
      u"caption_color=#102030\r\ncaption_text_color=#ffffff\r\nframe_color=#0A0B0C\r\n"
      u"button_color=#C4E8FC\r\ntransparent=#FF00FF\r\nbuttons=min, close\r\n");
  ASSERT_TRUE(r.skin) << r.error;
  EXPECT_EQ(r.skin->captionHeight, 30);
  EXPECT_EQ(r.skin->border, 5);
  EXPECT_EQ(r.skin->captionColor, (Rgb{0x10, 0x20, 0x30}));
  EXPECT_EQ(r.skin->frameColor.ColorRef(), 0x0C0B0Au);
  EXPECT_EQ(r.skin->transparent.ColorRef(), 0xFF00FFu);
  EXPECT_EQ(r.skin->buttons, (std::vector<FrameButton>{FrameButton::Minimize, FrameButton::Close}));
}

TEST(ParseSkin, AcceptsAnyLineEnding) {
  auto lf = ParseSkin(u"; comment\nborder=2\ncorner=0\n");
  ASSERT_TRUE(lf.skin) << lf.error;
  EXPECT_EQ(lf.skin->border, 2);
  EXPECT_EQ(lf.skin->corner, 0);
  auto cr = ParseSkin(u"border=2\rcorner=1");
  ASSERT_TRUE(cr.skin) << cr.error;
  EXPECT_EQ(cr.skin->corner, 1);
}

struct BadCase {
  std::u16string text;
  int line;
  std::string what;
};

class BadSkinTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadSkinTest, IsRefusedWithTheLine) {
  const auto& c = GetParam();
  auto r = ParseSkin(c.text);
  EXPECT_FALSE(r.skin);
  EXPECT_EQ(r.errorLine, c.line);
  EXPECT_NE(r.error.find(c.what), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, BadSkinTest,
    ::testing::Values(BadCase{u"", 1, "no settings"}, BadCase{u"# only a comment\r\n", 1, "no settings"},
                      BadCase{u"border=4\r\ncolour=#FFFFFF\r\n", 2, "unknown key"},
                      BadCase{u"caption_height\r\n", 1, "key=value"},
                      BadCase{u"caption_height=abc\r\n", 1, "bad value"},
                      BadCase{u"caption_height=4000\r\n", 1, "bad value"},
                      BadCase{u"border=-1\r\n", 1, "bad value"},
                      BadCase{u"caption_color=#12345\r\n", 1, "bad value"},
                      BadCase{u"caption_color=#GG0000\r\n", 1, "bad value"},
                      BadCase{u"buttons=min,help,close\r\n", 1, "bad value"},
                      BadCase{u"buttons=min,max\r\n", 1, "close button"},
                      BadCase{u"caption_height=12\r\nbutton_size=40\r\n", 2, "larger"},
                      BadCase{std::u16string(u"border=4\r\nx\0y=1\r\n", 16), 2, "control character"}));

TEST(BinaryFile, IsNotASkin) {
  std::string junk = "\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR";
  EXPECT_FALSE(ParseSkin(FromUtf8(junk)).skin);
}

TEST(Frame, ButtonsSitRightAlignedInTheCaption) {
  Skin s;  // caption 28, border 4, buttons 20
  FrameLayout f = LayoutFrame(s, 800, 600);
  EXPECT_EQ(f.caption, (Rect{4, 4, 796, 32}));
  EXPECT_EQ(f.client, (Rect{4, 32, 796, 596}));
  ASSERT_EQ(f.buttons.size(), 3u);
  EXPECT_EQ(f.buttons[2].first, FrameButton::Close);
  EXPECT_EQ(f.buttons[2].second, (Rect{772, 8, 792, 28}));
  EXPECT_EQ(f.buttons[1].second.right, 770);
}

TEST(Frame, ScalesWithTheResolutionAndKeepsPlatformSizedButtons) {
  Skin s;  // caption 28, border 4, corner 8, buttons 20
  Skin big = ForDpi(s, 144);
  EXPECT_EQ((std::array{big.captionHeight, big.border, big.corner, big.buttonSize}), (std::array{42, 6, 12, 30}));
  FrameLayout f = LayoutFrame(big, 1200, 900);
  EXPECT_EQ(f.buttons[2].second, (Rect{1188 - 30, 6 + 6, 1188, 6 + 36}));  // 6 in from the caption's right
  EXPECT_EQ(f.buttons[1].second.right, 1188 - 30 - 3);
  // Buttons never smaller than the platform's; the caption keeps its margin around them.
  Skin wide = ForDpi(s, 96, 26);
  EXPECT_EQ(wide.buttonSize, 26);
  EXPECT_EQ(wide.captionHeight, 34);
}

TEST(Frame, HitTestFindsButtonsCaptionBordersAndClient) {
  Skin s;
  EXPECT_EQ(HitTest(s, 800, 600, 780, 15, true), Hit::Close);
  EXPECT_EQ(HitTest(s, 800, 600, 758, 15, true), Hit::Maximize);
  EXPECT_EQ(HitTest(s, 800, 600, 300, 15, true), Hit::Caption);
  EXPECT_EQ(HitTest(s, 800, 600, 300, 300, true), Hit::Client);
  EXPECT_EQ(HitTest(s, 800, 600, 1, 300, true), Hit::Left);
  EXPECT_EQ(HitTest(s, 800, 600, 799, 599, true), Hit::BottomRight);
  EXPECT_EQ(HitTest(s, 800, 600, 2, 5, true), Hit::TopLeft);
  EXPECT_EQ(HitTest(s, 800, 600, 1, 300, false), Hit::Client);  // maximised: no resizing
}

TEST(Frame, EachBorderIsExactlyItsWidthWide) {
  Skin s;  // border 4: pixels 0-3 and width-4 .. width-1
  EXPECT_EQ(HitTest(s, 800, 600, 800 - 4, 300, true), Hit::Right);
  EXPECT_EQ(HitTest(s, 800, 600, 800 - 4 - 1, 300, true), Hit::Client);
  EXPECT_EQ(HitTest(s, 800, 600, 3, 300, true), Hit::Left);
  EXPECT_EQ(HitTest(s, 800, 600, 4, 300, true), Hit::Client);
  EXPECT_EQ(HitTest(s, 800, 600, 300, 600 - 4, true), Hit::Bottom);
  EXPECT_EQ(HitTest(s, 800, 600, 300, 600 - 4 - 1, true), Hit::Client);
  EXPECT_EQ(HitTest(s, 800, 600, 300, 3, true), Hit::Top);
  EXPECT_EQ(HitTest(s, 800, 600, 300, 4, true), Hit::Caption);
}

}  // namespace
}  // namespace tw::skin
