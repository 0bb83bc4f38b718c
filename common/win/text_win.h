// Text at the platform's edge: UTF-16 inside, the system's ANSI code page for files and A functions.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "common/core/file_system.h"

namespace tw::win {

// wchar_t is 16 bits on Windows, so these are plain copies.
inline std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string U(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }
// A new BSTR holding `s` (null when memory ran out); the caller frees it.
inline BSTR ToBstr(std::u16string_view s) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
}

// The flags of every conversion to the ANSI code page: a character the code page lacks becomes
// '?', not a look-alike, so a full-width '<' cannot turn into markup, a full-width quote into a
// quote, nor a full-width '|' into a separator. UTF-8 lacks nothing and takes no flag.
inline DWORD ToAnsiFlags() { return GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS; }

std::string ToAnsi(std::u16string_view text);     // CP_ACP with ToAnsiFlags()
std::u16string FromAnsi(std::string_view bytes);  // CP_ACP

class Win32AnsiCodec : public AnsiCodec {
 public:
  std::u16string Decode(std::string_view bytes) const override { return FromAnsi(bytes); }
  std::string Encode(std::u16string_view text) const override { return ToAnsi(text); }
};

// The folder holding the running executable, without a trailing separator.
std::u16string InstallFolder();

// The user's decimal separator ('.' when the locale gives none); version numbers are read with it.
char16_t DecimalSeparator();

}  // namespace tw::win
