#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/core/text.h"
#include "shell/command_window/core/game_lists.h"
#include "support/codec_iconv.h"

namespace tw::lists {
namespace {

const std::u16string kFolder = u"C:\\Games\\Tarnwick";
const std::u16string kFav = u"C:\\Games\\Tarnwick\\data\\leftview\\gamefavorites.xml";
const std::u16string kLocal = u"C:\\Games\\Tarnwick\\data\\leftview\\gamelocal.xml";
const std::string kHeader = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<root>\r\n";

// GBK bytes of a few titles (written as bytes so the test does not depend on the codec under test).
const std::string kLianLianKan = "\xC1\xAC\xC1\xAC\xBF\xB4";        // 连连看
const std::string kXiaoXiaoLe = "\xCF\xFB\xCF\xFB\xC0\xD6";         // 消消乐

std::string Record(const std::string& title, const std::string& url) {
  return "<item><txt>" + title + "</txt><url><![CDATA[" + url + "]]></url></item>";
}

class ListsTest : public ::testing::Test {
 protected:
  WriteResult Write(std::u16string_view title, std::u16string_view url,
                    std::u16string_view file = kFavoritesFile) {
    return WriteXML(fs, gbk, kFolder, file, title, url);
  }
  test::IconvCodec gbk;
  test::MemoryFileSystem fs;
};

TEST_F(ListsTest, ListPathJoinsTheFolderByPlainConcatenation) {
  EXPECT_EQ(ListPath(kFolder, kFavoritesFile), kFav);
  EXPECT_EQ(ListPath(u"D:", u"x.xml"), u"D:\\data\\leftview\\x.xml");
}

TEST_F(ListsTest, FirstRecordTakesThePlaceOfTheClosingLine) {
  fs.files[kFav] = kHeader + "</root>\r\n";
  EXPECT_EQ(Write(u"Abc", u"http://127.0.0.1/abc.htm"), WriteResult::Written);
  EXPECT_EQ(fs.files[kFav], kHeader + Record("Abc", "http://127.0.0.1/abc.htm") + "\r\n</root>\r\n");
}

TEST_F(ListsTest, RecordsStayOldestFirstAndOtherLinesAreKept) {
  fs.files[kFav] = kHeader + "</root>\r\n<!-- tail -->";
  ASSERT_EQ(Write(u"One", u"http://a/1"), WriteResult::Written);
  ASSERT_EQ(Write(u"Two", u"http://a/2"), WriteResult::Written);
  // The tail line was after the old closing line, so it now stands between the records and it.
  EXPECT_EQ(fs.files[kFav], kHeader + Record("One", "http://a/1") + "\r\n<!-- tail -->\r\n" +
                                Record("Two", "http://a/2") + "\r\n</root>\r\n");
}

TEST_F(ListsTest, OnlyARecordWithTheSameStoredTitleIsADuplicateAndLeavesTheFileByteForByte) {
  const std::string before = kHeader + Record("Google", "http://a/abc") + "\r\n" + Record("a&lt;b", "http://a/") +
                             "\r\n</root>\r\n<!-- Zed -->\r\n" + Record("Late", "http://l/") + "\r\n";
  for (const std::u16string_view title : {u"Google", u"a<b", u"Late"}) {
    fs.files[kFav] = before;
    fs.writes = 0;
    EXPECT_EQ(Write(title, u"http://other/"), WriteResult::Duplicate) << ToUtf8(title);
    EXPECT_EQ(fs.files[kFav], before) << ToUtf8(title);
    EXPECT_EQ(fs.writes, 0) << ToUtf8(title);
  }
  // Parts of titles, tags, addresses or other lines are new titles.
  for (const std::u16string_view title : {u"Go", u"Googles", u"item", u"txt", u"root", u"a/abc", u"xml version", u"Zed",
                                      u"a&lt;b", u" "}) {
    fs.files[kFav] = before;
    EXPECT_EQ(Write(title, u"http://other/"), WriteResult::Written) << ToUtf8(title);
  }
  // An empty title is refused by any file that holds text, even one without records.
  for (const std::string& list : {before, kHeader + "</root>\r\n", std::string("\r\n</root>")}) {
    fs.files[kFav] = list;
    fs.writes = 0;
    EXPECT_EQ(Write(u"", u"http://e/"), WriteResult::Duplicate) << list;
    EXPECT_EQ(fs.files[kFav], list);
    EXPECT_EQ(fs.writes, 0);
  }
}

TEST_F(ListsTest, WithoutAClosingLineNothingIsWrittenAndFailureIsReported) {
  const std::string before = kHeader + Record("Abc", "http://a/") + "\r\n";
  fs.files[kFav] = before;
  EXPECT_EQ(Write(u"New", u"http://n/"), WriteResult::NoRootLine);
  EXPECT_EQ(fs.files[kFav], before);
  EXPECT_EQ(fs.writes, 0);
  Message m = WriteMessage(GameList::Favorites, WriteResult::NoRootLine);
  EXPECT_EQ(m.icon, MessageIcon::Error);
  EXPECT_NE(m.text, WriteMessage(GameList::Favorites, WriteResult::Written).text);
}

TEST_F(ListsTest, WhatSharesTheClosingLineIsKeptOnLinesOfItsOwn) {
  const std::string a = Record("Abc", "http://a/"), d = Record("Def", "http://d/");
  fs.files[kFav] = "<root></root>";
  ASSERT_EQ(Write(u"Abc", u"http://a/"), WriteResult::Written);
  ASSERT_EQ(Write(u"Def", u"http://d/"), WriteResult::Written);
  EXPECT_EQ(fs.files[kFav], "<root>\r\n" + a + "\r\n" + d + "\r\n</root>\r\n");
  // A record on the closing line stays; text after the tag follows the new record; blanks go.
  fs.files[kFav] = "<root>\r\n" + a + "</root><!-- c -->\r\n";
  ASSERT_EQ(Write(u"Def", u"http://d/"), WriteResult::Written);
  EXPECT_EQ(fs.files[kFav], "<root>\r\n" + a + "\r\n" + d + "\r\n<!-- c -->\r\n</root>\r\n");
  fs.files[kFav] = "<root>\r\n \t</root>\t\r\n";
  ASSERT_EQ(Write(u"Abc", u"http://a/"), WriteResult::Written);
  EXPECT_EQ(fs.files[kFav], "<root>\r\n" + a + "\r\n</root>\r\n");
}

TEST_F(ListsTest, EveryClosingLineGetsACopyOfTheRecord) {
  fs.files[kFav] = "<root>\r\n</root>\r\n</root>\r\n";
  EXPECT_EQ(Write(u"Abc", u"http://a/"), WriteResult::Written);
  const std::string r = Record("Abc", "http://a/");
  EXPECT_EQ(fs.files[kFav], "<root>\r\n" + r + "\r\n" + r + "\r\n</root>\r\n</root>\r\n");
}

TEST_F(ListsTest, LoneCrAndLoneLfEndLinesAndTheRewriteUsesCrLf) {
  fs.files[kFav] = "<root>\r<!-- a\nb -->\r\n</root>";
  EXPECT_EQ(Write(u"Abc", u"http://a/"), WriteResult::Written);
  EXPECT_EQ(fs.files[kFav], "<root>\r\n<!-- a\r\nb -->\r\n" + Record("Abc", "http://a/") + "\r\n</root>\r\n");
  // A file saved with LF line ends keeps its records and takes later ones.
  fs.files[kFav] = "<root>\n" + Record("Abc", "http://a/") + "\n</root>\n";
  ASSERT_EQ(Write(u"Def", u"http://d/"), WriteResult::Written);
  ASSERT_EQ(Write(u"Ghi", u"http://g/"), WriteResult::Written);
  EXPECT_EQ(fs.files[kFav], "<root>\r\n" + Record("Abc", "http://a/") + "\r\n" + Record("Def", "http://d/") +
                                "\r\n" + Record("Ghi", "http://g/") + "\r\n</root>\r\n");
}

TEST_F(ListsTest, ChineseTitlesRoundTripThroughCodePage936ByteForByte) {
  const std::string before = kHeader + Record(kLianLianKan, "http://127.0.0.1:18473/g1.htm") + "\r\n</root>\r\n";
  fs.files[kLocal] = before;
  EXPECT_EQ(Write(u"消消乐", u"http://127.0.0.1:18473/g2.htm", kLocalFile), WriteResult::Written);
  EXPECT_EQ(fs.files[kLocal], kHeader + Record(kLianLianKan, "http://127.0.0.1:18473/g1.htm") + "\r\n" +
                                  Record(kXiaoXiaoLe, "http://127.0.0.1:18473/g2.htm") + "\r\n</root>\r\n");
  // A title read back from the file is recognised as the one stored.
  const std::string after = fs.files[kLocal];
  EXPECT_EQ(Write(u"连连看", u"http://x/", kLocalFile), WriteResult::Duplicate);
  EXPECT_EQ(fs.files[kLocal], after);
}

TEST_F(ListsTest, ATitleTheCodePageCannotHoldIsComparedAsStored) {
  fs.files[kFav] = kHeader + "</root>\r\n";
  // U+0E01 (Thai) is not in GBK: it is stored as '?', and the same title must then count as present.
  ASSERT_EQ(Write(u"Game \u0E01", u"http://c/"), WriteResult::Written);
  EXPECT_NE(fs.files[kFav].find("<txt>Game ?</txt>"), std::string::npos);
  EXPECT_EQ(Write(u"Game \u0E01", u"http://c/2"), WriteResult::Duplicate);
}

TEST(Escaping, TitleMarkupIsEscapedAndControlsBecomeBlanks) {
  EXPECT_EQ(EscapeTitle(u"a<b>&c"), u"a&lt;b&gt;&amp;c");
  EXPECT_EQ(EscapeTitle(std::u16string(u"x\r\ny\tz\0w\u007F\u0085", 10)), u"x  y z w  ");
  EXPECT_EQ(EscapeTitle(u"</root>"), u"&lt;/root&gt;");
  EXPECT_EQ(EscapeTitle(u"连连看"), u"连连看");
}

TEST(Escaping, UrlCannotEndItsSectionOrCarryTags) {
  EXPECT_EQ(EscapeUrl(u"http://a/?q=]]>x"), u"http://a/?q=]]]]><![CDATA[>x");
  EXPECT_EQ(EscapeUrl(u"]]]>"), u"]]]]]><![CDATA[>");
  EXPECT_EQ(EscapeUrl(u"]]>]]>"), u"]]]]><![CDATA[>]]]]><![CDATA[>");
  EXPECT_EQ(EscapeUrl(u"] ]>"), u"] ]>");
  EXPECT_EQ(EscapeUrl(u"http://a/</root><item>"), u"http://a/%3C/root>%3Citem>");
  EXPECT_EQ(EscapeUrl(u"http://a/\r\nb"), u"http://a/  b");
  EXPECT_EQ(EscapeUrl(u"http://a/?x=1&y=2"), u"http://a/?x=1&y=2");
}

// Decodes the CDATA sections of a stored address back into the text they hold.
std::u16string UnCdata(std::u16string_view stored) {
  return ReplaceAll(stored, u"]]><![CDATA[", u"");
}

TEST(Escaping, SplitSectionsStillHoldTheWholeAddress) {
  for (std::u16string url : {u"a]]>b", u"]]>", u"x]]]>>y", u"]]>]]>]>"}) {
    std::u16string stored = EscapeUrl(url);
    EXPECT_EQ(UnCdata(stored), url);
    // Every end marker left in the stored text is one of the inserted section boundaries.
    auto count = [&](std::u16string_view what) {
      std::size_t n = 0;
      for (std::size_t p = stored.find(what); p != std::u16string::npos; p = stored.find(what, p + 1)) ++n;
      return n;
    };
    EXPECT_EQ(count(u"]]>"), count(u"]]><![CDATA["));
  }
}

TEST_F(ListsTest, HostilePageTextCannotPlantRecordsOrBreakTheList) {
  fs.files[kFav] = kHeader + "</root>\r\n";
  const std::u16string title = u"Evil</txt></item>\r\n<item><txt>Planted</txt><url><![CDATA[x]]></url></item>\r\n</root>";
  const std::u16string url = u"http://e/]]></url></item>\r\n</root><item>";
  ASSERT_EQ(Write(title, url), WriteResult::Written);
  std::vector<std::u16string> lines = SplitLines(gbk.Decode(fs.files[kFav]));
  ASSERT_EQ(lines.size(), 4u);
  int items = 0, closings = 0;
  for (const auto& l : lines) {
    items += l.find(u"<item>") != std::u16string::npos;
    closings += l.find(u"</root>") != std::u16string::npos;
  }
  EXPECT_EQ(items, 1);
  EXPECT_EQ(closings, 1);
  EXPECT_EQ(lines[3], u"</root>");
  // The record still has exactly one title and one address element.
  EXPECT_EQ(lines[2].find(u"<txt>"), lines[2].rfind(u"<txt>"));
  EXPECT_EQ(lines[2].find(u"</url>"), lines[2].rfind(u"</url>"));
  // The next add still finds its place.
  EXPECT_EQ(Write(u"Good", u"http://g/"), WriteResult::Written);
  EXPECT_EQ(SplitLines(gbk.Decode(fs.files[kFav])).back(), u"</root>");
}

TEST_F(ListsTest, MissingUnreadableReadOnlyAndOverlongFilesAreNeverRewritten) {
  EXPECT_EQ(Write(u"A", u"u"), WriteResult::NotFound);
  EXPECT_TRUE(fs.files.empty()) << "a missing list must not be created";

  const std::string before = kHeader + "</root>\r\n";
  fs.files[kFav] = before;
  fs.unreadable.insert(kFav);
  EXPECT_EQ(Write(u"A", u"u"), WriteResult::Unreadable);
  fs.unreadable.clear();
  fs.readOnly.insert(kFav);
  EXPECT_EQ(Write(u"A", u"u"), WriteResult::ReadOnly);
  EXPECT_EQ(fs.files[kFav], before);
  fs.readOnly.clear();

  for (WriteResult r : {WriteResult::NotFound, WriteResult::Unreadable, WriteResult::ReadOnly,
                        WriteResult::TooLarge, WriteResult::WriteFailed}) {
    for (GameList list : {GameList::Favorites, GameList::Local}) {
      Message m = WriteMessage(list, r);
      EXPECT_EQ(m.icon, MessageIcon::Error);
      EXPECT_FALSE(m.text.empty());
      EXPECT_NE(m.text, WriteMessage(list, WriteResult::Written).text);
    }
  }
}

std::string ManyLines(std::size_t total) {
  std::string s = "<root>\r\n";
  for (std::size_t i = 2; i < total; ++i) s += Record("g" + std::to_string(i), "http://h/") + "\r\n";
  return s + "</root>\r\n";
}

TEST_F(ListsTest, TheLineBufferHoldsAtMost32767Lines) {
  // 32,766 lines grow to the limit; at the limit, or beyond it, the file stays as it is.
  fs.files[kFav] = ManyLines(kMaxListLines - 1);
  EXPECT_EQ(Write(u"New one", u"http://n/"), WriteResult::Written);
  EXPECT_EQ(SplitLines(gbk.Decode(fs.files[kFav])).size(), kMaxListLines);
  for (std::size_t total : {kMaxListLines, kMaxListLines + 1}) {
    const std::string before = ManyLines(total);
    fs.files[kFav] = before;
    fs.writes = 0;
    EXPECT_EQ(Write(u"Another", u"http://n/"), WriteResult::TooLarge) << total;
    EXPECT_EQ(fs.files[kFav], before);
    EXPECT_EQ(fs.writes, 0);
  }
  // A full list is still read whole: a title it holds is already listed, and a record can go.
  const std::string full = ManyLines(kMaxListLines);
  fs.files[kFav] = full;
  EXPECT_EQ(Write(u"g5", u"http://n/"), WriteResult::Duplicate);
  EXPECT_TRUE(fs.files[kFav] == full);  // (a printed difference of these sizes takes minutes)
  ASSERT_EQ(DelXMLnode(fs, gbk, kFolder, kFavoritesFile, 1), DeleteResult::Deleted);
  EXPECT_TRUE(fs.files[kFav] == "<root>\r\n" + full.substr(full.find("\r\n", 8) + 2));
  fs.files[kFav] = ManyLines(kMaxListLines + 1);
  EXPECT_EQ(DelXMLnode(fs, gbk, kFolder, kFavoritesFile, 1), DeleteResult::TooLarge);
}

TEST_F(ListsTest, AFailureAtAnyWriteStepLeavesTheOldFileByteForByte) {
  const std::string before = kHeader + Record(kLianLianKan, "http://a/") + "\r\n</root>\r\n";
  const std::string want = kHeader + Record(kLianLianKan, "http://a/") + "\r\n" + Record(kXiaoXiaoLe, "http://b/") +
                           "\r\n</root>\r\n";
  for (std::size_t cut = 0; cut < want.size(); ++cut) {
    fs.files[kFav] = before;
    fs.failAfterBytes = cut;
    ASSERT_EQ(Write(u"消消乐", u"http://b/"), WriteResult::WriteFailed) << cut;
    ASSERT_EQ(fs.files[kFav], before) << cut;
  }
  fs.failAfterBytes.reset();
  fs.failRename = true;
  EXPECT_EQ(Write(u"消消乐", u"http://b/"), WriteResult::WriteFailed);
  EXPECT_EQ(fs.files[kFav], before);
  fs.failRename = false;
  EXPECT_EQ(Write(u"消消乐", u"http://b/"), WriteResult::Written);
  EXPECT_EQ(fs.files[kFav], want);
}

// The rules of the line buffer, written the plain way: split into lines, walk them, join them.
WriteResult ReferenceInsert(std::u16string_view text, std::u16string_view title, std::u16string_view record,
                            std::u16string& out) {
  std::vector<std::u16string> lines = SplitLines(text);
  if (lines.size() > kMaxListLines) return WriteResult::TooLarge;
  const std::size_t last = lines.size();
  std::size_t closings = 0;
  const std::u16string element = u"<txt>" + std::u16string(title) + u"</txt>";
  auto blank = [](const std::u16string& t) { return t.find_first_not_of(u" \t") == std::u16string::npos; };
  for (std::size_t i = 0; i < last; ++i)
    if ((title.empty() && !lines[i].empty()) ||
        (lines[i].find(u"<item>") != std::u16string::npos && lines[i].find(element) != std::u16string::npos))
      return WriteResult::Duplicate;
  std::vector<std::u16string> kept;
  for (std::size_t i = 0; i < last; ++i) {
    const std::size_t at = lines[i].find(u"</root>");
    if (at == std::u16string::npos) {
      kept.push_back(lines[i]);
      continue;
    }
    const std::u16string before = lines[i].substr(0, at), after = lines[i].substr(at + 7);
    if (!blank(before)) kept.push_back(before);
    kept.emplace_back(record);
    if (!blank(after)) kept.push_back(after);
    ++closings;
  }
  kept.insert(kept.end(), closings, u"</root>");
  lines.swap(kept);
  if (closings == 0) return WriteResult::NoRootLine;
  if (lines.size() > kMaxListLines) return WriteResult::TooLarge;
  out = JoinLinesCrLf(lines);
  return WriteResult::Written;
}

bool ReferenceRemove(std::u16string_view text, std::int32_t index, std::u16string& out) {
  std::vector<std::u16string> lines = SplitLines(text);
  bool removed = false;
  std::int32_t seen = 0;
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    if (it->find(u"<item>") != std::u16string::npos && ++seen == index) {
      lines.erase(it);
      removed = true;
      break;
    }
  }
  out = JoinLinesCrLf(lines);
  return removed;
}

TEST(LineBuffer, InsertAndRemoveFollowTheLineRulesOnRandomTexts) {
  // Texts made of pieces that matter to the rules: both terminators, lone LF, tags split across
  // lines, repeated closing tags and records, and double-byte characters whose bytes contain the
  // title's bytes ("丄" is 0x81 0x41: its second byte is "A").
  const std::u16string pieces[] = {u"\r\n", u"\r", u"\n", u"<item>", u"</root>", u"<root>", u"</ro", u"ot>",
                                   u"<it", u"em>", u"Abc", u"A", u"连连看", u" ", u"x", u"丄", u"丄bc",
                                   u"<txt>", u"</txt>", u"<txt>Abc</txt>", u"<item><txt>A</txt>"};
  const std::u16string titles[] = {u"", u"Abc", u"A", u"连连看", u"root", u"zzz", u"A\rb", u"A\nb", u"丄"};
  test::IconvCodec gbk;
  ASSERT_EQ(gbk.Encode(u"丄"), "\x81\x41");
  const std::string record = gbk.Encode(u"<item>R</item>");
  std::mt19937 rng(7);
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  for (int run = 0; run < 20000; ++run) {
    std::u16string text;
    for (std::size_t k = pick(16); k > 0; --k) text += pieces[pick(std::size(pieces))];
    const std::string bytes = gbk.Encode(text);
    const std::u16string& title = titles[pick(std::size(titles))];
    std::string got;
    std::u16string want;
    WriteResult r = InsertRecord(bytes, gbk, title, record, got);
    ASSERT_EQ(r, ReferenceInsert(text, title, u"<item>R</item>", want)) << ToUtf8(text) << " / " << ToUtf8(title);
    if (r == WriteResult::Written) {
      ASSERT_EQ(got, gbk.Encode(want)) << ToUtf8(text);
    }

    const std::int32_t index = static_cast<std::int32_t>(pick(6)) - 1;
    got = bytes;
    RemoveResult removed = RemoveRecord(got, index);
    ASSERT_EQ(removed == RemoveResult::Removed, ReferenceRemove(text, index, want)) << ToUtf8(text) << " " << index;
    ASSERT_EQ(got, gbk.Encode(want)) << ToUtf8(text) << " " << index;
    // The same text with CR LF throughout takes the in-place path.
    got = gbk.Encode(JoinLinesCrLf(SplitLines(text)));
    removed = RemoveRecord(got, index);
    ASSERT_EQ(got, gbk.Encode(want)) << ToUtf8(text) << " " << index;
  }
}

TEST_F(ListsTest, LinesTheCodePageCannotReadAreKeptByteForByte) {
  // A stray byte that is no GBK character, and a lone lead byte before the line end.
  const std::string odd = "<!-- \x80\xFF odd \x81 -->\r\n";
  fs.files[kFav] = kHeader + odd + "</root>\r\n";
  ASSERT_EQ(Write(u"Abc", u"http://a/"), WriteResult::Written);
  EXPECT_EQ(fs.files[kFav], kHeader + odd + Record("Abc", "http://a/") + "\r\n</root>\r\n");
  fs.files[kFav] = kHeader + odd + Record("Abc", "http://a/") + "\r\n</root>\r\n";
  EXPECT_EQ(DelXMLnode(fs, gbk, kFolder, kFavoritesFile, 1), DeleteResult::Deleted);
  EXPECT_EQ(fs.files[kFav], kHeader + odd + "</root>\r\n");
}

TEST_F(ListsTest, AddToListGivesTheScriptAndTheMessagesOfEachButton) {
  struct Case {
    GameList list;
    std::u16string_view file;
    std::u16string script, added, already;
  };
  const Case cases[] = {
      {GameList::Favorites, kFavoritesFile, u"javascript:get_xml('gamefavorites.xml','gamefavorites');",
       u"游戏收藏成功!", u"游戏已经被收藏!"},
      {GameList::Local, kLocalFile, u"javascript:get_xml('gamelocal.xml','gamelocal');",
       u"此游戏已经下载到本地,下次在玩的时候,无需加载.", u"此游戏已经下载!"},
  };
  for (const auto& c : cases) {
    const std::u16string path = ListPath(kFolder, c.file);
    fs.files[path] = kHeader + "</root>\r\n";
    AddOutcome first = AddToList(fs, gbk, kFolder, c.list, u"连连看", u"http://g/");
    EXPECT_EQ(first.result, WriteResult::Written);
    EXPECT_EQ(first.leftScript, c.script);
    EXPECT_EQ(first.message.text, c.added);
    EXPECT_EQ(first.message.icon, MessageIcon::Information);
    EXPECT_NE(fs.files[path].find(kLianLianKan), std::string::npos);

    AddOutcome again = AddToList(fs, gbk, kFolder, c.list, u"连连看", u"http://g/");
    EXPECT_EQ(again.result, WriteResult::Duplicate);
    EXPECT_TRUE(again.leftScript.empty());
    EXPECT_EQ(again.message.text, c.already);
    EXPECT_EQ(again.message.icon, MessageIcon::Error);

    // A tab without a caption adds no blank game: the same refusal, the file as it was.
    const std::string before = fs.files[path];
    AddOutcome untitled = AddToList(fs, gbk, kFolder, c.list, u"", u"http://u/");
    EXPECT_EQ(untitled.result, WriteResult::Duplicate);
    EXPECT_TRUE(untitled.leftScript.empty());
    EXPECT_EQ(untitled.message.text, c.already);
    EXPECT_EQ(untitled.message.icon, MessageIcon::Error);
    EXPECT_EQ(fs.files[path], before);
  }
  // A failed write neither reloads the pane nor says it worked.
  fs.readOnly.insert(kFav);
  AddOutcome failed = AddToList(fs, gbk, kFolder, GameList::Favorites, u"Other", u"http://o/");
  EXPECT_EQ(failed.result, WriteResult::ReadOnly);
  EXPECT_TRUE(failed.leftScript.empty());
  EXPECT_EQ(failed.message.icon, MessageIcon::Error);
}

TEST_F(ListsTest, AShortenedTabCaptionIsStoredAsItIs) {
  fs.files[kFav] = kHeader + "</root>\r\n";
  EXPECT_EQ(Write(u"123456789012345...", u"http://l/"), WriteResult::Written);
  EXPECT_NE(fs.files[kFav].find("<txt>123456789012345...</txt>"), std::string::npos);
}

}  // namespace
}  // namespace tw::lists
