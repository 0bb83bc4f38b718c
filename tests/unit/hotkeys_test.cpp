#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/core/text.h"
#include "shell/hotkeys/core/hotkeys.h"

namespace tw::hotkeys {
namespace {

struct KeyCase {
  std::u16string text;
  std::uint32_t mods;
  std::int32_t vkey;
  bool valid;
};

class KeyTextTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTextTest, Parses) {
  const KeyCase& c = GetParam();
  KeyText k = ParseKeyText(c.text);
  EXPECT_EQ(k.mods, c.mods);
  EXPECT_EQ(k.vkey, c.vkey);
  EXPECT_EQ(k.valid, c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, KeyTextTest,
    ::testing::Values(KeyCase{u"Ctrl,66", 2, 66, true}, KeyCase{u"Shift+Alt,120", 5, 120, true},
                      KeyCase{u"Alt+Ctrl,66", 0, 66, true},   // other orders are not modifiers
                      KeyCase{u"ctrl,66", 0, 66, true},       // nor other letter case
                      KeyCase{u"Ctrl+Alt+Shift,65", 7, 65, true}, KeyCase{u"Alt,9", 1, 9, true},
                      KeyCase{u"Ctrl+Alt,9", 3, 9, true}, KeyCase{u"Shift,9", 4, 9, true},
                      KeyCase{u"Ctrl+Shift,9", 6, 9, true},
                      KeyCase{u"66", 0, 66, true},             // no comma: the number alone
                      KeyCase{u"66.5", 0, 66, true},           // rounded half to even
                      KeyCase{u"67.5", 0, 68, true}, KeyCase{u"12abc", 0, 12, true},
                      KeyCase{u"", 0, 0, true}, KeyCase{u"B", 0, 0, true},
                      KeyCase{u"Ctrl,", 2, 0, false},          // the key must be a decimal number
                      KeyCase{u"Ctrl,B", 2, 0, false}, KeyCase{u"Ctrl,66,1", 2, 0, false},
                      KeyCase{u",66", 0, 66, true}));

struct Recorder : HookPlatform {
  std::vector<std::string> calls;
  void InstallHook() override { calls.push_back("hook"); }
  void RestoreHook() override { calls.push_back("unhook"); }
  bool Register(std::int32_t id, std::uint32_t mods, std::int32_t vkey) override {
    calls.push_back("register " + std::to_string(id) + " " + std::to_string(mods) + " " + std::to_string(vkey));
    return true;
  }
  void Unregister(std::int32_t id) override { calls.push_back("unregister " + std::to_string(id)); }
};

TEST(SetHotKey, StartUpAndShutDownHookOnceAndUnhook) {
  Recorder r;
  HotKeys keys(r);
  EXPECT_TRUE(keys.SetHotKey(1, u"Ctrl,66", u"Add"));
  EXPECT_TRUE(keys.hooked());
  EXPECT_EQ(keys.hotMods(), 2u);
  EXPECT_EQ(keys.hotVKey(), 66);
  EXPECT_TRUE(keys.SetHotKey(1, u"", u"Del"));
  EXPECT_FALSE(keys.hooked());
  EXPECT_EQ(keys.hotVKey(), 0);
  std::vector<std::string> want{"hook", "register 1 2 66", "unhook", "unregister 1"};
  EXPECT_EQ(r.calls, want);
}

TEST(SetHotKey, SecondAddDoesNotHookAgain) {
  Recorder r;
  HotKeys keys(r);
  ASSERT_TRUE(keys.SetHotKey(1, u"Ctrl,66", u"Add"));
  ASSERT_TRUE(keys.SetHotKey(2, u"Shift+Alt,120", u"Add"));
  std::vector<std::string> want{"hook", "register 1 2 66", "register 2 5 120"};
  EXPECT_EQ(r.calls, want);
  EXPECT_EQ(keys.hotId(), 2);
}

TEST(SetHotKey, UnknownActionLeavesTheWindowAlone) {
  Recorder r;
  HotKeys keys(r);
  EXPECT_TRUE(keys.SetHotKey(1, u"Ctrl,66", u"add"));
  EXPECT_TRUE(keys.SetHotKey(1, u"Ctrl,66", u"Remove"));
  EXPECT_TRUE(r.calls.empty());
  EXPECT_FALSE(keys.hooked());
  // A later real Add still hooks exactly once.
  ASSERT_TRUE(keys.SetHotKey(1, u"Ctrl,66", u"Add"));
  EXPECT_EQ(r.calls.front(), "hook");
  EXPECT_EQ(r.calls.size(), 2u);
}

TEST(SetHotKey, MalformedKeyIsAnErrorBeforeAnythingChanges) {
  Recorder r;
  HotKeys keys(r);
  for (const std::u16string_view text : {u"Ctrl,", u"Ctrl,B"}) {
    EXPECT_FALSE(keys.SetHotKey(1, text, u"Add")) << ToUtf8(text);
    EXPECT_TRUE(r.calls.empty());
    EXPECT_FALSE(keys.hooked());
    EXPECT_EQ(keys.hotMods(), 0u);
  }
  // Once added, a malformed text neither replaces the key nor unhooks the window.
  ASSERT_TRUE(keys.SetHotKey(1, u"Ctrl,66", u"Add"));
  r.calls.clear();
  EXPECT_FALSE(keys.SetHotKey(2, u"Shift,", u"Add"));
  EXPECT_FALSE(keys.SetHotKey(1, u"Alt,x", u"Del"));
  EXPECT_TRUE(r.calls.empty());
  EXPECT_TRUE(keys.hooked());
  EXPECT_EQ(keys.hotId(), 1);
  EXPECT_EQ(keys.hotMods(), 2u);
  EXPECT_EQ(keys.hotVKey(), 66);
}

TEST(BossKey, OnlyHotKeyOneCounts) {
  EXPECT_TRUE(HotKeys::IsBossKey(0x312, 1));
  EXPECT_FALSE(HotKeys::IsBossKey(0x312, 2));
  EXPECT_FALSE(HotKeys::IsBossKey(0x311, 1));
}

}  // namespace
}  // namespace tw::hotkeys
