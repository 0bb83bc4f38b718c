#include "shell/command_window/core/game_lists.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/core/line_file.h"

namespace tw::lists {
namespace {

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// One line of the file: bytes [begin, end), its terminator not included.
struct Span {
  std::size_t begin, end;
};

// Line boundaries by the same rules as SplitLines, on the bytes: CR LF, a lone CR or a lone LF.
std::vector<Span> LineSpans(std::string_view bytes) {
  std::vector<Span> spans;
  const std::size_t size = bytes.size();
  // The next CR and the next LF at or after `from`, each searched again only once passed.
  auto next = [&](char c, std::size_t from) {
    const void* hit = from < size ? std::memchr(bytes.data() + from, c, size - from) : nullptr;
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data()) : size;
  };
  std::size_t start = 0, cr = next('\r', 0), lf = next('\n', 0);
  while (cr < size || lf < size) {
    const std::size_t at = std::min(cr, lf);
    spans.push_back({start, at});
    start = at == cr && lf == cr + 1 ? cr + 2 : at + 1;  // CR LF is one line end
    if (cr < start) cr = next('\r', start);
    if (lf < start) lf = next('\n', start);
  }
  if (start < size) spans.push_back({start, size});
  return spans;
}

std::string_view LineOf(std::string_view bytes, const Span& l) { return bytes.substr(l.begin, l.end - l.begin); }

// Substring search over bytes that runs from one occurrence of the needle's rarest byte to the
// next (judged on the start of the text), so that on list text, full of '<' and '/', it does not
// stop at every tag.
class ByteFinder {
 public:
  ByteFinder(std::string_view needle, std::string_view text) : needle_(needle) {
    std::array<std::size_t, 256> seen{};
    for (unsigned char c : text.substr(0, 8192)) ++seen[c];
    for (std::size_t i = 1; i < needle.size(); ++i)
      if (seen[static_cast<unsigned char>(needle[i])] < seen[static_cast<unsigned char>(needle[anchor_])]) anchor_ = i;
  }

  // The first occurrence at `from` or after it; the needle is not empty.
  std::size_t Find(std::string_view hay, std::size_t from) const {
    const std::size_t n = needle_.size();
    for (std::size_t at = from + anchor_; at < hay.size();) {
      const void* hit = std::memchr(hay.data() + at, needle_[anchor_], hay.size() - at);
      if (!hit) break;
      const std::size_t pos = static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data());
      const std::size_t start = pos - anchor_;
      if (start + n <= hay.size() && std::memcmp(hay.data() + start, needle_.data(), n) == 0) return start;
      at = pos + 1;
    }
    return std::string_view::npos;
  }

 private:
  std::string_view needle_;
  std::size_t anchor_ = 0;
};

// Calls onLine(line index) for every line that holds `needle` (a hit across a line end is not
// inside any line), in order and once per line, until onLine returns false.
template <class F>
void ForLinesHolding(std::string_view bytes, const std::vector<Span>& spans, std::string_view needle, F&& onLine) {
  if (needle.empty()) return;
  const ByteFinder finder(needle, bytes);
  std::size_t line = 0, from = 0;
  for (;;) {
    const std::size_t at = finder.Find(bytes, from);
    if (at == std::string_view::npos) return;
    while (line < spans.size() && spans[line].end < at + needle.size()) ++line;
    if (line == spans.size()) return;
    if (spans[line].begin > at) {  // across a line end: not inside any line
      from = at + 1;
      continue;
    }
    if (!onLine(line)) return;
    from = spans[line].end;  // the rest of the line is done
  }
}

// Only blanks and tabs (bytes that are never part of a double-byte character).
bool IsBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

void AppendLine(std::string& out, std::string_view line) {
  out.append(line);
  out.append("\r\n");
}

// Appends lines [first, last) each followed by CR LF. Runs of lines that already end in CR LF are
// one stretch of the original bytes and are copied at once.
void AppendLines(std::string& out, std::string_view bytes, const std::vector<Span>& spans, std::size_t first,
                 std::size_t last) {
  auto endsInCrLf = [&](const Span& l) {
    return l.end + 2 <= bytes.size() && bytes[l.end] == '\r' && bytes[l.end + 1] == '\n';
  };
  for (std::size_t i = first; i < last;) {
    std::size_t j = i;
    while (j < last && endsInCrLf(spans[j])) ++j;
    if (j > i) {
      out.append(bytes.substr(spans[i].begin, spans[j - 1].end + 2 - spans[i].begin));
      i = j;
    } else {
      AppendLine(out, LineOf(bytes, spans[i]));
      ++i;
    }
  }
}

template <class Result>
Result FromStatus(FileStatus s) {
  switch (s) {
    case FileStatus::NotFound: return Result::NotFound;
    case FileStatus::Unreadable: return Result::Unreadable;
    case FileStatus::ReadOnly: return Result::ReadOnly;
    case FileStatus::TooLarge: return Result::TooLarge;
    case FileStatus::WriteFailed:
    case FileStatus::Ok: break;
  }
  return Result::WriteFailed;
}

}  // namespace

