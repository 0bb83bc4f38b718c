#include "shell/main_window/core/pane_keys.h"

namespace tw::mainwin {

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

bool IsOwnSchemeLink(std::u16string_view address) {
  constexpr std::u16string_view scheme = u"qorzentro:";
  if (address.size() < scheme.size()) return false;
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    char16_t c = address[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != scheme[i]) return false;
  }
  return true;
}

}  // namespace tw::mainwin
