#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "common/core/text.h"
#include "support/codec_iconv.h"
#include "updater/core/updater_flow.h"
#include "updater/core/version_files.h"

namespace tw::update {
namespace {

struct NumberCase {
  const char16_t* text;
  std::optional<double> value;
};
class ParseNumberTest : public ::testing::TestWithParam<NumberCase> {};
TEST_P(ParseNumberTest, ReadsDecimalNumbersOnly) {
  auto v = ParseVersionNumber(GetParam().text);
  ASSERT_EQ(v.has_value(), GetParam().value.has_value()) << ToUtf8(GetParam().text);
  if (v) {
    EXPECT_DOUBLE_EQ(*v, *GetParam().value);
  }
}
INSTANTIATE_TEST_SUITE_P(
    Table, ParseNumberTest,
    ::testing::Values(NumberCase{u"106", 106}, NumberCase{u"1.10", 1.1}, NumberCase{u" 105 ", 105},
                      NumberCase{u"\t2\t", 2}, NumberCase{u"-3.5", -3.5}, NumberCase{u"+7", 7},
                      NumberCase{u".5", 0.5}, NumberCase{u"5.", 5}, NumberCase{u"", std::nullopt},
                      NumberCase{u"   ", std::nullopt}, NumberCase{u".", std::nullopt},
                      NumberCase{u"-", std::nullopt}, NumberCase{u"1.2.3", std::nullopt},
                      NumberCase{u"v106", std::nullopt}, NumberCase{u"106a", std::nullopt},
                      NumberCase{u"1 06", std::nullopt}, NumberCase{u"1e3", std::nullopt},
                      NumberCase{u"<html>", std::nullopt}, NumberCase{u"\uFF11\uFF10\uFF16", std::nullopt}));

TEST(ParseNumberTest, UsesTheLocaleDecimalSeparator) {
  EXPECT_DOUBLE_EQ(*ParseVersionNumber(u"1,10", u','), 1.1);
  EXPECT_FALSE(ParseVersionNumber(u"1.10", u',').has_value());
}

struct RoundCase {
  double value;
  std::optional<std::int32_t> rounded;
};
class RoundTest : public ::testing::TestWithParam<RoundCase> {};
TEST_P(RoundTest, HalvesGoToTheEvenNeighbour) { EXPECT_EQ(RoundHalfEven32(GetParam().value), GetParam().rounded); }
INSTANTIATE_TEST_SUITE_P(Table, RoundTest,
                         ::testing::Values(RoundCase{105, 105}, RoundCase{104.5, 104}, RoundCase{105.5, 106},
                                           RoundCase{105.49, 105}, RoundCase{105.51, 106}, RoundCase{-2.5, -2},
                                           RoundCase{-3.5, -4}, RoundCase{0.5, 0}, RoundCase{2147483647.0, 2147483647},
                                           RoundCase{2147483647.6, std::nullopt},
                                           RoundCase{-2147483648.0, -2147483647 - 1},
                                           RoundCase{1e12, std::nullopt}));

// Some moment well after the system clock's epoch.
const std::chrono::system_clock::time_point kNow{std::chrono::hours(24 * 365 * 56)};

LineFile Lines(std::vector<std::u16string> lines) { return LineFile{FileStatus::Ok, std::move(lines)}; }
LineFile Missing() { return LineFile{FileStatus::NotFound, {}}; }

struct ShellCase {
  const char* name;
  LineFile installed;
  LineFile published;
  CheckOutcome outcome;
};
class ShellCompareTest : public ::testing::TestWithParam<ShellCase> {};
TEST_P(ShellCompareTest, ComparesNumbersNotText) {
  EXPECT_EQ(CompareForShell(GetParam().installed, GetParam().published), GetParam().outcome) << GetParam().name;
}
INSTANTIATE_TEST_SUITE_P(
    Table, ShellCompareTest,
    ::testing::Values(ShellCase{"1.10 then 1.2", Lines({u"1.10"}), Lines({u"1.2"}), CheckOutcome::Update},
                      ShellCase{"1.10 equals 1.1", Lines({u"1.10"}), Lines({u"1.1"}), CheckOutcome::NoUpdate},
                      ShellCase{"2 over 1.9", Lines({u"2"}), Lines({u"1.9"}), CheckOutcome::NoUpdate},
                      ShellCase{"last line counts", Lines({u"100", u"105"}), Lines({u"200", u"104"}),
                                CheckOutcome::NoUpdate},
                      ShellCase{"last line newer", Lines({u"100", u"105"}), Lines({u"1", u"106"}),
                                CheckOutcome::Update},
                      ShellCase{"empty published", Lines({u"105"}), Lines({}), CheckOutcome::NoUpdate},
                      ShellCase{"both empty", Lines({}), Lines({}), CheckOutcome::NoUpdate},
                      ShellCase{"empty installed", Lines({}), Lines({u"0.5"}), CheckOutcome::Update},
                      ShellCase{"empty installed, zero", Lines({}), Lines({u"0"}), CheckOutcome::NoUpdate},
                      ShellCase{"published not a number", Lines({u"105"}), Lines({u"<html>404</html>"}),
                                CheckOutcome::CouldNotCheck},
                      ShellCase{"installed not a number", Lines({u"abc"}), Lines({u"106"}),
                                CheckOutcome::CouldNotCheck},
                      ShellCase{"blank last line", Lines({u"105", u""}), Lines({u"106"}), CheckOutcome::CouldNotCheck},
                      ShellCase{"no installed file", Missing(), Lines({u"106"}), CheckOutcome::CouldNotCheck},
                      ShellCase{"no published file", Lines({u"105"}), Missing(), CheckOutcome::CouldNotCheck}),
    [](const auto& info) {
      std::string n;
      for (char c : std::string(info.param.name)) n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return n;
    });

TEST(ShellUpdateCheckTest, ReadsBothFilesUnderTheInstallationFolder) {
  test::MemoryFileSystem fs;
  test::IconvCodec codec;
  fs.files[u"C:\\T\\data\\system\\verinfo.dat"] = "100\r\n105\r\n";
  fs.files[u"C:\\T\\data\\updata.tmp"] = "105\r106";
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 8, kNow), CheckOutcome::Update);
  fs.files[u"C:\\T\\data\\updata.tmp"] = "105\r\n";
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 5, kNow), CheckOutcome::NoUpdate);
  fs.files[u"C:\\T\\data\\system\\verinfo.dat"] = "100\n105\n";
  fs.files[u"C:\\T\\data\\updata.tmp"] = "106\n";
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 4, kNow), CheckOutcome::Update);
  fs.files.erase(u"C:\\T\\data\\updata.tmp");
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 4, kNow), CheckOutcome::CouldNotCheck);
}