std::u16string ListPath(std::u16string_view installFolder, std::u16string_view fileName) {
  std::u16string path(installFolder);
  path += u"\\data\\leftview\\";
  path += fileName;
  return path;
}

std::u16string EscapeTitle(std::u16string_view title) {
  std::u16string out;
  out.reserve(title.size());
  for (char16_t c : title) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      default: out.push_back(IsControl(c) ? u' ' : c);
    }
  }
  return out;
}

std::u16string EscapeUrl(std::u16string_view url) {
  std::u16string out;
  out.reserve(url.size());
  for (std::size_t i = 0; i < url.size(); ++i) {
    char16_t c = url[i];
    if (c == u'<') {
      out += u"%3C";
    } else if (c == u'>' && out.size() >= 2 && out[out.size() - 1] == u']' && out[out.size() - 2] == u']') {
      // "]]>" would end the section: close it between the brackets and the '>' and open another.
      out += u"]]><![CDATA[>";
    } else {
      out.push_back(IsControl(c) ? u' ' : c);
    }
  }
  return out;
}

std::u16string RecordLine(std::u16string_view storedTitle, std::u16string_view storedUrl) {
  std::u16string line(u"<item><txt>");
  line += storedTitle;
  line += u"</txt><url><![CDATA[";
  line += storedUrl;
  line += u"]]></url></item>";
  return line;
}

WriteResult InsertRecord(std::string_view bytes, const AnsiCodec& codec, std::u16string_view storedTitle,
                         std::string_view record, std::string& out) {
  const std::vector<Span> spans = LineSpans(bytes);
  if (spans.size() > kMaxListLines) return WriteResult::TooLarge;

  // An empty title names no game: refused as present wherever the file holds any text at all.
  if (storedTitle.empty() &&
      std::any_of(spans.begin(), spans.end(), [](const Span& l) { return l.end > l.begin; }))
    return WriteResult::Duplicate;
  // A record's title element holding exactly the title's bytes. The element starts and ends with
  // '<', which is never part of a double-byte character, so a hit is the whole title and nothing
  // else.
  bool duplicate = false;
  std::string element(kTitleOpen);
  element += codec.Encode(storedTitle);
  element += kTitleClose;
  ForLinesHolding(bytes, spans, element, [&](std::size_t line) {
    duplicate = LineOf(bytes, spans[line]).find(kItemTag) != std::string_view::npos;
    return !duplicate;
  });
  if (duplicate) return WriteResult::Duplicate;

  std::vector<std::size_t> closing;
  ForLinesHolding(bytes, spans, kRootClose, [&](std::size_t line) {
    closing.push_back(line);
    return true;
  });
  if (closing.empty()) return WriteResult::NoRootLine;

  // What shares a closing line with the tag (the opening tag of a one-line list, a record, a
  // comment) stays, on lines of its own before and after the new record, so the file stays
  // well-formed and loses nothing.
  struct Split {
    std::string_view before, after;
  };
  std::vector<Split> splits;
  splits.reserve(closing.size());
  std::size_t total = spans.size() + closing.size();
  for (std::size_t line : closing) {
    const std::string_view l = LineOf(bytes, spans[line]);
    const std::size_t at = l.find(kRootClose);
    Split split{l.substr(0, at), l.substr(at + kRootClose.size())};
    if (IsBlank(split.before)) split.before = {};
    if (IsBlank(split.after)) split.after = {};
    total += !split.before.empty() + !split.after.empty();
    splits.push_back(split);
  }
  if (total > kMaxListLines) return WriteResult::TooLarge;

  out.clear();
  out.reserve(bytes.size() + closing.size() * (record.size() + kRootClose.size() + 8) + 2 * spans.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < closing.size(); ++i) {
    AppendLines(out, bytes, spans, next, closing[i]);
    if (!splits[i].before.empty()) AppendLine(out, splits[i].before);
    AppendLine(out, record);
    if (!splits[i].after.empty()) AppendLine(out, splits[i].after);
    next = closing[i] + 1;
  }
  AppendLines(out, bytes, spans, next, spans.size());
  for (std::size_t i = 0; i < closing.size(); ++i) AppendLine(out, kRootClose);
  return WriteResult::Written;
}

