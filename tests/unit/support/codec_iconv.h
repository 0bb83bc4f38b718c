// Test doubles for the core's platform interfaces: a code-page codec on iconv (code page 936 is
// GBK) and an in-memory file system that can fail at any step.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <map>
#include <set>
#include <string>

#include "common/core/file_system.h"

namespace tw::test {

class IconvCodec : public AnsiCodec {
 public:
  explicit IconvCodec(const char* charset = "CP936") : charset_(charset) {}
  std::u16string Decode(std::string_view bytes) const override;
  std::string Encode(std::u16string_view text) const override;

 private:
  const char* charset_;
};

class MemoryFileSystem : public FileSystem {
 public:
  FileStatus ReadAll(const std::u16string& path, std::string& bytes, std::uint64_t maxBytes) override;
  FileStatus ReplaceAll(const std::u16string& path, std::string_view bytes) override;
  bool Exists(const std::u16string& path) override { return files.count(path) != 0; }
  // The time ReplaceAll last wrote the file, or one a test set.
  std::optional<std::chrono::system_clock::time_point> LastWriteTime(const std::u16string& path) override;

  std::map<std::u16string, std::string> files;
  std::set<std::u16string> readOnly;    // writes to these fail with ReadOnly
  std::set<std::u16string> unreadable;  // reads of these fail with Unreadable
  // When set, ReplaceAll writes this many bytes of the temporary copy and then fails,
  // as a full disk or a lost device would; the target keeps its old content.
  std::optional<std::size_t> failAfterBytes;
  // When set, the final rename fails after the temporary copy was written.
  bool failRename = false;
  int writes = 0;
  // The clock ReplaceAll stamps its files with, and the stamps.
  std::chrono::system_clock::time_point now{};
  std::map<std::u16string, std::chrono::system_clock::time_point> writeTimes;
};

}  // namespace tw::test
