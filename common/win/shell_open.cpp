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

template <class Info, class Char>
HINSTANCE OpenEx(const LateProc<BOOL WINAPI(Info*)>& execute, const Char* verb, const Char* file,
                 const Char* parameters, const Char* folder, void** process) {
  auto* run = execute.get();
  if (!run) return nullptr;
  Info info{};
  info.cbSize = sizeof info;
  // As ShellExecute: no owner, an empty working folder, SW_SHOWNORMAL; no error dialogs.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = verb;
  info.lpFile = file;
  info.lpParameters = parameters;
  info.lpDirectory = folder;
  info.nShow = SW_SHOWNORMAL;
  if (!run(&info)) return info.hInstApp;
  *process = info.hProcess;
  // ShellExecuteEx's answer as ShellExecute's result code.
  return reinterpret_cast<std::intptr_t>(info.hInstApp) > 32 ? info.hInstApp : reinterpret_cast<HINSTANCE>(33);
}

}  // namespace

std::intptr_t ShellOpen(const std::u16string& file, const std::u16string& parameters, void** process) {
  *process = nullptr;
  std::string f = ToAnsi(file);
  std::string p = ToAnsi(parameters);
  HINSTANCE r;
  if (FromAnsi(f) == file && FromAnsi(p) == parameters) {
    static const LateProc<decltype(::ShellExecuteExA)> execute{L"shell32.dll", "ShellExecuteExA"};
    r = OpenEx(execute, "open", f.c_str(), p.c_str(), "", process);
  } else {
    static const LateProc<decltype(::ShellExecuteExW)> execute{L"shell32.dll", "ShellExecuteExW"};
    r = OpenEx(execute, L"open", W(file).c_str(), W(parameters).c_str(), L"", process);
  }
  return reinterpret_cast<std::intptr_t>(r);
}

}  // namespace tw::win
