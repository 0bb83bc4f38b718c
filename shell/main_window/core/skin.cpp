#include "shell/main_window/core/skin.h"

#include <algorithm>

#include "common/core/text.h"

namespace tw::skin {
namespace {

std::u16string Trim(std::u16string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && (s[a] == u' ' || s[a] == u'\t')) ++a;
  while (b > a && (s[b - 1] == u' ' || s[b - 1] == u'\t')) --b;
  return std::u16string(s.substr(a, b - a));
}

std::optional<Rgb> ParseColor(std::u16string_view v) {
  if (v.size() != 7 || v[0] != u'#') return std::nullopt;
  auto hex = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  int d[6];
  for (int i = 0; i < 6; ++i)
    if ((d[i] = hex(v[1 + i])) < 0) return std::nullopt;
  return Rgb{static_cast<std::uint8_t>(d[0] * 16 + d[1]), static_cast<std::uint8_t>(d[2] * 16 + d[3]),
             static_cast<std::uint8_t>(d[4] * 16 + d[5])};
}

}  // namespace

ParseResult ParseSkin(std::u16string_view text) {
  ParseResult out;
  Skin s;
  auto fail = [&](int line, std::string why) {
    out.skin.reset();
    out.errorLine = line;
    out.error = std::move(why);
    return out;
  };
  // Skin files may end their lines with CR LF, CR or LF. A NUL or other control character inside
  // a line means it is not a skin file at all.
  auto lines = SplitLines(ReplaceAll(ReplaceAll(text, u"\r\n", u"\r"), u"\n", u"\r"));
  int n = 0;
  bool any = false;
  for (const auto& raw : lines) {
    ++n;
    std::u16string line = Trim(raw);
    if (line.empty() || line[0] == u'#' || line[0] == u';') continue;
    if (line.front() == u'[' && line.back() == u']') continue;
    for (char16_t c : line)
      if (c < 0x20 && c != u'\t') return fail(n, "control character");
    std::size_t eq = line.find(u'=');
    if (eq == std::u16string::npos) return fail(n, "expected key=value");
    std::u16string key = Trim(std::u16string_view(line).substr(0, eq));
    std::u16string value = Trim(std::u16string_view(line).substr(eq + 1));
    auto number = [&](int lo, int hi, int& field) -> bool {
      auto v = ParseInt32(value);
      if (!v || *v < lo || *v > hi) return false;
      field = *v;
      return true;
    };
    auto color = [&](Rgb& field) -> bool {
      auto c = ParseColor(value);
      if (!c) return false;
      field = *c;
      return true;
    };
    bool ok;
    if (key == u"caption_height") ok = number(12, 96, s.captionHeight);
    else if (key == u"border") ok = number(0, 32, s.border);
    else if (key == u"corner") ok = number(0, 64, s.corner);
    else if (key == u"button_size") ok = number(8, 64, s.buttonSize);
    else if (key == u"caption_color") ok = color(s.captionColor);
    else if (key == u"caption_text_color") ok = color(s.captionTextColor);
    else if (key == u"frame_color") ok = color(s.frameColor);
    else if (key == u"button_color") ok = color(s.buttonColor);
    else if (key == u"transparent") ok = color(s.transparent);
    else if (key == u"buttons") {
      s.buttons.clear();
      ok = true;
      std::size_t start = 0;
      while (ok && start <= value.size()) {
        std::size_t comma = value.find(u',', start);
        std::u16string item = Trim(std::u16string_view(value).substr(start, comma == std::u16string::npos ? std::u16string::npos : comma - start));
        if (item == u"min") s.buttons.push_back(FrameButton::Minimize);
        else if (item == u"max") s.buttons.push_back(FrameButton::Maximize);
        else if (item == u"close") s.buttons.push_back(FrameButton::Close);
        else ok = false;
        if (comma == std::u16string::npos) break;
        start = comma + 1;
      }
      if (ok && std::find(s.buttons.begin(), s.buttons.end(), FrameButton::Close) == s.buttons.end())
        return fail(n, "the frame needs a close button");
    } else {
      return fail(n, "unknown key '" + ToUtf8(key) + "'");
    }
    if (!ok) return fail(n, "bad value for '" + ToUtf8(key) + "'");
    any = true;
  }
  if (!any) return fail(n > 0 ? n : 1, "no settings");
  if (s.buttonSize > s.captionHeight) return fail(n, "button_size is larger than caption_height");
  out.skin = s;
  return out;
}

namespace {
// A size in pixels at 96 dpi, at `dpi`: nearest pixel.
int Scale(int pixels, int dpi) { return (pixels * dpi + 48) / 96; }
}  // namespace

Skin ForDpi(const Skin& s, int dpi, int minButton) {
  Skin out = s;
  out.dpi = dpi;
  out.border = Scale(s.border, dpi);
  out.corner = Scale(s.corner, dpi);
  out.buttonSize = std::max(Scale(s.buttonSize, dpi), minButton);
  const int margin = std::max(0, Scale(s.captionHeight, dpi) - Scale(s.buttonSize, dpi));
  out.captionHeight = std::max(Scale(s.captionHeight, dpi), out.buttonSize + margin);
  return out;
}

FrameLayout LayoutFrame(const Skin& s, int width, int height) {
  FrameLayout f;
  int b = s.border;
  f.caption = {b, b, std::max(b, width - b), std::min(height, b + s.captionHeight)};
  f.client = {b, f.caption.bottom, std::max(b, width - b), std::max(f.caption.bottom, height - b)};
  int gap = Scale(4, s.dpi);
  int top = f.caption.top + (s.captionHeight - s.buttonSize) / 2;
  int right = f.caption.right - gap;
  for (auto it = s.buttons.rbegin(); it != s.buttons.rend(); ++it) {
    Rect r{right - s.buttonSize, top, right, top + s.buttonSize};
    f.buttons.insert(f.buttons.begin(), {*it, r});
    right -= s.buttonSize + Scale(2, s.dpi);
  }
  return f;
}

Hit HitTest(const Skin& s, int width, int height, int x, int y, bool resizable) {
  if (resizable && s.border > 0) {
    int grip = std::max(s.border, Scale(8, s.dpi));
    bool l = x < s.border, r = x >= width - s.border, t = y < s.border, bt = y >= height - s.border;
    bool nearL = x < grip, nearR = x >= width - grip, nearT = y < grip, nearB = y >= height - grip;
    if ((t && nearL) || (l && nearT)) return Hit::TopLeft;
    if ((t && nearR) || (r && nearT)) return Hit::TopRight;
    if ((bt && nearL) || (l && nearB)) return Hit::BottomLeft;
    if ((bt && nearR) || (r && nearB)) return Hit::BottomRight;
    if (l) return Hit::Left;
    if (r) return Hit::Right;
    if (t) return Hit::Top;
    if (bt) return Hit::Bottom;
  }
  FrameLayout f = LayoutFrame(s, width, height);
  for (const auto& [button, rect] : f.buttons) {
    if (rect.Contains(x, y)) {
      switch (button) {
        case FrameButton::Minimize: return Hit::Minimize;
        case FrameButton::Maximize: return Hit::Maximize;
        case FrameButton::Close: return Hit::Close;
      }
    }
  }
  if (f.caption.Contains(x, y)) return Hit::Caption;
  return Hit::Client;
}

}  // namespace tw::skin
