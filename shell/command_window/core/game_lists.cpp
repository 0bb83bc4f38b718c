#include "shell/command_window/core/game_lists.h"

#include <cstdint>
#include <vector>

#include "common/core/line_file.h"

namespace tw::lists {
namespace {

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// One line of a text: [begin, end), its terminator not included.
struct Span {
  std::size_t begin, end;
};

// Line boundaries by the same rules as SplitLines, without copying the lines.
std::vector<Span> LineSpans(std::u16string_view text) {
  std::vector<Span> spans;
  std::size_t start = 0;
  for (;;) {
    std::size_t cr = text.find(u'\r', start);
    if (cr == std::u16string_view::npos) break;
    spans.push_back({start, cr});
    start = cr + 1;
    if (start < text.size() && text[start] == u'\n') ++start;
  }
  if (start < text.size()) spans.push_back({start, text.size()});
  return spans;
}

// Marks, in order, every line that holds `needle` (which holds no CR, so each hit lies inside one
// line), and stops once `stopAt` lines are marked. Returns how many were marked; `last` is the
// index of the last one.
std::size_t MarkLinesHolding(std::u16string_view text, const std::vector<Span>& spans, std::u16string_view needle,
                             std::vector<char>& marked, std::size_t stopAt = SIZE_MAX, std::size_t* last = nullptr) {
  std::size_t count = 0, line = 0;
  for (std::size_t hit = text.find(needle); hit != std::u16string_view::npos; hit = text.find(needle, hit + 1)) {
    while (line < spans.size() && spans[line].end < hit + needle.size()) ++line;
    if (line == spans.size()) break;
    if (marked[line]) continue;
    marked[line] = 1;
    if (last) *last = line;
    if (++count == stopAt) break;
  }
  return count;
}

void AppendLine(std::u16string& out, std::u16string_view line) {
  out.append(line);
  out.append(u"\r\n");
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

WriteResult InsertRecord(std::u16string_view text, std::u16string_view storedTitle, std::u16string_view record,
                         std::u16string& out) {
  const std::vector<Span> spans = LineSpans(text);
  if (spans.size() > kMaxListLines) return WriteResult::TooLarge;

  if (storedTitle.empty()) {
    for (const Span& l : spans)
      if (l.end > l.begin) return WriteResult::Duplicate;
  } else if (storedTitle.find(u'\r') == std::u16string_view::npos &&
             text.find(storedTitle) != std::u16string_view::npos) {
    // Without a CR in it, a hit anywhere in the text lies inside one line (and a title with a CR
    // fits in no line).
    return WriteResult::Duplicate;
  }

  std::vector<char> closing(spans.size(), 0);
  const std::size_t closings = MarkLinesHolding(text, spans, kRootClose, closing);
  if (closings == 0) return WriteResult::NoRootLine;
  if (spans.size() + closings > kMaxListLines) return WriteResult::TooLarge;

  out.clear();
  out.reserve(text.size() + closings * (record.size() + kRootClose.size() + 4) + 2 * spans.size());
  for (std::size_t i = 0; i < spans.size(); ++i)
    AppendLine(out, closing[i] ? record : text.substr(spans[i].begin, spans[i].end - spans[i].begin));
  for (std::size_t i = 0; i < closings; ++i) AppendLine(out, kRootClose);
  return WriteResult::Written;
}

RemoveResult RemoveRecord(std::u16string_view text, std::int32_t index, std::u16string& out) {
  const std::vector<Span> spans = LineSpans(text);
  if (spans.size() > kMaxListLines) return RemoveResult::TooLarge;
  std::vector<char> items(spans.size(), 0);
  std::size_t removed = SIZE_MAX, last = SIZE_MAX;
  if (index >= 1) {
    const auto wanted = static_cast<std::size_t>(index);
    if (MarkLinesHolding(text, spans, kItemTag, items, wanted, &last) == wanted) removed = last;
  }
  out.clear();
  out.reserve(text.size() + 2 * spans.size());
  for (std::size_t i = 0; i < spans.size(); ++i)
    if (i != removed) AppendLine(out, text.substr(spans[i].begin, spans[i].end - spans[i].begin));
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
  std::u16string text = codec.Decode(bytes);
  std::u16string out;
  WriteResult inserted = InsertRecord(text, storedTitle, RecordLine(storedTitle, storedUrl), out);
  if (inserted != WriteResult::Written) return inserted;

  FileStatus written = fs.ReplaceAll(path, codec.Encode(out));
  return written == FileStatus::Ok ? WriteResult::Written : FromStatus<WriteResult>(written);
}

DeleteResult DelXMLnode(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder,
                        std::u16string_view xmlName, std::int32_t index) {
  const std::u16string path = ListPath(installFolder, xmlName);
  std::string bytes;
  FileStatus read = fs.ReadAll(path, bytes, kMaxLineFileBytes);
  if (read != FileStatus::Ok) return FromStatus<DeleteResult>(read);

  std::u16string out;
  RemoveResult removed = RemoveRecord(codec.Decode(bytes), index, out);
  if (removed == RemoveResult::TooLarge) return DeleteResult::TooLarge;
  // Rewritten even when nothing was removed: the line ends come out as CR LF either way.
  FileStatus written = fs.ReplaceAll(path, codec.Encode(out));
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