TEST(ShellUpdateCheckTest, AnEarlierCopyOrAVersionTheUpdaterFailedOnLessThanADayAgoCloseNothing) {
  using std::chrono::hours;
  using std::chrono::seconds;
  test::MemoryFileSystem fs;
  test::IconvCodec codec;
  const std::u16string note = u"C:\\T\\data\\updfail.dat";
  fs.files[u"C:\\T\\data\\system\\verinfo.dat"] = "105\r\n";
  fs.files[u"C:\\T\\data\\updata.tmp"] = "106\r\n";
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 0, kNow), CheckOutcome::NotFetched);
  fs.files[note] = "106.0\r\n";
  fs.writeTimes[note] = kNow - hours(24) + seconds(1);
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 5, kNow), CheckOutcome::FailedBefore);
  // A day after it was written the note no longer counts: the version is announced again.
  fs.writeTimes[note] = kNow - hours(24);
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 5, kNow), CheckOutcome::Update);
  // A clock put back holds it no longer than a day either.
  fs.writeTimes[note] = kNow + hours(24) - seconds(1);
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 5, kNow), CheckOutcome::FailedBefore);
  fs.writeTimes[note] = kNow + hours(24);
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 5, kNow), CheckOutcome::Update);
  fs.writeTimes.erase(note);  // a time that cannot be read
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 5, kNow), CheckOutcome::Update);
  fs.writeTimes[note] = kNow;
  fs.files[u"C:\\T\\data\\updata.tmp"] = "107\r\n";
  EXPECT_EQ(ShellUpdateCheck(fs, codec, u"C:\\T", 5, kNow), CheckOutcome::Update);
}

const std::string kSigHex = "00" + std::string(124, 'a') + "Ff";
const std::string kSigLine = "signature ecdsa-p256-sha256 " + kSigHex;

