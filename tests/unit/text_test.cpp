#include <gtest/gtest.h>

#include "common/core/line_file.h"
#include "common/core/text.h"
#include "common/core/twips.h"
#include "support/codec_iconv.h"

namespace tw {
namespace {

TEST(SplitLines, CrLfLoneCrAndLoneLfEndLines) {
  auto lines = SplitLines(u"a\r\nb\rc\nd\r\n\r\ne\n\rf");
  std::vector<std::u16string> want{u"a", u"b", u"c", u"d", u"", u"e", u"", u"f"};
  EXPECT_EQ(lines, want);
  EXPECT_TRUE(SplitLines(u"").empty());
  EXPECT_EQ(SplitLines(u"x\r\n"), std::vector<std::u16string>{u"x"});
  EXPECT_EQ(SplitLines(u"\r\r"), (std::vector<std::u16string>{u"", u""}));
}

TEST(SplitLines, JoinWritesCrLfAfterEveryLine) {
  EXPECT_EQ(JoinLinesCrLf({u"a", u"", u"b"}), u"a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLinesCrLf({}), u"");
  EXPECT_EQ(SplitLines(JoinLinesCrLf({u"x", u"y"})), (std::vector<std::u16string>{u"x", u"y"}));
}

TEST(ParseInt32, AcceptsWholeNumbersInRangeOnly) {
  EXPECT_EQ(ParseInt32(u"0"), 0);
  EXPECT_EQ(ParseInt32(u"-12"), -12);
  EXPECT_EQ(ParseInt32(u"2147483647"), 2147483647);
  EXPECT_EQ(ParseInt32(u"-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32(u"2147483648"), std::nullopt);
  EXPECT_EQ(ParseInt32(u"99999999999999999999"), std::nullopt);
  EXPECT_EQ(ParseInt32(u""), std::nullopt);
  EXPECT_EQ(ParseInt32(u"-"), std::nullopt);
  EXPECT_EQ(ParseInt32(u"1a"), std::nullopt);
  EXPECT_EQ(ParseInt32(u" 1"), std::nullopt);
}

TEST(Text, LowerReplaceAndUtf8) {
  EXPECT_EQ(AsciiLower(u"QORZENTRO://SUB4|0/Ä"), u"qorzentro://sub4|0/Ä");
  EXPECT_EQ(ReplaceAll(u"a//b/", u"/", u""), u"ab");
  EXPECT_EQ(ReplaceAll(u"aaa", u"aa", u"b"), u"ba");
  std::string zh = "游戏收藏成功!";
  EXPECT_EQ(ToUtf8(FromUtf8(zh)), zh);
  EXPECT_EQ(FromUtf8("\xF0\x9F\x8E\xAE").size(), 2u);  // a surrogate pair
}

TEST(Twips, FifteenTwipsPerPixelAtStandardDpi) {
  EXPECT_EQ(TwipsToPixels(2535, 96), 169);
  EXPECT_EQ(TwipsToPixels(15, 96), 1);
  EXPECT_EQ(TwipsToPixels(-30, 96), -2);
  EXPECT_EQ(TwipsToPixels(1440, 144), 144);
  // Twips that are no whole number of pixels go to the nearest one, either way and either sign.
  EXPECT_EQ(TwipsToPixels(1000, 96), 67);   // 66.67
  EXPECT_EQ(TwipsToPixels(-1000, 96), -67);
  EXPECT_EQ(TwipsToPixels(7, 96), 0);       // 0.47
  EXPECT_EQ(TwipsToPixels(8, 96), 1);       // 0.53
  EXPECT_EQ(TwipsToPixels(1000, 144), 100);
  EXPECT_EQ(PixelsToTwips(169, 96), 2535);
}

TEST(LineFile, ChineseTextRoundTripsThroughCodePage936ByteForByte) {
  test::IconvCodec gbk;
  test::MemoryFileSystem fs;
  // "<txt>连连看</txt>" in GBK, lines ending CR LF.
  std::string bytes = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<txt>\xC1\xAC\xC1\xAC\xBF\xB4</txt>\r\n";
  fs.files[u"f"] = bytes;
  LineFile lf = ReadLineFile(fs, gbk, u"f");
  ASSERT_EQ(lf.status, FileStatus::Ok);
  ASSERT_EQ(lf.lines.size(), 2u);
  EXPECT_EQ(lf.lines[1], FromUtf8("<txt>连连看</txt>"));
  ASSERT_EQ(WriteLineFile(fs, gbk, u"f", lf.lines), FileStatus::Ok);
  EXPECT_EQ(fs.files[u"f"], bytes);
}

TEST(LineFile, ReadFailuresAreReported) {
  test::IconvCodec gbk;
  test::MemoryFileSystem fs;
  EXPECT_EQ(ReadLineFile(fs, gbk, u"missing").status, FileStatus::NotFound);
  fs.files[u"big"] = std::string(100, 'x');
  EXPECT_EQ(ReadLineFile(fs, gbk, u"big", 99).status, FileStatus::TooLarge);
}

}  // namespace
}  // namespace tw
