#include "common/win/file_system_win.h"

#include <windows.h>

#include <memory>
#include <string>

#include "common/win/text_win.h"

namespace tw::win {
namespace {

struct Handle {
  HANDLE h;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

FileStatus FromError(DWORD err, FileStatus otherwise) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return FileStatus::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
      return otherwise == FileStatus::WriteFailed ? FileStatus::ReadOnly : otherwise;
    default:
      return otherwise;
  }
}

}  // namespace

FileStatus Win32FileSystem::ReadAll(const std::u16string& path, std::string& bytes, std::uint64_t maxBytes) {
  Handle f(CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.ok()) return FromError(GetLastError(), FileStatus::Unreadable);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f.h, &size)) return FileStatus::Unreadable;
  if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) return FileStatus::TooLarge;
  // Read in chunks and appended to the reserved string, which is never filled with zeros first.
  const auto total = static_cast<std::size_t>(size.QuadPart);
  std::string data;
  data.reserve(total);
  constexpr DWORD kChunk = 64u * 1024u;
  std::unique_ptr<char[]> chunk(new char[kChunk]);
  while (data.size() < total) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(total - data.size() > kChunk ? kChunk : total - data.size());
    if (!ReadFile(f.h, chunk.get(), want, &got, nullptr)) return FileStatus::Unreadable;
    if (got == 0) break;
    data.append(chunk.get(), got);
  }
  bytes.swap(data);
  return FileStatus::Ok;
}

FileStatus Win32FileSystem::ReplaceAll(const std::u16string& path, std::string_view bytes) {
  std::wstring target = W(path);
  DWORD attrs = GetFileAttributesW(target.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY)) return FileStatus::ReadOnly;
  std::wstring temp = target + L".tmp~";
  {
    Handle f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.ok()) return FromError(GetLastError(), FileStatus::WriteFailed);
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD put = 0;
      DWORD want = static_cast<DWORD>(bytes.size() - done > (1u << 30) ? (1u << 30) : bytes.size() - done);
      if (!WriteFile(f.h, bytes.data() + done, want, &put, nullptr) || put == 0) {
        CloseHandle(f.h);
        f.h = INVALID_HANDLE_VALUE;
        DeleteFileW(temp.c_str());
        return FileStatus::WriteFailed;
      }
      done += put;
    }
    if (!FlushFileBuffers(f.h)) {
      CloseHandle(f.h);
      f.h = INVALID_HANDLE_VALUE;
      DeleteFileW(temp.c_str());
      return FileStatus::WriteFailed;
    }
  }
  // The replacement keeps the replaced file's creation time, as an in-place write would: the
  // installer takes an unversioned file whose last write is later than its creation for the
  // user's and never overwrites it, but the temporary file's own creation time would make a
  // changed list look as installed.
  WIN32_FILE_ATTRIBUTE_DATA before;
  const bool replacing = GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &before) != 0;
  if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD err = GetLastError();
    DeleteFileW(temp.c_str());
    return FromError(err, FileStatus::WriteFailed);
  }
  if (replacing) {
    Handle f(CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // The content is in place either way; only the installer's view of it would differ.
    if (f.ok()) SetFileTime(f.h, &before.ftCreationTime, nullptr, nullptr);
  }
  return FileStatus::Ok;
}

bool Win32FileSystem::Exists(const std::u16string& path) {
  Handle f(CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  return f.ok();
}

std::optional<std::chrono::system_clock::time_point> Win32FileSystem::LastWriteTime(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  // File times count 100 ns from 1601; the system clock counts from 1970.
  constexpr long long k1601To1970 = 116444736000000000LL;
  ULARGE_INTEGER ticks;
  ticks.LowPart = data.ftLastWriteTime.dwLowDateTime;
  ticks.HighPart = data.ftLastWriteTime.dwHighDateTime;
  using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;
  Ticks sinceEpoch(static_cast<long long>(ticks.QuadPart) - k1601To1970);
  return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch));
}

}  // namespace tw::win
