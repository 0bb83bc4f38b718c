#include "support/codec_iconv.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace tw::test {
namespace {

std::string Convert(const char* to, const char* from, const char* in, std::size_t inBytes) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string out;
  char buf[4096];
  char* src = const_cast<char*>(in);
  std::size_t left = inBytes;
  while (left > 0) {
    char* dst = buf;
    std::size_t room = sizeof buf;
    std::size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, dst - buf);
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // Unconvertible input: replace one unit, as the platform does with its default character.
      if (std::string(to) == "UTF-16LE") { out.append("\xFD\xFF", 2); src += 1; left -= 1; }
      else { out.push_back('?'); src += 2; left = left >= 2 ? left - 2 : 0; }
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::u16string IconvCodec::Decode(std::string_view bytes) const {
  std::string raw = Convert("UTF-16LE", charset_, bytes.data(), bytes.size());
  std::u16string out(raw.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                   (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
  return out;
}

std::string IconvCodec::Encode(std::u16string_view text) const {
  std::string raw(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    raw[2 * i] = static_cast<char>(text[i] & 0xFF);
    raw[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return Convert(charset_, "UTF-16LE", raw.data(), raw.size());
}

FileStatus MemoryFileSystem::ReadAll(const std::u16string& path, std::string& bytes, std::uint64_t maxBytes) {
  auto it = files.find(path);
  if (it == files.end()) return FileStatus::NotFound;
  if (unreadable.count(path)) return FileStatus::Unreadable;
  if (it->second.size() > maxBytes) return FileStatus::TooLarge;
  bytes = it->second;
  return FileStatus::Ok;
}

FileStatus MemoryFileSystem::ReplaceAll(const std::u16string& path, std::string_view bytes) {
  ++writes;
  if (readOnly.count(path)) return FileStatus::ReadOnly;
  std::string temp;
  if (failAfterBytes && *failAfterBytes < bytes.size()) {
    temp.assign(bytes.substr(0, *failAfterBytes));
    return FileStatus::WriteFailed;  // the temporary copy is abandoned
  }
  temp.assign(bytes);
  if (failRename) return FileStatus::WriteFailed;
  files[path] = std::move(temp);
  writeTimes[path] = now;
  return FileStatus::Ok;
}

std::optional<std::chrono::system_clock::time_point> MemoryFileSystem::LastWriteTime(const std::u16string& path) {
  auto it = writeTimes.find(path);
  if (!files.count(path) || it == writeTimes.end()) return std::nullopt;
  return it->second;
}

}  // namespace tw::test
