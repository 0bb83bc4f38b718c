// What the core needs of files and of the system's ANSI code page. The Windows side implements
// these with the Win32 file API and MultiByteToWideChar(CP_ACP); tests use an in-memory system
// with fault injection and an iconv codec.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

enum class FileStatus {
  Ok,
  NotFound,     // the file (or its folder) does not exist
  Unreadable,   // it exists but could not be read
  ReadOnly,     // it, or its folder, cannot be written
  TooLarge,     // larger than the caller's limit
  WriteFailed,  // writing the replacement failed; the old file is intact
};

// Converts between UTF-16 and the system's ANSI code page (code page 936 on Chinese systems).
class AnsiCodec {
 public:
  virtual ~AnsiCodec() = default;
  virtual std::u16string Decode(std::string_view bytes) const = 0;
  // Characters the code page lacks become '?', as the platform's conversion does.
  virtual std::string Encode(std::u16string_view text) const = 0;
};

// Whole-file access. Paths are the system's own (backslashes on Windows).
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Reads the whole file; fails with TooLarge when it holds more than maxBytes.
  virtual FileStatus ReadAll(const std::u16string& path, std::string& bytes, std::uint64_t maxBytes) = 0;
  // Replaces the file's content as one step: the new content is written beside it and then
  // takes its place, so a failure at any point leaves the old file byte for byte.
  virtual FileStatus ReplaceAll(const std::u16string& path, std::string_view bytes) = 0;
  virtual bool Exists(const std::u16string& path) = 0;
  // When the file was last written, on the system clock; nothing when it does not exist or its
  // time cannot be read.
  virtual std::optional<std::chrono::system_clock::time_point> LastWriteTime(const std::u16string& path) = 0;
};

const char* FileStatusName(FileStatus s);

}  // namespace tw
