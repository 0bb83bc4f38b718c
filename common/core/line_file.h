// Text files handled as lines: read whole through the ANSI code page, split at CR LF, a lone CR or
// a lone LF,
// and written back whole with CR LF after every line.
#pragma once

#include <string>
#include <vector>

#include "common/core/file_system.h"

namespace tw {

struct LineFile {
  FileStatus status = FileStatus::Ok;
  std::vector<std::u16string> lines;
};

// Largest file the line readers accept (list files hold at most 32,767 short lines).
inline constexpr std::uint64_t kMaxLineFileBytes = 16u * 1024u * 1024u;

LineFile ReadLineFile(FileSystem& fs, const AnsiCodec& codec, const std::u16string& path,
                      std::uint64_t maxBytes = kMaxLineFileBytes);

FileStatus WriteLineFile(FileSystem& fs, const AnsiCodec& codec, const std::u16string& path,
                         const std::vector<std::u16string>& lines);

}  // namespace tw
