#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/core/text.h"
#include "shell/command_window/core/command_parser.h"
#include "shell/command_window/core/game_lists.h"
#include "support/codec_iconv.h"

namespace tw::command {
namespace {

using lists::DeleteResult;

const std::u16string kFolder = u"C:\\Tarnwick";
const std::u16string kFav = u"C:\\Tarnwick\\data\\leftview\\gamefavorites.xml";
const std::u16string kLocal = u"C:\\Tarnwick\\data\\leftview\\gamelocal.xml";

std::string Item(const std::string& title) {
  return "<item><txt>" + title + "</txt><url><![CDATA[http://127.0.0.1/" + title + ".htm]]></url></item>";
}

std::string ListOf(const std::vector<std::string>& titles) {
  std::string s = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<root>\r\n";
  for (const auto& t : titles) s += Item(t) + "\r\n";
  return s + "</root>\r\n";
}

struct ParseCase {
  const char16_t* text;
  Action action;
  std::int32_t index;
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, Grammar) {
  const ParseCase& c = GetParam();
  Command cmd = ParseCommand(c.text);
  EXPECT_EQ(cmd.action, c.action) << ToUtf8(c.text);
  if (c.action == Action::DeleteFavorite || c.action == Action::DeleteLocal) {
    EXPECT_EQ(cmd.index, c.index);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ParseTest,
    ::testing::Values(
        ParseCase{u"Text1", Action::Idle, 0},
        ParseCase{u"text1", Action::Ignore, 0},
        ParseCase{u"\"QORZENTRO://SUB4|0/\"", Action::DeleteFavorite, 1},
        ParseCase{u"qorzentro://sub4|3/", Action::DeleteFavorite, 4},
        ParseCase{u"qorzentro://sub3|2/", Action::DeleteLocal, 3},
        ParseCase{u"QorZentro://Sub3|12", Action::DeleteLocal, 13},
        ParseCase{u"sub3|2", Action::DeleteLocal, 3},
        ParseCase{u"\"sub4|0\"", Action::DeleteFavorite, 1},
        ParseCase{u"qorzentro:///s/u/b/4/|/1/", Action::DeleteFavorite, 2},
        ParseCase{u"sub4|-1", Action::DeleteFavorite, 0},
        ParseCase{u"sub4|-2147483648", Action::DeleteFavorite, -2147483647},
        ParseCase{u"sub4|2147483646", Action::DeleteFavorite, 2147483647},
        ParseCase{u"sub4| 5 ", Action::DeleteFavorite, 6},
        ParseCase{u"sub4|1|5", Action::Ignore, 0},          // the name is "sub4|1"
        ParseCase{u"sub4|2147483647", Action::Ignore, 0},   // no record number follows it
        ParseCase{u"sub4|2147483648", Action::Ignore, 0},
        ParseCase{u"sub4|", Action::Ignore, 0},
        ParseCase{u"sub4|x", Action::Ignore, 0},
        ParseCase{u"sub4|1.5", Action::Ignore, 0},
        ParseCase{u"sub4|1e2", Action::Ignore, 0},
        ParseCase{u"sub4|&h10", Action::Ignore, 0},
        ParseCase{u"sub4", Action::Ignore, 0},
        ParseCase{u"", Action::Ignore, 0},
        ParseCase{u"sub5|1", Action::Ignore, 0},
        ParseCase{u" sub4|1", Action::Ignore, 0},
        ParseCase{u"http://sub4|1", Action::Ignore, 0},    // "http:" stays part of the name
        ParseCase{u"qorzentro:sub4|1", Action::Ignore, 0},
        ParseCase{u"\"Text1\"", Action::Ignore, 0}));

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.files[kFav] = ListOf({"f0", "f1", "f2"});
    fs.files[kLocal] = ListOf({"l0", "l1", "l2"});
  }
  Outcome Handle(std::u16string_view text) { return HandleText(fs, gbk, kFolder, text); }
  test::IconvCodec gbk;
  test::MemoryFileSystem fs;
};

TEST_F(CommandTest, QuotedUpperCaseSub4ZeroDeletesTheFirstFavourite) {
  Outcome o = Handle(u"\"QORZENTRO://SUB4|0/\"");
  EXPECT_EQ(fs.files[kFav], ListOf({"f1", "f2"}));
  EXPECT_EQ(fs.files[kLocal], ListOf({"l0", "l1", "l2"}));
  EXPECT_EQ(o.deleted, DeleteResult::Deleted);
  EXPECT_EQ(o.turn, Turn::Sub4);
  EXPECT_TRUE(o.refreshLeft);
  EXPECT_TRUE(o.resetBox);
}

TEST_F(CommandTest, Sub3TwoDeletesTheThirdLocalGameAndHeaderLinesNeverCount) {
  Outcome o = Handle(u"qorzentro://sub3|2/");
  EXPECT_EQ(fs.files[kLocal], ListOf({"l0", "l1"}));
  EXPECT_EQ(fs.files[kFav], ListOf({"f0", "f1", "f2"}));
  EXPECT_EQ(o.turn, Turn::Sub3);
  EXPECT_TRUE(o.refreshLeft);
}

TEST_F(CommandTest, IdleTextDoesNothingAtAll) {
  Outcome o = Handle(u"Text1");
  EXPECT_FALSE(o.resetBox);
  EXPECT_FALSE(o.refreshLeft);
  EXPECT_EQ(o.turn, Turn::None);
  EXPECT_EQ(fs.writes, 0);
}

TEST_F(CommandTest, IgnoredCommandsOnlyResetTheBox) {
  for (const char16_t* text : {u"sub4|1|5", u"sub4", u"", u"sub4|abc", u"sub4|2147483647", u"sub9|0"}) {
    Outcome o = Handle(text);
    EXPECT_TRUE(o.resetBox) << ToUtf8(text);
    EXPECT_FALSE(o.refreshLeft) << ToUtf8(text);
    EXPECT_EQ(o.turn, Turn::None) << ToUtf8(text);
    EXPECT_FALSE(o.deleted.has_value()) << ToUtf8(text);
  }
  EXPECT_EQ(fs.writes, 0);
}

TEST_F(CommandTest, AnIndexOutsideTheRecordsOnlyNormalisesLineEnds) {
  for (const char16_t* text : {u"sub4|-1", u"sub4|3", u"sub4|2147483646", u"sub4|-2147483648"}) {
    fs.files[kFav] = "<root>\r" + Item("a") + "\r</root>";
    Outcome o = Handle(text);
    EXPECT_EQ(o.deleted, DeleteResult::NothingToDelete) << ToUtf8(text);
    EXPECT_EQ(fs.files[kFav], "<root>\r\n" + Item("a") + "\r\n</root>\r\n") << ToUtf8(text);
    EXPECT_TRUE(o.refreshLeft);
  }
}

TEST_F(CommandTest, OnlyTheRecordLineGoesAndALoneLfEndsALine) {
  fs.files[kFav] = "<root>\r\n<!-- <ITEM> not a record -->\r\n" + Item("a") + "\n" + Item("b") + "\r\n" + Item("c") +
                   "\r\n</root>\r\n";
  Handle(u"sub4|1");
  EXPECT_EQ(fs.files[kFav], "<root>\r\n<!-- <ITEM> not a record -->\r\n" + Item("a") + "\r\n" + Item("c") +
                                "\r\n</root>\r\n");
  // A file saved with LF line ends loses only the named record.
  fs.files[kFav] = "<root>\n" + Item("a") + "\n" + Item("b") + "\n</root>\n";
  Handle(u"sub4|0");
  EXPECT_EQ(fs.files[kFav], "<root>\r\n" + Item("b") + "\r\n</root>\r\n");
}

TEST_F(CommandTest, ChineseRecordsSurviveADeletionByteForByte) {
  const std::string lianlian = "\xC1\xAC\xC1\xAC\xBF\xB4", xiaoxiao = "\xCF\xFB\xCF\xFB\xC0\xD6";
  fs.files[kFav] = ListOf({lianlian, "x", xiaoxiao});
  Handle(u"sub4|1");
  EXPECT_EQ(fs.files[kFav], ListOf({lianlian, xiaoxiao}));
}

TEST_F(CommandTest, UnusableListFilesStaySilentAndUnchanged) {
  const std::string before = fs.files[kFav];
  fs.readOnly.insert(kFav);
  Outcome o = Handle(u"sub4|0");
  EXPECT_EQ(o.deleted, DeleteResult::ReadOnly);
  EXPECT_FALSE(o.refreshLeft);
  EXPECT_TRUE(o.resetBox);
  EXPECT_EQ(fs.files[kFav], before);
  fs.readOnly.clear();

  fs.unreadable.insert(kFav);
  EXPECT_EQ(Handle(u"sub4|0").deleted, DeleteResult::Unreadable);
  fs.unreadable.clear();

  fs.files.erase(kLocal);
  o = Handle(u"sub3|0");
  EXPECT_EQ(o.deleted, DeleteResult::NotFound);
  EXPECT_EQ(fs.files.count(kLocal), 0u) << "a missing list must not be created";

  std::string big = "<root>\r\n";
  for (int i = 0; i < 32767; ++i) big += Item("g") + "\r\n";
  fs.files[kFav] = big;
  fs.writes = 0;
  EXPECT_EQ(Handle(u"sub4|0").deleted, DeleteResult::TooLarge);
  EXPECT_EQ(fs.files[kFav], big);
  EXPECT_EQ(fs.writes, 0);
}

TEST_F(CommandTest, AFailureAtAnyWriteStepLeavesTheOldFileByteForByte) {
  const std::string before = fs.files[kFav];
  const std::size_t newSize = ListOf({"f1", "f2"}).size();
  for (std::size_t cut = 0; cut < newSize; ++cut) {
    fs.failAfterBytes = cut;
    ASSERT_EQ(Handle(u"sub4|0").deleted, DeleteResult::WriteFailed) << cut;
    ASSERT_EQ(fs.files[kFav], before) << cut;
  }
  fs.failAfterBytes.reset();
  fs.failRename = true;
  Outcome o = Handle(u"sub4|0");
  EXPECT_EQ(o.deleted, DeleteResult::WriteFailed);
  EXPECT_FALSE(o.refreshLeft);
  EXPECT_EQ(fs.files[kFav], before);
}

// Randomised commands: texts built from the grammar's pieces with noise that normalisation must
// remove (quotes, slashes, letter case), and texts of random characters. The expected effect of a
// built text is known from its pieces; for every text, at most one record line may disappear.
struct Generated {
  std::u16string text;
  Action action = Action::Ignore;
  std::int32_t n = 0;
};

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}

  Generated Next() { return Pick(4) == 0 ? Random() : Built(); }

 private:
  std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  std::u16string RandomCase(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
      if (c >= u'a' && c <= u'z' && Pick(2)) c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
  }

  // Scatters quotes and slashes, which normalisation removes.
  std::u16string Noise(std::u16string_view s) {
    std::u16string out;
    for (char16_t c : s) {
      if (Pick(8) == 0) out.push_back(Pick(2) ? u'"' : u'/');
      out.push_back(c);
    }
    return out;
  }

  Generated Built() {
    Generated g;
    static const char16_t* const kNames[] = {u"sub4", u"sub3", u"sub5", u"sub", u"sub4|1", u"", u"xsub4", u"sub 4"};
    std::size_t name = Pick(2) ? Pick(2) : Pick(std::size(kNames));  // the two known names half the time
    bool bar = Pick(10) != 0 || name == 4;  // "sub4|1" without a bar after it would be a valid command
    std::u16string number;
    std::optional<std::int64_t> value;
    std::size_t kind = Pick(10);
    switch (kind > 6 ? 0 : kind) {  // a small record number most often
      case 0: value = static_cast<std::int64_t>(Pick(6)); break;
      case 1: value = -static_cast<std::int64_t>(Pick(3)); break;
      case 2: value = 2147483647; break;
      case 3: value = 2147483646; break;
      case 4: value = -2147483648LL; break;
      case 5: number = Pick(2) ? u"2147483648" : u"99999999999"; break;
      default: number = Pick(2) ? u"x1" : u""; break;
    }
    if (value) number = FromUtf8(std::to_string(*value));
    std::u16string body = RandomCase(kNames[name]) + (bar ? u"|" : u"") + number;
    std::u16string text = Noise(body);
    if (Pick(4)) text = RandomCase(u"qorzentro://") + text + u"/";
    if (Pick(2)) text = u"\"" + text + u"\"";
    g.text = text;
    bool validNumber = value && *value != 2147483647;
    if (bar && validNumber && name == 0) g.action = Action::DeleteFavorite;
    if (bar && validNumber && name == 1) g.action = Action::DeleteLocal;
    if (g.action != Action::Ignore) g.n = static_cast<std::int32_t>(*value);
    return g;
  }

  Generated Random() {
    static const char16_t kAlphabet[] = u"sub34|0123456789-+ \"/:qorzentroQORZENTRO\r\n\t\u0000\u8FDE\u00E9Text1";
    Generated g;
    std::size_t len = Pick(24);
    for (std::size_t i = 0; i < len; ++i) g.text.push_back(kAlphabet[Pick(std::size(kAlphabet) - 1)]);
    g.action = Action::Idle;  // unknown: only the invariants are checked
    return g;
  }

  std::mt19937 rng_;
};

