#include "shell/main_window/core/pane_keys.h"

#include <algorithm>
#include <optional>
#include <string>

#include "common/core/text.h"

namespace tw::mainwin {
namespace {

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

struct Origin {
  std::u16string scheme, host;
  long port = 0;
  bool operator==(const Origin& o) const { return scheme == o.scheme && host == o.host && port == o.port; }
};

// The origin of an http or https address; nothing for any other address or a malformed one.
std::optional<Origin> OriginOf(std::u16string_view url) {
  Origin o;
  if (StartsWithNoCase(url, u"http://")) {
    o.scheme = u"http";
    o.port = 80;
  } else if (StartsWithNoCase(url, u"https://")) {
    o.scheme = u"https";
    o.port = 443;
  } else {
    return std::nullopt;
  }
  url.remove_prefix(o.scheme.size() + 3);
  // The engine reads a backslash in a web address as a slash.
  std::u16string_view authority = url.substr(0, url.find_first_of(u"/\\?#"));
  // Whatever comes before an "@" is a user name and password, not the host.
  if (auto at = authority.rfind(u'@'); at != std::u16string_view::npos) authority.remove_prefix(at + 1);
  std::u16string_view host = authority, port;
  const std::size_t close = authority.rfind(u']');
  const std::size_t colon = authority.rfind(u':');
  if (colon != std::u16string_view::npos && (close == std::u16string_view::npos || colon > close)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return std::nullopt;
  if (!port.empty()) {
    if (port.size() > 5) return std::nullopt;
    long n = 0;
    for (char16_t c : port) {
      if (c < u'0' || c > u'9') return std::nullopt;
      n = n * 10 + (c - u'0');
    }
    if (n > 65535) return std::nullopt;
    o.port = n;
  }
  o.host = AsciiLower(host);
  return o;
}

// A local file's path from a path or a file: address, with backslashes and escapes decoded;
// nothing for any other address.
std::optional<std::u16string> FilePathOf(std::u16string_view url) {
  if (!StartsWithNoCase(url, u"file:")) {
    // A drive letter or a UNC path.
    if ((url.size() >= 3 && url[1] == u':' && (url[2] == u'\\' || url[2] == u'/')) || url.substr(0, 2) == u"\\\\")
      return ReplaceAll(url, u"/", u"\\");
    return std::nullopt;
  }
  url.remove_prefix(5);
  url = url.substr(0, url.find_first_of(u"?#"));
  if (url.substr(0, 2) == u"//") {
    url.remove_prefix(2);
    if (StartsWithNoCase(url, u"localhost/")) url.remove_prefix(9);
  }
  const bool drive = url.size() >= 3 && url[0] == u'/' && url[2] == u':';
  if (drive) url.remove_prefix(1);  // file:///C:/...
  const bool unc = !drive && !(url.size() >= 2 && url[1] == u':');  // file://server/share/...
  auto hex = [](char16_t c) {
    return c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
  };
  std::string bytes;  // the escapes stand for UTF-8
  while (!url.empty()) {
    if (url[0] == u'%' && url.size() >= 3 && hex(url[1]) >= 0 && hex(url[2]) >= 0) {
      bytes.push_back(static_cast<char>(hex(url[1]) * 16 + hex(url[2])));
      url.remove_prefix(3);
      continue;
    }
    const std::size_t run = std::min(url.find(u'%', 1), url.size());
    bytes += ToUtf8(url.substr(0, run));
    url.remove_prefix(run);
  }
  std::u16string path = ReplaceAll(FromUtf8(bytes), u"/", u"\\");
  return unc ? u"\\\\" + path : path;
}

}  // namespace

KeyVerdict FilterPaneKey(PaneKind pane, const KeyStroke& s) {
  const bool left = pane == PaneKind::Left;
  // A refresh reports no completed document: the left page reloads by navigating instead. A game
  // page may refresh; nothing of the shell's waits on a content pane's document.
  if (s.key == kKeyF5 || s.key == kKeyBrowserRefresh || (s.ctrl && !s.alt && s.key == 'R'))
    return left ? KeyVerdict::ReloadLeft : KeyVerdict::Engine;
  // History: a content pane keeps its tab's own pages; the left pane has only the list page.
  if ((s.key == kKeyBack && !s.ctrl && !s.alt) || (s.alt && (s.key == kKeyLeft || s.key == kKeyRight)) ||
      s.key == kKeyBrowserBack || s.key == kKeyBrowserForward)
    return left ? KeyVerdict::Drop : KeyVerdict::Engine;
  if (s.ctrl && !s.alt) {
    switch (s.key) {
      case 'N':  // a window of the browser's own, outside the shell and its tabs
      case 'O':  // the open-address dialog, which navigates the pane anywhere
      case 'L':
        return KeyVerdict::Drop;
      case 'P':  // printing a game page is the player's business; the list page has nothing to print
        return left ? KeyVerdict::Drop : KeyVerdict::Engine;
      default:
        break;
    }
  }
  return KeyVerdict::Engine;
}

bool IsOwnSchemeLink(std::u16string_view address) { return StartsWithNoCase(address, u"qorzentro:"); }

bool ShellOpensLink(std::u16string_view address, std::u16string_view from, std::u16string_view portalBase,
                    std::u16string_view leftPage) {
  if (!IsOwnSchemeLink(address)) return false;
  if (auto origin = OriginOf(from)) {
    auto portal = OriginOf(portalBase);
    return portal && *origin == *portal;
  }
  auto file = FilePathOf(from);
  auto left = FilePathOf(leftPage);
  return file && left && AsciiLower(*file) == AsciiLower(*left);
}

}  // namespace tw::mainwin
