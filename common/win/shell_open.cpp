#include "common/win/shell_open.h"

#include <windows.h>
#include <shellapi.h>

#include "common/win/late_proc.h"
#include "common/win/text_win.h"

namespace tw::win {

std::intptr_t ShellOpen(const std::u16string& file, const std::u16string& parameters) {
  std::string f = ToAnsi(file);
  std::string p = ToAnsi(parameters);
  // shell32 is loaded on the first open, not at process start.
  HINSTANCE r = nullptr;  // as the shell's own "out of resources" result when it is missing
  if (FromAnsi(f) == file && FromAnsi(p) == parameters) {
    static const LateProc<decltype(::ShellExecuteA)> execute{L"shell32.dll", "ShellExecuteA"};
    if (auto* run = execute.get()) r = run(nullptr, "open", f.c_str(), p.c_str(), "", SW_SHOWNORMAL);
  } else {
    // Text the code page cannot spell (a folder under a user name in another script): its '?'
    // would name nothing, so it goes as it is.
    static const LateProc<decltype(::ShellExecuteW)> execute{L"shell32.dll", "ShellExecuteW"};
    if (auto* run = execute.get())
      r = run(nullptr, L"open", W(file).c_str(), W(parameters).c_str(), L"", SW_SHOWNORMAL);
  }
  return reinterpret_cast<std::intptr_t>(r);
}

namespace {

// ShellExecuteEx's answer as ShellExecute's result code.
HINSTANCE ExResult(BOOL ok, HINSTANCE code) {
  if (!ok) return code;
  return reinterpret_cast<std::intptr_t>(code) > 32 ? code : reinterpret_cast<HINSTANCE>(33);
}

template <class Info, class Char>
Info OpenInfo(const Char* verb, const Char* file, const Char* parameters, const Char* folder) {
  Info info{};
  info.cbSize = sizeof info;
  // As ShellExecute: no owner, an empty working folder, SW_SHOWNORMAL, no error dialogs.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = verb;
  info.lpFile = file;
  info.lpParameters = parameters;
  info.lpDirectory = folder;
  info.nShow = SW_SHOWNORMAL;
  return info;
}

}  // namespace

std::intptr_t ShellOpen(const std::u16string& file, const std::u16string& parameters, void** process) {
  *process = nullptr;
  std::string f = ToAnsi(file);
  std::string p = ToAnsi(parameters);
  HINSTANCE r = nullptr;
  if (FromAnsi(f) == file && FromAnsi(p) == parameters) {
    static const LateProc<decltype(::ShellExecuteExA)> execute{L"shell32.dll", "ShellExecuteExA"};
    auto info = OpenInfo<SHELLEXECUTEINFOA>("open", f.c_str(), p.c_str(), "");
    if (auto* run = execute.get()) {
      BOOL ok = run(&info);
      r = ExResult(ok, info.hInstApp);
      if (ok) *process = info.hProcess;
    }
  } else {
    static const LateProc<decltype(::ShellExecuteExW)> execute{L"shell32.dll", "ShellExecuteExW"};
    std::wstring wf = W(file), wp = W(parameters);
    auto info = OpenInfo<SHELLEXECUTEINFOW>(L"open", wf.c_str(), wp.c_str(), L"");
    if (auto* run = execute.get()) {
      BOOL ok = run(&info);
      r = ExResult(ok, info.hInstApp);
      if (ok) *process = info.hProcess;
    }
  }
  return reinterpret_cast<std::intptr_t>(r);
}

}  // namespace tw::win
