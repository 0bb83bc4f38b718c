#include "shell/hotkeys/core/hotkeys.h"

#include <cmath>

#include "common/core/text.h"

namespace tw::hotkeys {

std::uint32_t ModifierFlags(std::u16string_view name) {
  struct Row { std::u16string_view name; std::uint32_t flags; };
  static constexpr Row kRows[] = {
      {u"Alt", 1}, {u"Ctrl", 2}, {u"Ctrl+Alt", 3}, {u"Shift", 4},
      {u"Shift+Alt", 5}, {u"Ctrl+Shift", 6}, {u"Ctrl+Alt+Shift", 7},
  };
  for (const Row& r : kRows)
    if (r.name == name) return r.flags;
  return 0;
}

namespace {

// The leading number of a text, as a numeric conversion that stops at the first character it
// cannot use would read it: optional blanks and sign, digits, an optional fraction. Rounded half
// to even; 0 when there is none.
std::int32_t LeadingNumber(std::u16string_view t) {
  std::size_t i = 0;
  while (i < t.size() && (t[i] == u' ' || t[i] == u'\t')) ++i;
  bool neg = false;
  if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) neg = t[i++] == u'-';
  double v = 0;
  bool any = false;
  for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i, any = true) v = v * 10 + (t[i] - u'0');
  if (i < t.size() && t[i] == u'.') {
    double scale = 0.1;
    for (++i; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i, scale /= 10, any = true) v += (t[i] - u'0') * scale;
  }
  if (!any) return 0;
  if (neg) v = -v;
  if (v > 2147483647.0 || v < -2147483648.0) return 0;
  return static_cast<std::int32_t>(std::nearbyint(v));
}

}  // namespace

KeyText ParseKeyText(std::u16string_view text) {
  KeyText k;
  std::size_t comma = text.find(u',');
  if (comma == std::u16string_view::npos) {
    k.vkey = LeadingNumber(text);
    return k;
  }
  k.mods = ModifierFlags(text.substr(0, comma));
  auto key = ParseInt32(text.substr(comma + 1));
  if (!key) {
    k.valid = false;
    k.vkey = 0;
  } else {
    k.vkey = *key;
  }
  return k;
}

bool HotKeys::SetHotKey(std::int32_t id, std::u16string_view keyText, std::u16string_view action) {
  const bool add = action == u"Add";
  const bool del = action == u"Del";
  if (!add && !del) return true;
  const KeyText key = ParseKeyText(keyText);
  if (!key.valid) return false;
  hotId_ = 0;
  hotMods_ = 0;
  hotVKey_ = 0;
  if (!hooked_) platform_.InstallHook();
  hotId_ = id;
  if (add) {
    hotMods_ = key.mods;
    hotVKey_ = key.vkey;
    platform_.Register(hotId_, hotMods_, hotVKey_);
    hooked_ = true;
  } else {
    platform_.RestoreHook();
    platform_.Unregister(hotId_);
    hooked_ = false;
  }
  return true;
}

}  // namespace tw::hotkeys
