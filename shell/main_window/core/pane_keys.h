// What a keystroke offered to a browser pane may do. The platform's browser acts on some keys by
// itself (a refresh, history back and forward, a window of its own, its open and print dialogs);
// the shell keeps those that would take a pane away from what it shows.
#pragma once

#include <cstdint>
#include <string_view>

namespace tw::mainwin {

// Key codes as the platform numbers them.
inline constexpr std::uint32_t kKeyBack = 0x08, kKeyLeft = 0x25, kKeyRight = 0x27, kKeyF5 = 0x74,
                               kKeyBrowserBack = 0xA6, kKeyBrowserForward = 0xA7, kKeyBrowserRefresh = 0xA8;

enum class PaneKind { Content, Left };

enum class KeyVerdict {
  Engine,      // the browser handles it as it would anywhere
  Drop,        // nothing happens
  ReloadLeft,  // the shell reloads the left page (Controller::ReloadLeft) instead of the browser's refresh
};

struct KeyStroke {
  std::uint32_t key = 0;  // the key-down's key code
  bool ctrl = false;
  bool alt = false;
};

KeyVerdict FilterPaneKey(PaneKind pane, const KeyStroke& stroke);

// Whether `address` is a link in the program's own scheme ("qorzentro:", any letter case).
bool IsOwnSchemeLink(std::u16string_view address);

// Whether the shell opens `address` itself instead of leaving it to the engine: a link in the
// program's own scheme followed in a page of ours. `from` is the address of the document of the
// frame that navigates (before the navigation); ours are the installed left page `leftPage` (a
// file, as a path or a file: address) and the pages of the portal's origin `portalBase` (scheme,
// host and port; the host in any letter case, a missing port the scheme's own). A frame of
// another origin inside a portal page is not ours: the engine asks the player about its links.
bool ShellOpensLink(std::u16string_view address, std::u16string_view from, std::u16string_view portalBase,
                    std::u16string_view leftPage);

}  // namespace tw::mainwin
