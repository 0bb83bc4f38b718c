// Functions of system libraries a program needs only now and then (the tray icon, the mixer,
// opening files, screen readers), looked up on first use instead of at process start: the
// library is loaded from the system folder the first time one of its functions is asked for and
// stays loaded for the rest of the process.
#pragma once

#include <windows.h>

#include <atomic>

namespace tw::win {

// The address of `name` in the system library `library`: the process's own copy when it has one,
// else the one in the system folder, loaded now. nullptr when the library or the function is
// missing.
FARPROC FindLateProc(const wchar_t* library, const char* name);

// One function, F being its type (decltype of the platform's declaration):
//   const LateProc<decltype(::Shell_NotifyIconW)> notifyIcon{L"shell32.dll", "Shell_NotifyIconW"};
//   auto* f = notifyIcon.get();
//   return f ? f(NIM_ADD, &nid) : FALSE;  // missing: the call fails as the platform's would
template <class F>
class LateProc {
 public:
  constexpr LateProc(const wchar_t* library, const char* name) : library_(library), name_(name) {}
  LateProc(const LateProc&) = delete;
  LateProc& operator=(const LateProc&) = delete;

  // The function, or nullptr when it is missing (asked again next time). Any thread.
  F* get() const {
    void* address = address_.load(std::memory_order_acquire);
    if (!address) {
      address = reinterpret_cast<void*>(FindLateProc(library_, name_));
      if (address) address_.store(address, std::memory_order_release);
    }
    return reinterpret_cast<F*>(address);
  }

 private:
  const wchar_t* library_;
  const char* name_;
  mutable std::atomic<void*> address_{nullptr};
};

}  // namespace tw::win
