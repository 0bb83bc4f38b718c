#include "shell/volume/win/vol2.h"

#include "shell/volume/win/winmm_mixer.h"

namespace tw::volume::win {
namespace {
constexpr wchar_t kClassName[] = L"TarnwickVol2";
}

Vol2::Vol2(VolumeControlEvents* events) : control_(SharedMixerModule(), *this, events) {
  RegisterClassOnce(kClassName, 0, nullptr);
  CreateWindowExW(0, kClassName, L"Vol2", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), this);
}

Vol2::~Vol2() {
  if (hwnd_) KillTimer(hwnd_, kTimer1);
}

void Vol2::SetPolling(bool enabled) {
  if (!hwnd_) return;
  if (enabled)
    SetTimer(hwnd_, kTimer1, VolumeControl::kPollIntervalMs, nullptr);
  else
    KillTimer(hwnd_, kTimer1);
}

LRESULT Vol2::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kTimer1) {
    try {
      control_.Timer1Tick();
    } catch (...) {
      // A failing poll must not unwind through the window procedure; the next tick retries.
    }
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace tw::volume::win
