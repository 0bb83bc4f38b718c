#include "common/win/late_proc.h"

#include <string>

namespace tw::win {

FARPROC FindLateProc(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  if (!module) {
    // From the system folder only: never a copy of the same name next to the program.
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::wstring path(folder, n);
    path += L'\\';
    path += library;
    module = LoadLibraryW(path.c_str());
  }
  return module ? GetProcAddress(module, name) : nullptr;
}

}  // namespace tw::win
