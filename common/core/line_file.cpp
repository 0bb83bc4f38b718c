#include "common/core/line_file.h"

#include "common/core/text.h"

namespace tw {

const char* FileStatusName(FileStatus s) {
  switch (s) {
    case FileStatus::Ok: return "ok";
    case FileStatus::NotFound: return "not found";
    case FileStatus::Unreadable: return "unreadable";
    case FileStatus::ReadOnly: return "read-only";
    case FileStatus::TooLarge: return "too large";
    case FileStatus::WriteFailed: return "write failed";
  }
  return "unknown";
}

LineFile ReadLineFile(FileSystem& fs, const AnsiCodec& codec, const std::u16string& path, std::uint64_t maxBytes) {
  LineFile result;
  std::string bytes;
  result.status = fs.ReadAll(path, bytes, maxBytes);
  if (result.status != FileStatus::Ok) return result;
  result.lines = SplitLines(codec.Decode(bytes));
  return result;
}

FileStatus WriteLineFile(FileSystem& fs, const AnsiCodec& codec, const std::u16string& path,
                         const std::vector<std::u16string>& lines) {
  return fs.ReplaceAll(path, codec.Encode(JoinLinesCrLf(lines)));
}

}  // namespace tw