RemoveResult RemoveRecord(std::string& bytes, std::int32_t index) {
  const std::vector<Span> spans = LineSpans(bytes);
  if (spans.size() > kMaxListLines) return RemoveResult::TooLarge;
  std::size_t removed = SIZE_MAX;
  if (index >= 1) {
    std::int32_t seen = 0;
    ForLinesHolding(bytes, spans, kItemTag, [&](std::size_t line) {
      if (++seen < index) return true;
      removed = line;
      return false;
    });
  }
  const bool crLfThroughout = std::all_of(spans.begin(), spans.end(), [&](const Span& l) {
    return l.end + 2 <= bytes.size() && bytes[l.end] == '\r' && bytes[l.end + 1] == '\n';
  });
  if (crLfThroughout) {
    // Already as it will be written: only the record's line and its line end go.
    if (removed != SIZE_MAX) bytes.erase(spans[removed].begin, spans[removed].end + 2 - spans[removed].begin);
  } else {
    std::string out;
    out.reserve(bytes.size() + 2 * spans.size());
    AppendLines(out, bytes, spans, 0, std::min(removed, spans.size()));
    if (removed != SIZE_MAX) AppendLines(out, bytes, spans, removed + 1, spans.size());
    bytes.swap(out);
  }
  return removed == SIZE_MAX ? RemoveResult::NoSuchRecord : RemoveResult::Removed;
}

WriteResult WriteXML(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder,
                     std::u16string_view fileName, std::u16string_view title, std::u16string_view url) {
  const std::u16string path = ListPath(installFolder, fileName);
  std::string bytes;
  FileStatus read = fs.ReadAll(path, bytes, kMaxLineFileBytes);
  if (read != FileStatus::Ok) return FromStatus<WriteResult>(read);

  // What the file will hold once written through the code page: the test must look for that.
  const std::u16string storedTitle = codec.Decode(codec.Encode(EscapeTitle(title)));
  const std::u16string storedUrl = codec.Decode(codec.Encode(EscapeUrl(url)));
  std::string out;
  WriteResult inserted = InsertRecord(bytes, codec, storedTitle, codec.Encode(RecordLine(storedTitle, storedUrl)), out);
  if (inserted != WriteResult::Written) return inserted;

  FileStatus written = fs.ReplaceAll(path, out);
  return written == FileStatus::Ok ? WriteResult::Written : FromStatus<WriteResult>(written);
}

DeleteResult DelXMLnode(FileSystem& fs, const AnsiCodec& /*codec: records are found and kept as bytes*/,
                        std::u16string_view installFolder, std::u16string_view xmlName, std::int32_t index) {
  const std::u16string path = ListPath(installFolder, xmlName);
  std::string bytes;
  FileStatus read = fs.ReadAll(path, bytes, kMaxLineFileBytes);
  if (read != FileStatus::Ok) return FromStatus<DeleteResult>(read);

  RemoveResult removed = RemoveRecord(bytes, index);
  if (removed == RemoveResult::TooLarge) return DeleteResult::TooLarge;
  // Rewritten even when nothing was removed: the line ends come out as CR LF either way.
  FileStatus written = fs.ReplaceAll(path, bytes);
  if (written != FileStatus::Ok) return FromStatus<DeleteResult>(written);
  return removed == RemoveResult::Removed ? DeleteResult::Deleted : DeleteResult::NothingToDelete;
}

std::u16string_view ListFileName(GameList list) {
  return list == GameList::Favorites ? kFavoritesFile : kLocalFile;
}

Message WriteMessage(GameList list, WriteResult result) {
  const bool fav = list == GameList::Favorites;
  switch (result) {
    case WriteResult::Written:
      return {fav ? u"游戏收藏成功!" : u"此游戏已经下载到本地,下次在玩的时候,无需加载.", MessageIcon::Information};
    case WriteResult::Duplicate:
      return {fav ? u"游戏已经被收藏!" : u"此游戏已经下载!", MessageIcon::Error};
    case WriteResult::NoRootLine:
      return {u"游戏列表文件已损坏(找不到</root>),未能保存!", MessageIcon::Error};
    case WriteResult::NotFound:
      return {u"找不到游戏列表文件,未能保存!", MessageIcon::Error};
    case WriteResult::Unreadable:
      return {u"无法读取游戏列表文件,未能保存!", MessageIcon::Error};
    case WriteResult::ReadOnly:
      return {u"游戏列表文件是只读的,未能保存!", MessageIcon::Error};
    case WriteResult::TooLarge:
      return {u"游戏列表已满,未能保存!", MessageIcon::Error};
    case WriteResult::WriteFailed:
      break;
  }
  return {u"写入游戏列表文件失败,未能保存!", MessageIcon::Error};
}

AddOutcome AddToList(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder, GameList list,
                     std::u16string_view title, std::u16string_view url) {
  AddOutcome out;
  out.result = WriteXML(fs, codec, installFolder, ListFileName(list), title, url);
  if (out.result == WriteResult::Written) {
    out.leftScript = list == GameList::Favorites ? u"javascript:get_xml('gamefavorites.xml','gamefavorites');"
                                                 : u"javascript:get_xml('gamelocal.xml','gamelocal');";
  }
  out.message = WriteMessage(list, out.result);
  return out;
}

}  // namespace tw::lists
