#include "shell/hotkeys/win/hotkey_hook.h"

#include <utility>

#include "shell/hotkeys/core/hotkeys.h"

namespace tw::hotkeys {
namespace {

// Module state: one main window, one hot key at a time.
struct Win32Hook : HookPlatform {
  HWND hwnd = nullptr;
  WNDPROC oldWndProc = nullptr;
  void InstallHook() override {
    oldWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC));
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HotKeyWndProc));
  }
  void RestoreHook() override {
    if (oldWndProc) SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldWndProc));
  }
  bool Register(std::int32_t id, std::uint32_t mods, std::int32_t vkey) override {
    return RegisterHotKey(hwnd, id, mods, static_cast<UINT>(vkey)) != FALSE;
  }
  void Unregister(std::int32_t id) override { UnregisterHotKey(hwnd, id); }
};

Win32Hook g_hook;
HotKeys g_keys(g_hook);
std::function<void()> g_onBossKey;

}  // namespace

bool SetHotKey(HWND hwnd, std::int32_t id, const std::u16string& keyText, const std::u16string& action) {
  // The core calls back for the window; a key text it refuses leaves the window as it was.
  const HWND previous = std::exchange(g_hook.hwnd, hwnd);
  if (g_keys.SetHotKey(id, keyText, action)) return true;
  g_hook.hwnd = previous;
  return false;
}

void SetBossKeyHandler(std::function<void()> onBossKey) { g_onBossKey = std::move(onBossKey); }

LRESULT CALLBACK HotKeyWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (HotKeys::IsBossKey(msg, wp) && g_onBossKey) g_onBossKey();
  WNDPROC old = g_hook.oldWndProc;
  if (!old) return DefWindowProcA(hwnd, msg, wp, lp);
  return CallWindowProcA(old, hwnd, msg, wp, lp);
}

}  // namespace tw::hotkeys