struct SignatureCase {
  std::string text;
  bool found;
};
class SignatureTest : public ::testing::TestWithParam<SignatureCase> {};
TEST_P(SignatureTest, OnlyAWellFormedTaggedLineBeforeTheVersionCounts) {
  test::MemoryFileSystem fs;
  test::IconvCodec codec;
  fs.files[u"C:\\i"] = GetParam().text;
  auto signature = FindPackageSignature(ReadLineFile(fs, codec, u"C:\\i"));
  ASSERT_EQ(signature.has_value(), GetParam().found) << GetParam().text;
  if (!signature) return;
  EXPECT_EQ((*signature)[0], 0x00);
  EXPECT_EQ((*signature)[1], 0xAA);
  EXPECT_EQ((*signature)[63], 0xFF);
}
INSTANTIATE_TEST_SUITE_P(
    Table, SignatureTest,
    ::testing::Values(SignatureCase{"106\r\n", false}, SignatureCase{(kSigLine + "\r\n106\r\n"), true},
                      SignatureCase{("105\r\n" + kSigLine + " \r\n106"), true},
                      SignatureCase{(kSigLine + "\r\n"), false},  // the version line is not a signature
                      SignatureCase{(kSigLine + "0\r\n106\r\n"), false},
                      SignatureCase{(kSigLine.substr(0, kSigLine.size() - 1) + "g\r\n106\r\n"), false},
                      SignatureCase{("signature ecdsa-p384-sha384 " + kSigHex + "\r\n106\r\n"), false},
                      SignatureCase{(kSigLine + "\r\nsignature ecdsa-p256-sha256 zz\r\n106\r\n"), false}));

struct PercentCase {
  float fraction;
  const char16_t* text;
};
class FormatPercentTest : public ::testing::TestWithParam<PercentCase> {};
TEST_P(FormatPercentTest, OneDecimalRounded) { EXPECT_EQ(FormatPercent(GetParam().fraction), GetParam().text); }
INSTANTIATE_TEST_SUITE_P(Table, FormatPercentTest,
                         ::testing::Values(PercentCase{0.4251f, u"42.5"}, PercentCase{0.0f, u"0.0"},
                                           PercentCase{1.0f, u"100.0"}, PercentCase{0.00049f, u"0.0"},
                                           PercentCase{0.00051f, u"0.1"}, PercentCase{0.125f, u"12.5"},
                                           PercentCase{0.99999f, u"100.0"}, PercentCase{0.0625f, u"6.3"}));

class FakeView : public UpdaterView {
 public:
  void SetStatus(const std::u16string& t) override { Log("status " + ToUtf8(t)); status = t; }
  void EnableCloseButton(bool e) override { Log(e ? "cmd1 on" : "cmd1 off"); }
  void EnableTimer(bool e) override { Log(e ? "timer on" : "timer off"); }
  void ShowError(const std::u16string& t) override { Log("error " + ToUtf8(t)); }
  bool StartDownload(Download w, const std::u16string& url, const std::u16string& folder,
                     const std::u16string& name) override {
    if (!controls) return false;
    Log(std::string(w == Download::Info ? "info " : "package ") + ToUtf8(url) + " " + ToUtf8(folder) + ToUtf8(name));
    if (onStart) onStart(w);
    return true;
  }
  void CancelDownload(Download w) override { Log(w == Download::Info ? "cancel info" : "cancel package"); }
  bool VerifyPackage(const std::u16string&, const PackageSignature& s) override { return s == signs; }
  void RemoveFile(const std::u16string& p) override { Log("remove " + ToUtf8(p)); }
  bool OpenFile(const std::u16string& p) override {
    Log("open " + ToUtf8(p));
    return opens;
  }
  void WatchStall(bool on) override { stallWatch = on; }
  void Close() override { Log("close"); }

  void Log(std::string s) { log.push_back(std::move(s)); }
  std::vector<std::string> log;
  std::u16string status;
  std::function<void(Download)> onStart;
  bool controls = true, opens = true, stallWatch = false;
  PackageSignature signs = *ParsePackageSignature(u"signature ecdsa-p256-sha256 00" + std::u16string(124, u'a') + u"Ff");
};

using Log = std::vector<std::string>;

