// The main window's window-procedure hook and the boss key.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tw::hotkeys {

// SetHotKey on the main window `hwnd`: "Add" hooks the window procedure and registers the key,
// "Del" restores the procedure and unregisters it. `onBossKey` runs for every press of hot key 1.
// False, with nothing changed, for a key text whose part after the comma is not a decimal number.
bool SetHotKey(HWND hwnd, std::int32_t id, const std::u16string& keyText, const std::u16string& action);
void SetBossKeyHandler(std::function<void()> onBossKey);

// The installed window procedure.
LRESULT CALLBACK HotKeyWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace tw::hotkeys
