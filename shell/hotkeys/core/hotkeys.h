// The boss key: the key-text grammar ("Ctrl,66") and the add/delete state of the window hook.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tw::hotkeys {

inline constexpr std::uint32_t kModAlt = 1, kModControl = 2, kModShift = 4;
inline constexpr std::uint32_t kWmHotKey = 0x312;
inline constexpr std::int32_t kBossKeyId = 1;

struct KeyText {
  std::uint32_t mods = 0;
  std::int32_t vkey = 0;
  bool valid = true;  // false when the part after the comma is not a whole decimal number
};

// Modifier names are matched exactly: "Alt", "Ctrl", "Ctrl+Alt", "Shift", "Shift+Alt",
// "Ctrl+Shift", "Ctrl+Alt+Shift"; anything else means no modifier.
std::uint32_t ModifierFlags(std::u16string_view name);

// "Ctrl,66" -> Ctrl + 66. Without a comma the leading number is the key (rounded; 0 if none).
KeyText ParseKeyText(std::u16string_view text);

// What the hook needs from the window system.
class HookPlatform {
 public:
  virtual ~HookPlatform() = default;
  virtual void InstallHook() = 0;   // remember the window procedure, install ours
  virtual void RestoreHook() = 0;   // put the remembered procedure back
  virtual bool Register(std::int32_t id, std::uint32_t mods, std::int32_t vkey) = 0;
  virtual void Unregister(std::int32_t id) = 0;
};

class HotKeys {
 public:
  explicit HotKeys(HookPlatform& platform) : platform_(platform) {}

  // action "Add" registers keyText under id and hooks the window; "Del" unhooks and unregisters id.
  // Any other action changes nothing (it would hook the window without recording it, and a second
  // hook would then chain to itself). A key text whose part after the comma is not a decimal
  // number is the caller's error: false, before the hook, the hot key or the state is touched.
  [[nodiscard]] bool SetHotKey(std::int32_t id, std::u16string_view keyText, std::u16string_view action);

  // True when a window message is the boss key: the window and the tray icon are then toggled.
  static bool IsBossKey(std::uint32_t msg, std::uintptr_t wparam) {
    return msg == kWmHotKey && wparam == static_cast<std::uintptr_t>(kBossKeyId);
  }

  bool hooked() const { return hooked_; }
  std::int32_t hotId() const { return hotId_; }
  std::uint32_t hotMods() const { return hotMods_; }
  std::int32_t hotVKey() const { return hotVKey_; }

 private:
  HookPlatform& platform_;
  std::int32_t hotId_ = 0;
  std::uint32_t hotMods_ = 0;
  std::int32_t hotVKey_ = 0;
  bool hooked_ = false;
};

}  // namespace tw::hotkeys