class UpdaterFlowTest : public ::testing::Test {
 protected:
  UpdaterFlowTest() : flow(view, fs, codec, u"C:\\T", u"http://127.0.0.1:9") {}
  void Installed(std::string text) { fs.files[u"C:\\T\\data\\system\\verinfo.dat"] = std::move(text); }
  void Published(std::string text) { fs.files[u"C:\\T\\data\\updata.tmp"] = std::move(text); }

  FakeView view;
  test::MemoryFileSystem fs;
  test::IconvCodec codec;
  UpdaterFlow flow;
};

const std::string kChecking = "status 正在检查最新版版,请稍后.....";
const std::string kInfo = "info http://127.0.0.1:9/updatainfo.txt C:\\T\\data\\updata.tmp";
const std::string kPackage = "package http://127.0.0.1:9/ZentroVrindle.msi C:\\T\\data\\Zentronew.msi";

TEST_F(UpdaterFlowTest, NewerVersionDownloadsAndOpensThePackage) {
  Installed("100\r\n105\r\n");
  flow.Load();
  EXPECT_EQ(flow.LocalVersion(), 105);
  Published("99\r\n" + kSigLine + "\r\n106\r\n");
  flow.InfoComplete(10);
  EXPECT_TRUE(flow.Busy());
  EXPECT_FALSE(flow.CanClose());
  flow.TimerTick();
  EXPECT_TRUE(view.stallWatch);
  flow.PackageProgress(0.4251f);
  flow.PackageProgress(1.0f);
  EXPECT_FALSE(flow.CanClose());
  flow.PackageComplete(4096);
  EXPECT_TRUE(flow.CanClose());
  EXPECT_EQ(view.log, (Log{kChecking, kInfo, "status 已找到最新版本,正在升级,已完成:0%", "cmd1 off", "timer on",
                           "timer off", "cancel info", kPackage, "status 已找到最新版本,正在升级,已完成:42.5%",
                           "status 已找到最新版本,正在升级,已完成:100.0%", "open C:\\T\\data\\Zentronew.msi", "close"}));
  EXPECT_EQ(flow.state(), UpdaterFlow::State::Done);
  EXPECT_FALSE(view.stallWatch);
  // The installer may yet be cancelled or fail: the shell is not to close for 106 again.
  EXPECT_EQ(fs.files[u"C:\\T\\data\\updfail.dat"], "106\r\n");
}

TEST_F(UpdaterFlowTest, UpdateInformationWithLfLineEndsStartsTheUpdate) {
  Installed("105\n");
  Published("106\n");
  flow.Load();
  flow.InfoComplete(4);
  EXPECT_EQ(flow.state(), UpdaterFlow::State::Waiting);
}

TEST_F(UpdaterFlowTest, SameVersionIsUpToDate) {
  Installed("105\r\n");
  Published("105\r\n");
  flow.Load();
  flow.InfoComplete(5);
  flow.TimerTick();
  EXPECT_EQ(view.log, (Log{kChecking, kInfo, "status 当前已经是最新版本! ^_^"}));
  EXPECT_TRUE(flow.CanClose());
}

TEST_F(UpdaterFlowTest, InstalledVersionIsRoundedHalfToEven) {
  Installed("104.5\r\n");
  Published("104.6");
  flow.Load();
  EXPECT_EQ(flow.LocalVersion(), 104);
  flow.InfoComplete(5);
  EXPECT_EQ(flow.state(), UpdaterFlow::State::Waiting);  // 104.6 > 104: the published number is not rounded

  // Where the rounding makes it up to date while the shell, comparing 104.6 as it stands, saw an
  // update, the shell is told not to close for that version again for a day.
  test::MemoryFileSystem files;
  files.now = kNow;  // the updater writes its note now
  files.files[u"C:\\T\\data\\system\\verinfo.dat"] = "104.6\r\n";
  files.files[u"C:\\T\\data\\updata.tmp"] = "105\r\n";
  EXPECT_EQ(ShellUpdateCheck(files, codec, u"C:\\T", 5, kNow), CheckOutcome::Update);
  UpdaterFlow again(view, files, codec, u"C:\\T", u"http://127.0.0.1:9");
  again.Load();
  again.InfoComplete(5);
  EXPECT_EQ(again.state(), UpdaterFlow::State::UpToDate);
  EXPECT_EQ(ShellUpdateCheck(files, codec, u"C:\\T", 5, kNow), CheckOutcome::FailedBefore);
}

