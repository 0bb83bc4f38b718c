#include "shell/main_window/win/prefetch.h"

#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <string>

namespace tw::shell {
namespace {

// The default value of a key under HKEY_CLASSES_ROOT, with environment strings expanded; empty
// when it is missing or not text.
std::wstring ClassesValue(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  wchar_t value[MAX_PATH]{};
  DWORD type = 0, size = sizeof value - sizeof(wchar_t);
  LONG rc = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  if (type == REG_SZ) return value;
  wchar_t expanded[MAX_PATH];
  DWORD n = ExpandEnvironmentStringsW(value, expanded, MAX_PATH);
  return n && n <= MAX_PATH ? std::wstring(expanded) : std::wstring();
}

DWORD WINAPI LoadLibraries(void*) {
  // Registry reads only: this thread never enters COM.
  wchar_t browser[40];
  StringFromGUID2(CLSID_WebBrowser, browser, 40);
  for (const std::wstring& clsid : {std::wstring(browser), ClassesValue(L"Corvala.Cmd_\\CLSID")}) {
    if (clsid.empty()) continue;
    // The name COM loads the server by, so that both end in the one module.
    std::wstring file = ClassesValue(L"CLSID\\" + clsid + L"\\InprocServer32");
    if (!file.empty()) LoadLibraryW(file.c_str());
  }
  return 0;
}

}  // namespace

void PrefetchControlLibraries() {
  if (HANDLE thread = CreateThread(nullptr, 0, LoadLibraries, nullptr, 0, nullptr)) CloseHandle(thread);
}

}  // namespace tw::shell
