// WriteXML and DelXMLnode on a full list file on disk, against a baseline in the same process: the
// same read of the file and the same temporary-file replacement with the bytes the operation
// writes. Both sides write durably (data flushed before the call returns), as the program does on
// Windows, and convert through code page 936 with lookup tables as the platform does. Prints the
// medians and the ratios; the target is at most 1.5x.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/core/line_file.h"
#include "common/core/text.h"
#include "shell/command_window/core/game_lists.h"
#include "support/codec_iconv.h"

namespace {

using Clock = std::chrono::steady_clock;

// The core joins list paths with backslashes, as the platform writes them.
std::string Narrow(const std::u16string& s) {
  std::string path = tw::ToUtf8(s);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool WriteFd(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return ::fsync(fd) == 0;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  struct stat st {};
  ::fstat(fd, &st);
  bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(done);
  return true;
}

// The same contract as the Windows file system: a temporary file beside the target, flushed,
// then renamed over it.
class PosixFileSystem : public tw::FileSystem {
 public:
  tw::FileStatus ReadAll(const std::u16string& path, std::string& bytes, std::uint64_t maxBytes) override {
    std::string data;
    if (!ReadFile(Narrow(path), data)) return tw::FileStatus::NotFound;
    if (data.size() > maxBytes) return tw::FileStatus::TooLarge;
    bytes.swap(data);
    return tw::FileStatus::Ok;
  }
  tw::FileStatus ReplaceAll(const std::u16string& path, std::string_view bytes) override {
    const std::string target = Narrow(path), temp = target + ".tmp~";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return tw::FileStatus::WriteFailed;
    bool ok = WriteFd(fd, bytes);
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
      ::unlink(temp.c_str());
      return tw::FileStatus::WriteFailed;
    }
    return tw::FileStatus::Ok;
  }
  bool Exists(const std::u16string& path) override { return ::access(Narrow(path).c_str(), F_OK) == 0; }
  std::optional<std::chrono::system_clock::time_point> LastWriteTime(const std::u16string& path) override {
    struct stat st;
    if (::stat(Narrow(path).c_str(), &st) != 0) return std::nullopt;
    return std::chrono::system_clock::from_time_t(st.st_mtime);
  }
};

// Code page 936 through lookup tables, as the platform converts (the tests' iconv codec builds the
// tables once): single bytes below 0x80 are ASCII, a lead byte 0x81-0xFE takes one trail byte.
class TableCodec : public tw::AnsiCodec {
 public:
  TableCodec() : toWide_(65536, u'?'), toAnsi_(65536, 0) {
    tw::test::IconvCodec iconv;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        std::u16string w = iconv.Decode(std::string_view(pair, 2));
        if (w.size() != 1 || w[0] == 0xFFFD) continue;
        toWide_[lead << 8 | trail] = w[0];
        if (!toAnsi_[w[0]]) toAnsi_[w[0]] = static_cast<std::uint16_t>(lead << 8 | trail);
      }
    }
  }
  std::u16string Decode(std::string_view bytes) const override {
    std::u16string out(bytes.size(), u'\0');
    std::size_t n = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      unsigned char b = static_cast<unsigned char>(bytes[i]);
      if (b < 0x80) {
        out[n++] = b;
      } else if (b >= 0x81 && b <= 0xFE && i + 1 < bytes.size()) {
        out[n++] = toWide_[b << 8 | static_cast<unsigned char>(bytes[++i])];
      } else {
        out[n++] = u'?';
      }
    }
    out.resize(n);
    return out;
  }
  std::string Encode(std::u16string_view text) const override {
    std::string out(text.size() * 2, '\0');
    std::size_t n = 0;
    for (char16_t c : text) {
      if (c < 0x80) {
        out[n++] = static_cast<char>(c);
      } else if (std::uint16_t a = toAnsi_[c]) {
        out[n++] = static_cast<char>(a >> 8);
        out[n++] = static_cast<char>(a & 0xFF);
      } else {
        out[n++] = '?';
      }
    }
    out.resize(n);
    return out;
  }

 private:
  std::vector<char16_t> toWide_;
  std::vector<std::uint16_t> toAnsi_;
};