TEST_F(UpdaterFlowTest, FailedInfoDownloadWithNoEarlierCopyShowsTheFailure) {
  Installed("105\r\n");
  flow.Load();
  flow.InfoComplete(0);
  EXPECT_EQ(view.log, (Log{kChecking, kInfo, "error 更新失败!请检查网络连接重新更新!"}));
  EXPECT_EQ(view.status, u"正在检查最新版版,请稍后.....");
  EXPECT_TRUE(flow.CanClose());
}

TEST_F(UpdaterFlowTest, FailedInfoDownloadUsesAnEarlierCopy) {
  Installed("105\r\n");
  Published("106\r\n");
  flow.Load();
  flow.InfoComplete(0);
  EXPECT_EQ(flow.state(), UpdaterFlow::State::Waiting);
}

TEST_F(UpdaterFlowTest, EmptyUpdateInfoMeansNoUpdate) {
  Installed("105\r\n");
  Published("");
  flow.Load();
  flow.InfoComplete(0);
  EXPECT_EQ(view.log.back(), "status 当前已经是最新版本! ^_^");
}

TEST_F(UpdaterFlowTest, EmptyInstalledFileCountsAsZero) {
  Installed("");
  Published("1");
  flow.Load();
  EXPECT_EQ(flow.LocalVersion(), 0);
  flow.InfoComplete(1);
  EXPECT_EQ(flow.state(), UpdaterFlow::State::Waiting);
}

TEST_F(UpdaterFlowTest, MissingInstalledFileCountsAsZero) {
  Published("1");
  flow.Load();
  EXPECT_EQ(flow.LocalVersion(), 0);
  flow.InfoComplete(1);
  EXPECT_EQ(flow.state(), UpdaterFlow::State::Waiting);
}

TEST_F(UpdaterFlowTest, MissingDownloadControlIsReported) {
  Installed("105\r\n");
  view.controls = false;
  flow.Load();
  EXPECT_EQ(view.log, (Log{kChecking, "status 无法创建下载控件!", "error 无法创建下载控件!"}));
  EXPECT_TRUE(flow.CanClose());
}

