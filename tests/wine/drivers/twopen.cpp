// Test opener: registered in the test prefix for the ".twtest" extension and the http, https
// and installer-package associations. It appends what it was asked to open to the file named by
// TW_OPEN_LOG (UTF-8, one line each: its own file name, a tab, the argument) and exits, so tests observe the system shell's "open".
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmd, int) {
  wchar_t logPath[MAX_PATH];
  if (!GetEnvironmentVariableW(L"TW_OPEN_LOG", logPath, MAX_PATH)) return 2;
  std::wstring text = cmd ? cmd : L"";
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe = self;
  exe = exe.substr(exe.find_last_of(L"\\/") + 1);
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') text = text.substr(1, text.size() - 2);
  text = exe + L"\t" + text;
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
  utf8 += "\n";
  HANDLE f = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 3;
  DWORD put = 0;
  WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size()), &put, nullptr);
  CloseHandle(f);
  return 0;
}
