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
  static const LateProc<decltype(::ShellExecuteA)> execute{L"shell32.dll", "ShellExecuteA"};
  auto* run = execute.get();
  if (!run) return 0;  // as the shell's own "out of resources" result
  HINSTANCE r = run(nullptr, "open", f.c_str(), p.c_str(), "", SW_SHOWNORMAL);
  return reinterpret_cast<std::intptr_t>(r);
}

}  // namespace tw::win
