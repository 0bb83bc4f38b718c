// What the Wine test drivers share: printing key=value lines (UTF-8) to standard output or a
// file, GUIDs as text, argument variants, and running the message loop while waiting.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <string>

namespace twd {

// Where Out writes: standard output unless the driver opens a file.
inline HANDLE g_out = INVALID_HANDLE_VALUE;

inline void Out(const std::string& s) {
  DWORD put = 0;
  WriteFile(g_out != INVALID_HANDLE_VALUE ? g_out : GetStdHandle(STD_OUTPUT_HANDLE), s.data(),
            static_cast<DWORD>(s.size()), &put, nullptr);
}

inline std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

inline void Put(const std::string& key, const std::string& value) { Out(key + "=" + value + "\n"); }
inline void PutInt(const std::string& key, long long value) { Put(key, std::to_string(value)); }
inline void PutHex(const std::string& key, unsigned long value) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%08lx", value);
  Put(key, buf);
}

inline std::wstring GuidText(REFGUID g) {
  wchar_t buf[64] = {};
  StringFromGUID2(g, buf, 64);
  return buf;
}

// Arguments for InvokeById; the caller clears them.
inline VARIANT Str(const wchar_t* s) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(s);
  return v;
}

inline VARIANT Bool(bool b) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// A number of the given variant type (VT_I2, VT_I4, VT_UI4 or VT_R8).
template <VARENUM vt, class T>
inline VARIANT Number(T n) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = vt;
  if constexpr (vt == VT_I2) V_I2(&v) = static_cast<SHORT>(n);
  else if constexpr (vt == VT_I4) V_I4(&v) = static_cast<LONG>(n);
  else if constexpr (vt == VT_UI4) V_UI4(&v) = static_cast<ULONG>(n);
  else {
    static_assert(vt == VT_R8, "a number type");
    V_R8(&v) = static_cast<double>(n);
  }
  return v;
}

// Runs the message loop for `ms` milliseconds, or until `done()` holds.
template <class Pred>
bool PumpUntil(DWORD ms, Pred done) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}
inline void Pump(DWORD ms) { PumpUntil(ms, [] { return false; }); }

// Runs the message loop until `hwnd` has been sent `ticks` WM_TIMER messages, or until `done()`
// holds after one of them; `ms` only bounds the wait. Returns the ticks dispatched. A check that
// something did not happen waits for ticks of the timer that would have made it happen, which a
// busy machine delays but cannot skip.
template <class Pred>
int PumpTicksUntil(HWND hwnd, int ticks, DWORD ms, Pred done) {
  const DWORD start = GetTickCount();
  int seen = 0;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (msg.message == WM_TIMER && msg.hwnd == hwnd && (++seen >= ticks || done())) return seen;
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return seen;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}
inline int PumpTicks(HWND hwnd, int ticks) { return PumpTicksUntil(hwnd, ticks, 30000, [] { return false; }); }

}  // namespace twd
