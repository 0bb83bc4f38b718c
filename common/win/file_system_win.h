// The core's file system on the Win32 file API. Replacing a file writes a temporary file in the
// same folder, flushes it and moves it over the original, so the old content survives any failure.
#pragma once

#include "common/core/file_system.h"

namespace tw::win {

class Win32FileSystem : public FileSystem {
 public:
  FileStatus ReadAll(const std::u16string& path, std::string& bytes, std::uint64_t maxBytes) override;
  FileStatus ReplaceAll(const std::u16string& path, std::string_view bytes) override;
  bool Exists(const std::u16string& path) override;
  std::optional<std::chrono::system_clock::time_point> LastWriteTime(const std::u16string& path) override;
};

}  // namespace tw::win
