#include "shell/command_window/core/game_lists.h"

#include "common/core/line_file.h"

namespace tw::lists {
namespace {

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Plain substring test from the first character; an empty needle is found in any non-empty line.
bool Contains(std::u16string_view line, std::u16string_view needle) {
  if (needle.empty()) return !line.empty();
  return line.find(needle) != std::u16string_view::npos;
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

// Reads a list file into lines; Ok only when it exists, was read and fits the line buffer.
FileStatus ReadList(FileSystem& fs, const AnsiCodec& codec, const std::u16string& path,
                    std::vector<std::u16string>& lines) {
  LineFile file = ReadLineFile(fs, codec, path);
  if (file.status != FileStatus::Ok) return file.status;
  if (file.lines.size() > kMaxListLines) return FileStatus::TooLarge;
  lines = std::move(file.lines);
  return FileStatus::Ok;
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

WriteResult InsertRecord(std::vector<std::u16string>& lines, std::u16string_view storedTitle,
                         const std::u16string& record) {
  std::vector<std::size_t> closing;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Contains(lines[i], storedTitle)) return WriteResult::Duplicate;
    if (lines[i].find(kRootClose) != std::u16string::npos) closing.push_back(i);
  }
  if (closing.empty()) return WriteResult::NoRootLine;
  if (lines.size() + closing.size() > kMaxListLines) return WriteResult::TooLarge;
  for (std::size_t i : closing) lines[i] = record;
  lines.insert(lines.end(), closing.size(), std::u16string(kRootClose));
  return WriteResult::Written;
}

bool RemoveRecord(std::vector<std::u16string>& lines, std::int32_t index) {
  if (index < 1) return false;
  std::int32_t seen = 0;
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    if (it->find(kItemTag) == std::u16string::npos) continue;
    if (++seen == index) {
      lines.erase(it);
      return true;
    }
  }
  return false;
}

WriteResult WriteXML(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder,
                     std::u16string_view fileName, std::u16string_view title, std::u16string_view url) {
  const std::u16string path = ListPath(installFolder, fileName);
  std::vector<std::u16string> lines;
  FileStatus read = ReadList(fs, codec, path, lines);
  if (read != FileStatus::Ok) return FromStatus<WriteResult>(read);

  // What the file will hold once written through the code page: the test must look for that.
  const std::u16string storedTitle = codec.Decode(codec.Encode(EscapeTitle(title)));
  const std::u16string storedUrl = codec.Decode(codec.Encode(EscapeUrl(url)));
  WriteResult inserted = InsertRecord(lines, storedTitle, RecordLine(storedTitle, storedUrl));
  if (inserted != WriteResult::Written) return inserted;

  FileStatus written = WriteLineFile(fs, codec, path, lines);
  return written == FileStatus::Ok ? WriteResult::Written : FromStatus<WriteResult>(written);
}

DeleteResult DelXMLnode(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder,
                        std::u16string_view xmlName, std::int32_t index) {
  const std::u16string path = ListPath(installFolder, xmlName);
  std::vector<std::u16string> lines;
  FileStatus read = ReadList(fs, codec, path, lines);
  if (read != FileStatus::Ok) return FromStatus<DeleteResult>(read);

  bool removed = RemoveRecord(lines, index);
  // Rewritten even when nothing was removed: the line ends come out as CR LF either way.
  FileStatus written = WriteLineFile(fs, codec, path, lines);
  if (written != FileStatus::Ok) return FromStatus<DeleteResult>(written);
  return removed ? DeleteResult::Deleted : DeleteResult::NothingToDelete;
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
