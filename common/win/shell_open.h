// Opens a program, document or address with the system shell's "open" verb.
#pragma once

#include <cstdint>
#include <string>

namespace tw::win {

// ShellExecuteA with no owner, "open", an empty working folder and SW_SHOWNORMAL; the text goes
// through the ANSI code page, or, where that code page cannot spell it, to ShellExecuteW as it is.
// Returns the shell's result code (greater than 32 on success).
std::intptr_t ShellOpen(const std::u16string& file, const std::u16string& parameters);

// The same open through ShellExecuteEx, handing back in `process` the process it started
// (nullptr when none was started, or the open failed); the caller closes it with CloseHandle.
std::intptr_t ShellOpen(const std::u16string& file, const std::u16string& parameters, void** process);

}  // namespace tw::win