std::vector<std::string> ItemLines(const std::string& file) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < file.size()) {
    std::size_t end = file.find("\r\n", start);
    lines.push_back(file.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// True when `after` is `before` with exactly one line removed, and that line is a record.
bool OneRecordRemoved(const std::string& before, const std::string& after, std::string* removed) {
  auto b = ItemLines(before), a = ItemLines(after);
  if (a.size() + 1 != b.size()) return false;
  std::size_t i = 0;
  while (i < a.size() && a[i] == b[i]) ++i;
  for (std::size_t k = i; k < a.size(); ++k)
    if (a[k] != b[k + 1]) return false;
  *removed = b[i];
  return b[i].find("<item>") != std::string::npos;
}

TEST(CommandFuzz, HundredThousandCommandsNeverCrashAndChangeAtMostTheOneNamedRecord) {
  const std::vector<std::string> favTitles{"f0", "f1", "f2", "f3", "f4"};
  const std::vector<std::string> localTitles{"l0", "l1", "l2"};
  const std::string favBefore = ListOf(favTitles), localBefore = ListOf(localTitles);
  test::IconvCodec gbk;
  Generator gen(20261208u);
  int deletions = 0, built = 0;
  constexpr int kRuns = 100000;
  for (int run = 0; run < kRuns; ++run) {
    test::MemoryFileSystem fs;
    fs.files[kFav] = favBefore;
    fs.files[kLocal] = localBefore;
    Generated g = gen.Next();
    Outcome o = HandleText(fs, gbk, kFolder, g.text);

    const bool favChanged = fs.files[kFav] != favBefore, localChanged = fs.files[kLocal] != localBefore;
    ASSERT_FALSE(favChanged && localChanged) << ToUtf8(g.text);
    ASSERT_EQ(fs.files.size(), 2u);
    std::string removed;
    if (favChanged) {
      ASSERT_TRUE(OneRecordRemoved(favBefore, fs.files[kFav], &removed)) << ToUtf8(g.text);
    }
    if (localChanged) {
      ASSERT_TRUE(OneRecordRemoved(localBefore, fs.files[kLocal], &removed)) << ToUtf8(g.text);
    }
    ASSERT_EQ(o.resetBox, g.text != u"Text1") << ToUtf8(g.text);
    ASSERT_EQ(o.refreshLeft, o.turn != Turn::None);
    deletions += favChanged || localChanged;

    if (g.action == Action::Idle) continue;  // a random text: invariants only
    ++built;
    if (g.action == Action::Ignore) {
      ASSERT_FALSE(favChanged || localChanged) << ToUtf8(g.text);
      ASSERT_FALSE(o.refreshLeft) << ToUtf8(g.text);
      continue;
    }
    const auto& titles = g.action == Action::DeleteFavorite ? favTitles : localTitles;
    ASSERT_EQ(o.turn, g.action == Action::DeleteFavorite ? Turn::Sub4 : Turn::Sub3) << ToUtf8(g.text);
    const bool exists = g.n >= 0 && g.n < static_cast<std::int32_t>(titles.size());
    ASSERT_EQ(favChanged || localChanged, exists) << ToUtf8(g.text);
    if (exists) {
      ASSERT_EQ(g.action == Action::DeleteFavorite, favChanged);
      ASSERT_EQ(removed, Item(titles[static_cast<std::size_t>(g.n)])) << ToUtf8(g.text);
    }
  }
  // The generator must actually reach the interesting cases.
  EXPECT_GT(built, kRuns / 2);
  EXPECT_GT(deletions, kRuns / 20);
}

}  // namespace
}  // namespace tw::command
