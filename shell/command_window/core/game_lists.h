// The two local game lists: small XML files kept as lines of text in the ANSI code page, one record
// per line, and the two operations that change them (append a record, delete the n-th record).
// Every change reads the whole file into a line buffer and replaces the file in one step, so a
// failure at any point leaves the old file byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/core/file_system.h"

namespace tw::lists {

inline constexpr std::u16string_view kFavoritesFile = u"gamefavorites.xml";
inline constexpr std::u16string_view kLocalFile = u"gamelocal.xml";
// The tags the line rules look for, as the file holds them (ASCII in every ANSI code page).
inline constexpr std::string_view kRootClose = "</root>";
inline constexpr std::string_view kItemTag = "<item>";
inline constexpr std::string_view kTitleOpen = "<txt>", kTitleClose = "</txt>";

// The line buffer's index is a signed 16-bit number: a list file holds at most this many lines.
inline constexpr std::size_t kMaxListLines = 32767;

// installFolder + "\data\leftview\" + fileName.
std::u16string ListPath(std::u16string_view installFolder, std::u16string_view fileName);

// Untrusted page text made safe for one record line. Control characters (C0, DEL, C1; CR and LF
// included) become blanks in both. The title escapes '&', '<' and '>' as entities; the address,
// which goes inside a CDATA section, gets every "]]>" split across two sections and every '<'
// written as "%3C", so it can neither end the section nor look like a tag to the line rules.
std::u16string EscapeTitle(std::u16string_view title);
std::u16string EscapeUrl(std::u16string_view url);

// "<item><txt>" + title + "</txt><url><![CDATA[" + url + "]]></url></item>", both already escaped.
std::u16string RecordLine(std::u16string_view storedTitle, std::u16string_view storedUrl);

enum class WriteResult {
  Written,      // the record took the place of the closing line
  Duplicate,    // a record already has this title, or the title is empty; nothing written
  NoRootLine,   // no line holds "</root>"; nothing written
  NotFound,     // the list file does not exist
  Unreadable,   // it could not be read
  ReadOnly,     // it cannot be replaced
  TooLarge,     // it holds, or would hold, more than kMaxListLines lines
  WriteFailed,  // writing the replacement failed; the old file is intact
};

enum class DeleteResult {
  Deleted,          // the record's line was removed and the file rewritten
  NothingToDelete,  // no such record; the file was rewritten with its lines unchanged
  NotFound,
  Unreadable,
  ReadOnly,
  TooLarge,
  WriteFailed,
};

// The steps of WriteXML and DelXMLnode on the bytes of a list file. Lines end at CR LF, a lone CR
// or a lone LF; `out` receives the new content with CR LF after every line.
// Lines that are kept are kept byte for byte. Both refuse (TooLarge) more than kMaxListLines lines.
//
// The bytes CR, LF and '<' stand only for themselves in every ANSI code page (they never occur
// inside a double-byte character, whose second byte is 0x40 or above), so lines and the tags are
// found on the bytes themselves, and so is a record's title between its tags.
//
// InsertRecord refuses (Duplicate) a title that a record already has: a line holding "<item>" and
// "<txt>" + storedTitle + "</txt>"; and an empty title whenever a line is not empty. Otherwise every
// line that contains "</root>" is replaced by the record and one "</root>" line per replaced line
// is appended. Text that shared such a line with its first "</root>" is kept, unless it is only
// blanks: what stood before the tag as a line before the record, what followed it as a line after.
// `out` is only set on Written.
WriteResult InsertRecord(std::string_view bytes, const AnsiCodec& codec, std::u16string_view storedTitle,
                         std::string_view record, std::string& out);

enum class RemoveResult { Removed, NoSuchRecord, TooLarge };
// Removes, in place, the index-th line (1-based) among those that contain "<item>"; with no such
// line the lines are kept as they are. Unchanged when there are too many lines.
RemoveResult RemoveRecord(std::string& bytes, std::int32_t index);

// Appends a record for title and url to the list file fileName in the list folder. The title is
// stored escaped and as the code page can hold it, and the duplicate test compares exactly that.
WriteResult WriteXML(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder,
                     std::u16string_view fileName, std::u16string_view title, std::u16string_view url);

// Deletes the index-th record (1-based) of the list file xmlName in the list folder.
DeleteResult DelXMLnode(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder,
                        std::u16string_view xmlName, std::int32_t index);

// The two toolbar commands that add the open page to a list.
enum class GameList { Favorites, Local };

enum class MessageIcon { Information, Error };

struct Message {
  std::u16string text;
  MessageIcon icon;
};

struct AddOutcome {
  WriteResult result;
  // Run in the left pane before the message opens (a "javascript:" address); empty when nothing
  // was written.
  std::u16string leftScript;
  Message message;
};

std::u16string_view ListFileName(GameList list);

// The message a caller shows for a result of WriteXML on the given list.
Message WriteMessage(GameList list, WriteResult result);

AddOutcome AddToList(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder, GameList list,
                     std::u16string_view title, std::u16string_view url);

}  // namespace tw::lists
