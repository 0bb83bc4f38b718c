// Text helpers shared by every subsystem's core: UTF-16 strings, line splitting and the
// few string operations the list files, the command grammar and the version files need.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Splits text into lines. A line ends at CR LF, at a lone CR or at a lone LF.
// The terminators are not kept. A final line without terminator is kept; text that ends with
// a terminator has no empty line after it. Empty text has no lines.
std::vector<std::u16string> SplitLines(std::u16string_view text);

// Joins lines, writing CR LF after every line (the last one included).
std::u16string JoinLinesCrLf(const std::vector<std::u16string>& lines);

// ASCII-only lower-casing: letters A-Z become a-z, every other code unit is kept.
std::u16string AsciiLower(std::u16string_view text);

// Replaces every occurrence of `what` (non-empty) by `with`.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view what, std::u16string_view with);

// Reads a whole decimal number (optional sign, digits only, nothing else) as a 32-bit integer.
// Returns nothing for empty text, other characters, or values outside the 32-bit range.
std::optional<std::int32_t> ParseInt32(std::u16string_view text);

// UTF-8 <-> UTF-16 for literals, tests and diagnostics (never for files: those use the ANSI code page).
std::u16string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

}  // namespace tw