std::string ListOfLines(std::size_t total) {
  // GBK titles: "游戏" followed by a number, as a full favourites list would hold them.
  std::string s = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<root>\r\n";
  for (std::size_t i = 3; i < total; ++i)
    s += "<item><txt>\xD3\xCE\xCF\xB7" + std::to_string(i) + "</txt><url><![CDATA[http://127.0.0.1:18473/game" +
         std::to_string(i) + ".htm]]></url></item>\r\n";
  return s + "</root>\r\n";
}

void Put(const std::string& path, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  WriteFd(fd, bytes);
  ::close(fd);
}

struct Op {
  const char* name;
  const std::string* content;  // the file's content before each run
  std::function<bool()> run;
  std::vector<double> ms;
};

// Runs the operations round-robin, so that a busy machine weighs on each alike; the file is put
// back before every run.
void Measure(int runs, const std::string& path, std::vector<Op>& ops) {
  for (int i = 0; i < runs; ++i) {
    for (Op& op : ops) {
      Put(path, *op.content);
      auto t0 = Clock::now();
      if (!op.run()) {
        std::printf("%s failed\n", op.name);
        std::exit(1);
      }
      op.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("tw-lists-bench-" + std::to_string(::getpid()));
  fs::create_directories(root / "data" / "leftview");
  const std::u16string folder = tw::FromUtf8(root.string());
  const std::string file = (root / "data" / "leftview" / "gamefavorites.xml").string();

  PosixFileSystem disk;
  const TableCodec gbk;

  // WriteXML may grow a list to the limit: it starts one line short of it. DelXMLnode starts full.
  const std::string almostFull = ListOfLines(tw::lists::kMaxListLines - 1);
  const std::string full = ListOfLines(tw::lists::kMaxListLines);

  const std::u16string path = tw::FromUtf8(file);
  auto writeXml = [&] {
    return tw::lists::WriteXML(disk, gbk, folder, tw::lists::kFavoritesFile, u"新游戏", u"http://127.0.0.1/new.htm") ==
           tw::lists::WriteResult::Written;
  };
  auto delXmlNode = [&] {
    return tw::lists::DelXMLnode(disk, gbk, folder, tw::lists::kFavoritesFile, 16000) ==
           tw::lists::DeleteResult::Deleted;
  };
  // What each operation leaves in the file: the baseline writes exactly these bytes.
  auto resultOf = [&](const std::string& before, const std::function<bool()>& op) {
    Put(file, before);
    std::string after;
    if (!op() || !ReadFile(file, after)) std::exit(1);
    return after;
  };
  const std::string written = resultOf(almostFull, writeXml), deleted = resultOf(full, delXmlNode);
  // The baseline: the same read, then the same temporary-file replacement of the same bytes.
  auto rawReplaceWith = [&](const std::string& result) {
    return [&] {
      std::string bytes;
      return disk.ReadAll(path, bytes, UINT64_MAX) == tw::FileStatus::Ok &&
             disk.ReplaceAll(path, result) == tw::FileStatus::Ok;
    };
  };
  std::vector<Op> ops{
      {"WriteXML", &almostFull, writeXml, {}},
      {"  raw read + replace", &almostFull, rawReplaceWith(written), {}},
      {"DelXMLnode", &full, delXmlNode, {}},
      {"  raw read + replace", &full, rawReplaceWith(deleted), {}},
  };
  Measure(runs, file, ops);
  fs::remove_all(root);

  std::printf("list of %zu lines (%zu bytes), median of %d runs, durable writes everywhere\n",
              static_cast<std::size_t>(tw::lists::kMaxListLines), full.size(), runs);
  for (std::size_t i = 0; i < ops.size(); i += 2) {
    const double op = Median(ops[i].ms), base = Median(ops[i + 1].ms);
    std::printf("%-22s %8.2f ms\n%-22s %8.2f ms  ratio %.2f  (target <= 1.5)\n", ops[i].name, op, ops[i + 1].name,
                base, op / base);
  }
  return 0;
}
