// The numbers in a type library's registry keys as the platform's type library registration
// writes them: the version key "major.minor" and the FLAGS value in hexadecimal without leading
// zeros or a 0x prefix (version 1.10 is "1.a", flags 10 are "a"). Shared by the per-user
// registration, which writes the keys itself, and checked natively.
#pragma once

#include <string>

namespace tw::corvala {

inline std::wstring RegistryHex(unsigned long value) {
  const wchar_t digits[] = L"0123456789abcdef";
  std::wstring out;
  do {
    out.insert(out.begin(), digits[value % 16]);
    value /= 16;
  } while (value != 0);
  return out;
}

inline std::wstring TypeLibVersionKey(unsigned major, unsigned minor) {
  return RegistryHex(major) + L"." + RegistryHex(minor);
}

}  // namespace tw::corvala