struct BadCase {
  const char* name;
  std::optional<std::string> installed;
  std::string published;
  bool downloadsInfo;
};
class UpdaterCannotCheckTest : public UpdaterFlowTest, public ::testing::WithParamInterface<BadCase> {};
TEST_P(UpdaterCannotCheckTest, SaysItCouldNotCheckAndNeverUpdates) {
  if (GetParam().installed) Installed(*GetParam().installed);
  Published(GetParam().published);
  flow.Load();
  flow.InfoComplete(3);
  flow.TimerTick();
  EXPECT_EQ(view.log.back(), "status 无法检查最新版本!");
  EXPECT_EQ(std::count(view.log.begin(), view.log.end(), kInfo), GetParam().downloadsInfo ? 1 : 0);
  EXPECT_EQ(std::count(view.log.begin(), view.log.end(), kPackage), 0);
  EXPECT_EQ(flow.state(), UpdaterFlow::State::CouldNotCheck);
  EXPECT_TRUE(flow.CanClose());
}
INSTANTIATE_TEST_SUITE_P(Table, UpdaterCannotCheckTest,
                         ::testing::Values(BadCase{"InstalledNotANumber", "version five\r\n", "106", false},
                                           BadCase{"InstalledTooLarge", "9999999999\r\n", "106", false},
                                           BadCase{"PublishedNotANumber", "105\r\n", "<html>not found</html>", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdaterFlowTest, FailedPackageDownloadIsReportedAndNothingIsOpened) {
  Installed("105\r\n");
  Published("106\r\n");
  fs.files[u"C:\\T\\data\\Zentronew.msi"] = "an old package";
  flow.Load();
  flow.InfoComplete(5);
  flow.TimerTick();
  view.log.clear();
  flow.PackageComplete(0);
  EXPECT_EQ(view.log, (Log{"status 升级包下载失败!", "cmd1 on", "error 更新失败!请检查网络连接重新更新!"}));
  EXPECT_TRUE(flow.CanClose());
  EXPECT_FALSE(flow.Busy());
  EXPECT_FALSE(view.stallWatch);
  EXPECT_EQ(fs.files[u"C:\\T\\data\\updfail.dat"], "106\r\n");
}

TEST_F(UpdaterFlowTest, StalledPackageDownloadFailsLikeATransferError) {
  Installed("105\r\n");
  Published("106\r\n");
  flow.Load();
  flow.InfoComplete(5);
  flow.TimerTick();
  flow.PackageProgress(0.5f);
  view.log.clear();
  flow.PackageStalled();
  flow.PackageComplete(0);
  flow.PackageStalled();
  EXPECT_EQ(view.log, (Log{"cancel package", "status 升级包下载失败!", "cmd1 on", "error 更新失败!请检查网络连接重新更新!"}));
  EXPECT_TRUE(flow.CanClose());
  EXPECT_EQ(fs.files[u"C:\\T\\data\\updfail.dat"], "106\r\n");
}

struct RefusedCase {
  const char* name;
  std::string info;
  bool signs;
};
class RefusedPackageTest : public UpdaterFlowTest, public ::testing::WithParamInterface<RefusedCase> {};
TEST_P(RefusedPackageTest, IsRemovedReportedAndNeverOpened) {
  Installed("105\r\n");
  Published(GetParam().info);
  if (!GetParam().signs) view.signs[5] ^= 1;
  flow.Load();
  flow.InfoComplete(5);
  flow.TimerTick();
  view.log.clear();
  flow.PackageComplete(4096);
  EXPECT_EQ(view.log, (Log{"remove C:\\T\\data\\Zentronew.msi", "status 升级包校验失败!", "cmd1 on",
                           "error 升级包校验失败,已删除!请重新更新!"}));
  EXPECT_TRUE(flow.CanClose());
  EXPECT_EQ(fs.files[u"C:\\T\\data\\updfail.dat"], "106\r\n");
}
INSTANTIATE_TEST_SUITE_P(Table, RefusedPackageTest,
                         ::testing::Values(RefusedCase{"NoSignature", "106\r\n", true},
                                           RefusedCase{"Malformed", kSigLine + "00\r\n106\r\n", true},
                                           RefusedCase{"DoesNotVerify", kSigLine + "\r\n106\r\n", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdaterFlowTest, PackageThatCannotBeOpenedIsReported) {
  Installed("105\r\n");
  Published(kSigLine + "\r\n106\r\n");
  view.opens = false;
  flow.Load();
  flow.InfoComplete(5);
  flow.TimerTick();
  view.log.clear();
  flow.PackageComplete(4096);
  EXPECT_EQ(view.log, (Log{"open C:\\T\\data\\Zentronew.msi", "status 无法打开升级包!", "cmd1 on", "error 无法打开升级包!"}));
  EXPECT_EQ(fs.files[u"C:\\T\\data\\updfail.dat"], "106\r\n");
}

TEST_F(UpdaterFlowTest, PackageThatFailsToStartIsReportedOnce) {
  Installed("105\r\n");
  Published("106\r\n");
  flow.Load();
  flow.InfoComplete(5);
  view.onStart = [&](Download w) {
    if (w == Download::Package) flow.PackageComplete(0);  // the control reports inside BeginDownload
  };
  flow.TimerTick();
  EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "error 更新失败!请检查网络连接重新更新!"), 1);
  EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "timer on"), 1);
  EXPECT_EQ(view.log.back(), "error 更新失败!请检查网络连接重新更新!");
  EXPECT_TRUE(flow.CanClose());
}

TEST_F(UpdaterFlowTest, InfoFailingInsideItsStartIsHandled) {
  Installed("105\r\n");
  view.onStart = [&](Download w) {
    if (w == Download::Info) flow.InfoComplete(0);
  };
  flow.Load();
  EXPECT_EQ(view.log.back(), "error 更新失败!请检查网络连接重新更新!");
}

TEST_F(UpdaterFlowTest, EventsOutOfTurnAreIgnored) {
  Installed("105\r\n");
  Published("106\r\n");
  flow.PackageProgress(0.5f);
  flow.PackageComplete(100);
  flow.TimerTick();
  flow.InfoComplete(3);
  EXPECT_TRUE(view.log.empty());
  flow.Load();
  flow.InfoComplete(3);
  flow.InfoComplete(3);
  flow.PackageComplete(100);  // before the timer: not the package's completion
  EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "timer on"), 1);
  EXPECT_EQ(std::count(view.log.begin(), view.log.end(), std::string("open C:\\T\\data\\Zentronew.msi")), 0);
}

}  // namespace
}  // namespace tw::update
