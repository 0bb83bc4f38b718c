// Test opener: registered in the test prefix for the ".twtest" extension and the http, https
// and installer-package associations. It appends what it was asked to open to the file named by
// TW_OPEN_LOG (UTF-8, one line each: its own file name, a tab, the argument) and exits, so tests observe the system shell's "open".
// With TW_OPEN_TRY_WRITE set it first tries, as another program could, to read the file, to open
// it for writing and to rename it, and adds what it could to the line ("\tread=ok write=no rename=no");
// it writes nothing and puts a renamed file back. With TW_OPEN_HOLD naming a file it stands for an
// installer that takes its time: it logs what it was given at once, then holds, never waiting for
// input, until that file exists, and only then tries (a second line).
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
  auto tries = [&]() -> std::wstring {
    if (!GetEnvironmentVariableW(L"TW_OPEN_TRY_WRITE", nullptr, 0)) return L"";
    auto opens = [&](DWORD access, DWORD share) {
      HANDLE h = CreateFileW(text.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) return false;
      CloseHandle(h);
      return true;
    };
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    std::wstring moved = text + L".swap";
    bool renamed = MoveFileW(text.c_str(), moved.c_str()) != 0;
    if (renamed) MoveFileW(moved.c_str(), text.c_str());
    return std::wstring(L"\tread=") + (opens(GENERIC_READ, FILE_SHARE_READ) ? L"ok" : L"no") +
           L" write=" + (opens(GENERIC_WRITE, all) ? L"ok" : L"no") + L" rename=" + (renamed ? L"ok" : L"no");
  };
  auto log = [&](const std::wstring& line) {
    std::wstring all = exe + L"\t" + text + line;
    int n = WideCharToMultiByte(CP_UTF8, 0, all.c_str(), static_cast<int>(all.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, all.c_str(), static_cast<int>(all.size()), utf8.data(), n, nullptr, nullptr);
    utf8 += "\n";
    HANDLE f = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size()), &put, nullptr);
    CloseHandle(f);
    return true;
  };
  wchar_t hold[MAX_PATH];
  if (GetEnvironmentVariableW(L"TW_OPEN_HOLD", hold, MAX_PATH)) {
    if (!log(L"")) return 3;
    // Bounded only so that a forgotten stand-in goes away by itself.
    for (int i = 0; i < 2400 && GetFileAttributesW(hold) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
  }
  if (!log(tries())) return 3;
  return 0;
}
