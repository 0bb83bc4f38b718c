#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "common/core/text.h"
#include "library/download_control/core/dfiles.h"
#include "support/codec_iconv.h"

namespace tw::download {
namespace {

std::string U8(const std::u16string& s) { return ToUtf8(s); }

class FakeTransfer : public Transfer {
 public:
  std::optional<StartFailure> Start(const std::u16string& url) override {
    started.push_back(url);
    if (onStart) onStart();
    return startFailure;
  }
  void Cancel() override { ++cancels; }
  bool PumpMessages() override {
    ++pumps;
    if (script.empty()) return pumps < 1000;  // bounded: a stuck wait fails the test instead of hanging
    auto step = std::move(script.front());
    script.erase(script.begin());
    step();
    return true;
  }

  std::vector<std::u16string> started;
  std::optional<StartFailure> startFailure;
  std::function<void()> onStart;
  std::vector<std::function<void()>> script;  // one step per pump
  int cancels = 0;
  int pumps = 0;
};

class FakeFiles : public ContentFiles {
 public:
  FileResult CreateTemp(const std::u16string& target) override {
    ++creates;
    if (failCreate) return FileResult::Failed(u"Access is denied.");
    tempTarget = target;
    tempOpen = true;
    temp.clear();
    return FileResult::Ok();
  }
  FileResult AppendTemp(std::string_view bytes) override {
    if (failAppend) return FileResult::Failed(u"Disk full.");
    temp.append(bytes);
    return FileResult::Ok();
  }
  FileResult CommitTemp(const std::u16string& target) override {
    if (failCommit) return FileResult::Failed(u"Cannot replace the file.");
    files[target] = temp;
    tempOpen = false;
    return FileResult::Ok();
  }
  void DiscardTemp() override {
    ++discards;
    tempOpen = false;
    temp.clear();
  }
  FileResult Delete(const std::u16string& path) override {
    deleted.push_back(path);
    if (failDelete) return FileResult::Failed(u"File in use.");
    files.erase(path);
    return FileResult::Ok();
  }

  std::map<std::u16string, std::string> files;
  std::string temp;
  std::u16string tempTarget;
  bool tempOpen = false;
  bool failCreate = false, failAppend = false, failCommit = false, failDelete = false;
  int creates = 0, discards = 0;
  std::vector<std::u16string> deleted;
};

// Records every event as one line of text; hooks let a test act inside a handler, as hosts do.
class Recorder : public DFilesEvents {
 public:
  void DLProgress(float percent, std::int32_t bytesRead, std::int32_t total) override {
    lastPercent = percent;
    Log("DLProgress " + std::to_string(bytesRead) + "/" + std::to_string(total));
    if (onProgress) onProgress();
  }
  void DLCanceled() override { Log("DLCanceled"); }
  void DLError(DLErrorKind kind, const std::u16string& text) override {
    Log("DLError " + std::to_string(static_cast<int>(kind)) + " " + U8(text));
  }
  void DLComplete(std::int32_t bytes) override {
    Log("DLComplete " + std::to_string(bytes));
    if (onComplete) onComplete();
  }
  void DLConnected(const std::u16string& a) override { Log("DLConnected " + U8(a)); }
  void DLRedirect(const std::u16string& a) override { Log("DLRedirect " + U8(a)); }
  void DLCacheFile(const std::u16string& f) override { Log("DLCacheFile " + U8(f)); }
  void DLMIMEType(const std::u16string& m) override { Log("DLMIMEType " + U8(m)); }
  void DLFileSize(std::int32_t bytes) override { Log("DLFileSize " + std::to_string(bytes)); }
  void DLBeginDownload() override { Log("DLBeginDownload"); }
  void GetHtml(const ContentText& content) override {
    html = content.Decode();
    given = content.given;
    rest.clear();
    if (content.blocks)
      for (const std::string& b : *content.blocks) rest += b;
    Log("GetHtml");
    if (onHtml) onHtml();
  }
  void Repaint() override { ++repaints; }
  void ShowCriticalMessage(const std::u16string& text, const std::u16string& title) override {
    Log("Message " + U8(title) + " | " + U8(text));
  }

  void Log(std::string s) { log.push_back(std::move(s)); }
  std::vector<std::string> log;
  std::u16string html;
  std::size_t given = 0;
  std::string rest;
  float lastPercent = -1;
  int repaints = 0;
  std::function<void()> onProgress, onComplete, onHtml;
};

class DFilesTest : public ::testing::Test {
 protected:
  DFilesTest() : dl(transfer, files, codec, events) {}

  void Configure(const std::u16string& url = u"http://127.0.0.1/a.bin", const std::u16string& folder = u"C:\\d\\",
                 const std::u16string& name = u"a.bin") {
    dl.SetFileUrl(url);
    dl.SetSaveFilePath(folder);
    dl.SetFileName(name);
  }
  // The notifications of a plain successful transfer of `body`.
  void Deliver(const std::string& body) {
    const auto n = static_cast<std::int64_t>(body.size());
    dl.OnProgress(kStatusConnecting, u"127.0.0.1", 0, 0, 0);
    dl.OnProgress(kStatusMimeTypeAvailable, u"application/octet-stream", 0, 0, 0);
    dl.OnProgress(kStatusBeginDownloadData, u"", 0, n, 0);
    dl.OnHttpStatus(200);
    dl.OnData(body);
    dl.OnProgress(kStatusEndDownloadData, u"", n, n, 0);
    dl.OnFinished();
  }

  FakeTransfer transfer;
  FakeFiles files;
  test::IconvCodec codec;
  Recorder events;
  DFiles dl;
};

using Log = std::vector<std::string>;

struct UnconfiguredCase {
  const char16_t* url;
  const char16_t* folder;
};
class UnconfiguredTest : public DFilesTest, public ::testing::WithParamInterface<UnconfiguredCase> {};

TEST_P(UnconfiguredTest, BeginDownloadRefusesWithoutEvents) {
  dl.SetFileUrl(GetParam().url);
  dl.SetSaveFilePath(GetParam().folder);
  EXPECT_FALSE(dl.BeginDownload(false));
  EXPECT_FALSE(dl.BeginDownload(true));
  EXPECT_TRUE(transfer.started.empty());
  EXPECT_TRUE(events.log.empty());
  EXPECT_FALSE(dl.Downloading());
}
INSTANTIATE_TEST_SUITE_P(Missing, UnconfiguredTest,
                         ::testing::Values(UnconfiguredCase{u"", u"C:\\d\\"},
                                           UnconfiguredCase{u"http://127.0.0.1/a", u""},
                                           UnconfiguredCase{u"", u""}));

TEST_F(DFilesTest, SecondStartWhileBusyIsRefused) {
  Configure();
  EXPECT_TRUE(dl.BeginDownload(false));
  EXPECT_FALSE(dl.BeginDownload(false));
  EXPECT_EQ(transfer.started.size(), 1u);
  EXPECT_TRUE(events.log.empty());
  EXPECT_TRUE(dl.Downloading());
}

TEST_F(DFilesTest, StartDoesNotNeedAFileName) {
  dl.SetFileUrl(u"http://127.0.0.1/a");
  dl.SetSaveFilePath(u"C:\\d\\");
  EXPECT_TRUE(dl.BeginDownload(false));
  EXPECT_EQ(dl.SaveFileName(), u"");
}

struct JoinCase {
  const char16_t* url;
  const char16_t* folder;
  const char16_t* name;
  const char16_t* expected;
};
class JoinTest : public ::testing::TestWithParam<JoinCase> {};
TEST_P(JoinTest, SetFileNameJoinsWithoutSeparator) {
  EXPECT_EQ(JoinTarget(GetParam().url, GetParam().folder, GetParam().name), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Table, JoinTest,
                         ::testing::Values(JoinCase{u"", u"C:\\x\\", u"a.txt", u""},
                                           JoinCase{u"http://h/a", u"", u"a.txt", u""},
                                           JoinCase{u"http://h/a", u"C:\\x\\", u"a.txt", u"C:\\x\\a.txt"},
                                           JoinCase{u"http://h/a", u"C:\\x", u"a.txt", u"C:\\xa.txt"}));

TEST_F(DFilesTest, SetFileNameBeforeTheAddressLeavesTheNameEmpty) {
  dl.SetSaveFilePath(u"C:\\x\\");
  dl.SetFileName(u"a.txt");
  EXPECT_EQ(dl.SaveFileName(), u"");
  dl.SetFileUrl(u"http://h/a");
  dl.SetFileName(u"a.txt");
  EXPECT_EQ(dl.SaveFileName(), u"C:\\x\\a.txt");
}

struct RenameCase {
  const char16_t* folder;
  const char16_t* address;
  const char16_t* expected;
};
class RenameTest : public ::testing::TestWithParam<RenameCase> {};
TEST_P(RenameTest, RedirectTargetUsesOneSeparatorAndOnlyPlainNames) {
  std::optional<std::u16string> expected;
  if (GetParam().expected) expected = GetParam().expected;
  EXPECT_EQ(RedirectTarget(GetParam().folder, GetParam().address), expected);
}
INSTANTIATE_TEST_SUITE_P(
    Table, RenameTest,
    ::testing::Values(RenameCase{u"C:\\d\\", u"http://h/dir/new.bin", u"C:\\d\\new.bin"},
                      RenameCase{u"C:\\d", u"http://h/dir/new.bin", u"C:\\d\\new.bin"},
                      RenameCase{u"C:\\d", u"new.bin", u"C:\\d\\new.bin"},
                      // A backslash separates like a slash; escapes are part of the name.
                      RenameCase{u"C:\\d\\", u"http:\\\\h\\x\\y.txt", u"C:\\d\\y.txt"},
                      RenameCase{u"C:\\d\\", u"http://h/a\\..\\b.bin", u"C:\\d\\b.bin"},
                      RenameCase{u"C:\\d\\", u"http://h/new%20file%2ebin", u"C:\\d\\new%20file%2ebin"},
                      RenameCase{u"C:\\d\\", u"http://h/..%5Cx", u"C:\\d\\..%5Cx"},
                      RenameCase{u"C:\\d\\", u"http://h/dir\\..", nullptr}, RenameCase{u"C:\\d\\", u"..\\", nullptr},
                      RenameCase{u"C:\\d\\", u"http://h/a:b", nullptr}, RenameCase{u"C:\\d\\", u"http://h/..", nullptr},
                      RenameCase{u"C:\\d\\", u"http://h/", nullptr}, RenameCase{u"C:\\d\\", u"http://h/x.", nullptr},
                      RenameCase{u"C:\\d\\", u"http://h/x ", nullptr}, RenameCase{u"C:\\d\\", u"http://h/a?b", nullptr},
                      RenameCase{u"C:\\d\\", u"http://h/con", nullptr}, RenameCase{u"C:\\d\\", u"http://h/Lpt1 .txt", nullptr},
                      RenameCase{u"C:\\d\\", u"http://h/console.txt", u"C:\\d\\console.txt"}));

struct FlagCase {
  bool failOnRedirect;
  bool stored;
  bool reads;
};
class RenameFlagTest : public DFilesTest, public ::testing::WithParamInterface<FlagCase> {};
TEST_P(RenameFlagTest, ReadsTrueOnlyWhileRedirectsAreFollowed) {
  dl.SetFailOnRedirect(GetParam().failOnRedirect);
  dl.SetRenameOnRedirect(GetParam().stored);
  EXPECT_EQ(dl.RenameOnRedirect(), GetParam().reads);
  EXPECT_EQ(dl.StoredRenameOnRedirect(), GetParam().stored);
}
INSTANTIATE_TEST_SUITE_P(Table, RenameFlagTest,
                         ::testing::Values(FlagCase{true, true, false}, FlagCase{true, false, false},
                                           FlagCase{false, true, true}, FlagCase{false, false, false}));

struct PercentCase {
  std::int64_t read;
  std::int64_t max;
  float percent;
  std::int32_t bytesRead;  // the property is 32-bit and stops at its largest value
};
class PercentTest : public DFilesTest, public ::testing::WithParamInterface<PercentCase> {};
TEST_P(PercentTest, ProgressIsAFractionOfTheTotal) {
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusDownloadingData, u"", GetParam().read, GetParam().max, 0);
  EXPECT_FLOAT_EQ(dl.Percent(), GetParam().percent);
  EXPECT_FLOAT_EQ(events.lastPercent, GetParam().percent);
  EXPECT_EQ(dl.BytesRead(), GetParam().bytesRead);
}
INSTANTIATE_TEST_SUITE_P(Table, PercentTest,
                         ::testing::Values(PercentCase{512, 2048, 0.25f, 512}, PercentCase{100, 0, 0.0f, 100},
                                           PercentCase{0, 0, 0.0f, 0}, PercentCase{2048, 2048, 1.0f, 2048},
                                           PercentCase{3000000000ll, 4000000000ll, 0.75f, 2147483647}));

TEST_F(DFilesTest, SuccessfulTransferSavesAndReportsInOrder) {
  files.files[u"C:\\d\\a.bin"] = "an older and much longer file";
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  EXPECT_EQ(transfer.started, std::vector<std::u16string>{u"http://127.0.0.1/a.bin"});
  Deliver("hello");
  EXPECT_EQ(events.log, (Log{"DLConnected 127.0.0.1", "DLMIMEType application/octet-stream", "DLFileSize 5",
                             "DLBeginDownload", "DLProgress 5/5", "DLComplete 5", "GetHtml"}));
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "hello");
  EXPECT_EQ(files.tempTarget, u"C:\\d\\a.bin");
  EXPECT_EQ(events.html, u"hello");
  EXPECT_FALSE(dl.Downloading());
  EXPECT_TRUE(dl.Succeeded());
  EXPECT_EQ(dl.FileSize(), 5);
  EXPECT_EQ(dl.BytesRead(), 5);
  EXPECT_EQ(dl.MIMEType(), u"application/octet-stream");
  EXPECT_EQ(dl.ConnectionAddress(), u"127.0.0.1");
  EXPECT_FLOAT_EQ(dl.Percent(), 1.0f);
  EXPECT_EQ(transfer.cancels, 0);
}

TEST_F(DFilesTest, EveryNotificationRepaints) {
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusConnecting, u"x", 0, 0, 0);
  dl.OnProgress(42, u"x", 0, 0, 0);
  EXPECT_EQ(events.repaints, 2);
  EXPECT_EQ(events.log, Log{"DLConnected x"});
}

TEST_F(DFilesTest, ContentTextIsDecodedFromTheAnsiCodePage) {
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  Deliver("\xC4\xE3\xBA\xC3 106\r\n");  // "你好 106" in code page 936
  EXPECT_EQ(events.html, u"\u4F60\u597D 106\r\n");
}

TEST_F(DFilesTest, ContentBeyondTheTextLimitIsSavedWholeWithAnEmptyText) {
  dl.SetTextLimit(8);
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusBeginDownloadData, u"", 0, 12, 0);
  dl.OnData("hello ");
  dl.OnData("world!");
  dl.OnFinished();
  EXPECT_EQ(events.log, (Log{"DLFileSize 12", "DLBeginDownload", "DLComplete 12", "GetHtml"}));
  EXPECT_EQ(events.html, u"");
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "hello world!");
  EXPECT_EQ(dl.BytesRead(), 12);

  // The limit counts per transfer: a small one afterwards has its text again.
  events.log.clear();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnData("tiny");
  dl.OnFinished();
  EXPECT_EQ(events.html, u"tiny");
}

TEST_F(DFilesTest, FullBlocksGoToTheTextBuilderAsTheyArriveAndAFailureDropsThem) {
  struct Builder : ContentTextBuilder {
    void Add(std::string block, std::size_t) override {
      if (outOfMemory) throw std::bad_alloc();
      blocks.push_back(std::move(block));
    }
    void Reset() override {
      blocks.clear();
      ++resets;
    }
    std::vector<std::string> blocks;
    int resets = 0;
    bool outOfMemory = false;
  } builder;
  dl.SetTextBuilder(&builder);
  std::string body(2 * kContentBlock + 1000, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 23);
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusBeginDownloadData, u"", 0, static_cast<std::int64_t>(body.size()), 0);
  // Pieces that do not line up with the blocks.
  for (std::size_t at = 0; at < body.size(); at += 300007) dl.OnData(std::string_view(body).substr(at, 300007));
  ASSERT_EQ(builder.blocks.size(), 2u);  // handed over before the end
  dl.OnFinished();
  EXPECT_EQ(events.given, 2u);
  EXPECT_EQ(builder.blocks[0] + builder.blocks[1] + events.rest, body);
  EXPECT_EQ(builder.resets, 0);

  // A transfer that fails after handing over a block leaves nothing behind for the next one.
  builder.blocks.clear();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnData(std::string(kContentBlock + 5, 'x'));
  ASSERT_EQ(builder.blocks.size(), 1u);
  dl.OnFailed(5);
  EXPECT_EQ(builder.resets, 1);
  EXPECT_TRUE(builder.blocks.empty());
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnData("small");
  dl.OnFinished();
  EXPECT_EQ(events.given, 0u);
  EXPECT_EQ(events.html, u"small");

  // A builder that runs out of memory taking a block is reset at once (it may have set up for
  // the transfer before it failed); the file is still saved whole, with an empty text.
  builder.outOfMemory = true;
  const int before = builder.resets;
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnData(std::string(kContentBlock + 5, 'y'));
  EXPECT_EQ(builder.resets, before + 1);
  dl.OnFinished();
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], std::string(kContentBlock + 5, 'y'));
  EXPECT_EQ(events.html, u"");
}

TEST_F(DFilesTest, CompletionEventsComeWhileStillDownloading) {
  Configure();
  std::vector<bool> downloadingSeen, restartResults;
  events.onComplete = [&] {
    downloadingSeen.push_back(dl.Downloading());
    restartResults.push_back(dl.BeginDownload(false));
  };
  events.onHtml = [&] {
    downloadingSeen.push_back(dl.Downloading());
    restartResults.push_back(dl.BeginDownload(false));
  };
  ASSERT_TRUE(dl.BeginDownload(false));
  Deliver("abc");
  EXPECT_EQ(downloadingSeen, (std::vector<bool>{true, true}));
  EXPECT_EQ(restartResults, (std::vector<bool>{false, false}));
  EXPECT_EQ(transfer.started.size(), 1u);
  EXPECT_FALSE(dl.Downloading());
}

TEST_F(DFilesTest, ErrorStatusFailsWithTheValue) {
  files.files[u"C:\\d\\a.bin"] = "previous";
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusDownloadingData, u"", 10, 20, 0);
  dl.OnData("0123456789");
  dl.OnProgress(kStatusError, u"", 0, 0, -2146697208);
  EXPECT_EQ(events.log, (Log{"DLProgress 10/20", "DLError 99 -2146697208", "DLComplete 0"}));
  EXPECT_FLOAT_EQ(dl.Percent(), 0.0f);
  EXPECT_FALSE(dl.Downloading());
  EXPECT_FALSE(dl.Succeeded());
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "previous");
  EXPECT_FALSE(files.tempOpen);
  EXPECT_EQ(files.discards, 1);
  // Late notifications of the ended transfer change nothing.
  dl.OnData("more");
  dl.OnFinished();
  dl.OnFailed(5);
  EXPECT_EQ(events.log.size(), 3u);
}

TEST_F(DFilesTest, FailedBindingEndsLikeAnErrorStatus) {
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnFailed(-2146697208);
  EXPECT_EQ(events.log, (Log{"DLError 99 -2146697208", "DLComplete 0"}));
  EXPECT_FALSE(dl.Downloading());
}

struct HttpCase {
  std::int32_t status;
  bool fails;
};
class HttpStatusTest : public DFilesTest, public ::testing::WithParamInterface<HttpCase> {};
TEST_P(HttpStatusTest, ErrorStatusesAreFailuresAndWriteNothing) {
  files.files[u"C:\\d\\a.bin"] = "previous";
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnHttpStatus(GetParam().status);
  dl.OnData("<html>error page</html>");
  dl.OnFinished();
  if (GetParam().fails) {
    EXPECT_EQ(events.log, (Log{"DLError 99 " + std::to_string(GetParam().status), "DLComplete 0"}));
    EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "previous");
    EXPECT_EQ(files.creates, 0);
    EXPECT_GE(transfer.cancels, 1);
  } else {
    EXPECT_EQ(events.log, (Log{"DLComplete 23", "GetHtml"}));
    EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "<html>error page</html>");
  }
}
INSTANTIATE_TEST_SUITE_P(Table, HttpStatusTest,
                         ::testing::Values(HttpCase{200, false}, HttpCase{304, false}, HttpCase{399, false},
                                           HttpCase{400, true}, HttpCase{404, true}, HttpCase{500, true},
                                           HttpCase{503, true}));

TEST_F(DFilesTest, RedirectFailsWhenRedirectsAreFailures) {
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusRedirecting, u"http://127.0.0.1/dir/new.bin", 0, 0, 0);
  EXPECT_EQ(events.log, (Log{"DLError 2 Redirected to http://127.0.0.1/dir/new.bin", "DLComplete 0"}));
  EXPECT_EQ(transfer.cancels, 1);
  EXPECT_EQ(dl.RedirectFile(), u"http://127.0.0.1/dir/new.bin");
  EXPECT_FALSE(dl.Downloading());
  Deliver("abc");
  EXPECT_EQ(events.log.size(), 2u);
  EXPECT_TRUE(files.files.empty());
}

struct FollowCase {
  const char16_t* folder;
  bool rename;
  const char16_t* saved;
  const char16_t* address = u"http://127.0.0.1/dir/new.bin";
};
class FollowRedirectTest : public DFilesTest, public ::testing::WithParamInterface<FollowCase> {};
TEST_P(FollowRedirectTest, FollowedRedirectSavesUnderTheRightName) {
  dl.SetFailOnRedirect(false);
  dl.SetRenameOnRedirect(GetParam().rename);
  Configure(u"http://127.0.0.1/old.bin", GetParam().folder, u"old.bin");
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusRedirecting, GetParam().address, 0, 0, 0);
  dl.OnData("data");
  dl.OnFinished();
  EXPECT_EQ(events.log, (Log{"DLRedirect " + U8(GetParam().address), "DLComplete 4", "GetHtml"}));
  EXPECT_EQ(dl.SaveFileName(), GetParam().saved);
  ASSERT_EQ(files.files.count(GetParam().saved), 1u);
  EXPECT_EQ(files.files[GetParam().saved], "data");
  EXPECT_EQ(files.files.size(), 1u);
}
INSTANTIATE_TEST_SUITE_P(Table, FollowRedirectTest,
                         ::testing::Values(FollowCase{u"C:\\d\\", true, u"C:\\d\\new.bin"},
                                           FollowCase{u"C:\\d", true, u"C:\\d\\new.bin"},
                                           FollowCase{u"C:\\d\\", false, u"C:\\d\\old.bin"},
                                           FollowCase{u"C:\\d\\", true, u"C:\\d\\..%5Cx", u"http://127.0.0.1/..%5Cx"},
                                           FollowCase{u"C:\\d\\", true, u"C:\\d\\old.bin", u"http://127.0.0.1/d\\.."},
                                           FollowCase{u"C:\\d\\", true, u"C:\\d\\old.bin", u"http://127.0.0.1/a:b"}));

TEST_F(DFilesTest, ZeroBytesWritesNothing) {
  files.files[u"C:\\d\\a.bin"] = "previous";
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusBeginDownloadData, u"", 0, 0, 0);
  dl.OnProgress(kStatusEndDownloadData, u"", 0, 0, 0);
  dl.OnFinished();
  EXPECT_EQ(events.log, (Log{"DLFileSize 0", "DLBeginDownload", "DLProgress 0/0", "DLError 3 Zero bytes retrieved",
                             "DLComplete 0"}));
  EXPECT_EQ(files.creates, 0);
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "previous");
}

TEST_F(DFilesTest, ShortContentIsAnInterruptedTransfer) {
  files.files[u"C:\\d\\a.bin"] = "previous";
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusBeginDownloadData, u"", 0, 100, 0);
  dl.OnData("only forty bytes of the hundred promised");
  dl.OnFinished();
  ASSERT_EQ(events.log.size(), 4u);
  EXPECT_EQ(events.log[2], "DLError 99 Connection closed after 40 of 100 bytes");
  EXPECT_EQ(events.log[3], "DLComplete 0");
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "previous");
  EXPECT_FALSE(files.tempOpen);
}

TEST_F(DFilesTest, UnknownLengthIsNotTreatedAsShort) {
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusBeginDownloadData, u"", 0, 0, 0);
  dl.OnData("abc");
  dl.OnFinished();
  EXPECT_EQ(events.log.back(), "GetHtml");
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "abc");
}

TEST_F(DFilesTest, TemporaryFileThatCannotBeCreatedIsASaveError) {
  files.failCreate = true;
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnData("abc");
  dl.OnFinished();
  EXPECT_EQ(events.log, (Log{"DLError 4 Access is denied. [C:\\d\\a.bin]", "DLComplete 0"}));
  EXPECT_EQ(transfer.cancels, 1);
  EXPECT_FALSE(dl.Downloading());
}

TEST_F(DFilesTest, WriteFailureKeepsTheOldFile) {
  files.files[u"C:\\d\\a.bin"] = "previous";
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnData("abc");
  files.failAppend = true;
  dl.OnData("def");
  EXPECT_EQ(events.log, (Log{"DLError 4 Disk full. [C:\\d\\a.bin]", "DLComplete 0"}));
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "previous");
  EXPECT_FALSE(files.tempOpen);
}

TEST_F(DFilesTest, ReplaceFailureKeepsTheOldFileAndDiscardsTheCopy) {
  files.files[u"C:\\d\\a.bin"] = "previous";
  files.failCommit = true;
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnData("abc");
  dl.OnFinished();
  EXPECT_EQ(events.log, (Log{"DLError 4 Cannot replace the file. [C:\\d\\a.bin]", "DLComplete 0"}));
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "previous");
  EXPECT_EQ(files.discards, 1);
  EXPECT_FALSE(dl.Succeeded());
}

TEST_F(DFilesTest, CacheCopyIsDeletedAfterTheSave) {
  files.files[u"C:\\cache\\a[1].bin"] = "abc";
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusCacheFileNameAvailable, u"C:\\cache\\a[1].bin", 0, 0, 0);
  dl.OnData("abc");
  dl.OnFinished();
  EXPECT_EQ(events.log, (Log{"DLCacheFile C:\\cache\\a[1].bin", "DLComplete 3", "GetHtml"}));
  EXPECT_EQ(files.deleted, std::vector<std::u16string>{u"C:\\cache\\a[1].bin"});
  EXPECT_EQ(dl.CacheFile(), u"C:\\cache\\a[1].bin");
  EXPECT_EQ(files.files.count(u"C:\\cache\\a[1].bin"), 0u);
}

class LocalSourceTest : public DFilesTest, public ::testing::WithParamInterface<const char16_t*> {};
TEST_P(LocalSourceTest, TheSourceNamedAsCacheCopyIsKept) {
  files.files[u"C:\\src\\a.bin"] = "abc";
  Configure(GetParam());
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusCacheFileNameAvailable, u"C:\\src\\a.bin", 0, 0, 0);
  dl.OnData("abc");
  dl.OnFinished();
  EXPECT_EQ(events.log, (Log{"DLCacheFile C:\\src\\a.bin", "DLComplete 3", "GetHtml"}));
  EXPECT_TRUE(files.deleted.empty());
  EXPECT_EQ(files.files[u"C:\\src\\a.bin"], "abc");
  EXPECT_FALSE(dl.Downloading());
}
INSTANTIATE_TEST_SUITE_P(Table, LocalSourceTest,
                         ::testing::Values(u"file:///C:/src/a.bin", u"FILE:C:\\src\\a.bin", u"C:\\src\\a.bin",
                                           u"\\\\server\\share\\a.bin"));

TEST_F(DFilesTest, CacheDeletionFailureComesAfterTheSuccessAndWaitStillSucceeds) {
  files.failDelete = true;
  Configure();
  transfer.script = {[&] { dl.OnProgress(kStatusCacheFileNameAvailable, u"C:\\cache\\x", 0, 0, 0); },
                     [&] { dl.OnData("abc"); },
                     [&] { dl.OnFinished(); }};
  EXPECT_TRUE(dl.BeginDownload(true));
  EXPECT_EQ(events.log, (Log{"DLCacheFile C:\\cache\\x", "DLComplete 3", "GetHtml",
                             "DLError 4 File in use. [C:\\d\\a.bin]", "DLComplete 0"}));
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "abc");
  EXPECT_FALSE(dl.Downloading());
}

TEST_F(DFilesTest, StartFailureReportsAndShowsTheMessage) {
  transfer.startFailure = StartFailure{-2147221020, u"Invalid syntax"};
  Configure(u"::bad::");
  EXPECT_FALSE(dl.BeginDownload(false));
  EXPECT_EQ(events.log, (Log{"DLError 1 Invalid syntax", "DLComplete 0",
                             "Message bkDLControl Internal Error: -2147221020 | -2147221020Error: \r\nInvalid syntax"}));
  EXPECT_FALSE(dl.Downloading());
  EXPECT_FALSE(dl.Succeeded());
}

TEST_F(DFilesTest, StartFailureAfterTheBindingAlreadyEndedIsReportedOnce) {
  transfer.startFailure = StartFailure{-2146697208, u"refused"};
  transfer.onStart = [&] { dl.OnFailed(-2146697208); };
  Configure();
  EXPECT_FALSE(dl.BeginDownload(false));
  EXPECT_EQ(events.log, (Log{"DLError 99 -2146697208", "DLComplete 0"}));
}

TEST_F(DFilesTest, NotificationsInsideStartAreHandled) {
  transfer.onStart = [&] { dl.OnProgress(kStatusConnecting, u"127.0.0.1", 0, 0, 0); };
  Configure();
  EXPECT_TRUE(dl.BeginDownload(false));
  EXPECT_EQ(events.log, Log{"DLConnected 127.0.0.1"});
  EXPECT_EQ(dl.ConnectionAddress(), u"127.0.0.1");
}

TEST_F(DFilesTest, CancelRaisesOnlyCanceled) {
  files.files[u"C:\\d\\a.bin"] = "previous";
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusDownloadingData, u"", 5, 10, 0);
  dl.OnData("abcde");
  dl.CancelDownload();
  EXPECT_EQ(events.log, (Log{"DLProgress 5/10", "DLCanceled"}));
  EXPECT_EQ(transfer.cancels, 1);
  EXPECT_FLOAT_EQ(dl.Percent(), 0.0f);
  EXPECT_FALSE(dl.Downloading());
  EXPECT_EQ(files.files[u"C:\\d\\a.bin"], "previous");
  EXPECT_FALSE(files.tempOpen);
  dl.OnFinished();
  EXPECT_EQ(events.log.size(), 2u);
}

TEST_F(DFilesTest, CancelWhileIdleDoesNothing) {
  dl.CancelDownload();
  EXPECT_TRUE(events.log.empty());
  EXPECT_EQ(transfer.cancels, 0);
}

TEST_F(DFilesTest, CancelFromAProgressHandlerStopsTheTransfer) {
  Configure();
  events.onProgress = [&] { dl.CancelDownload(); };
  ASSERT_TRUE(dl.BeginDownload(false));
  Deliver("abc");
  EXPECT_EQ(events.log, (Log{"DLConnected 127.0.0.1", "DLMIMEType application/octet-stream", "DLFileSize 3",
                             "DLBeginDownload", "DLProgress 3/3", "DLCanceled"}));
  EXPECT_TRUE(files.files.empty());
}

TEST_F(DFilesTest, CancelFromTheCompleteHandlerSkipsTheRest) {
  Configure();
  events.onComplete = [&] { dl.CancelDownload(); };
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusCacheFileNameAvailable, u"C:\\cache\\x", 0, 0, 0);
  dl.OnData("abc");
  dl.OnFinished();
  EXPECT_EQ(events.log, (Log{"DLCacheFile C:\\cache\\x", "DLComplete 3", "DLCanceled"}));
  EXPECT_TRUE(files.deleted.empty());
}

TEST_F(DFilesTest, WaitingStartReturnsTheResultAfterAllEvents) {
  Configure();
  transfer.script = {[&] { dl.OnProgress(kStatusBeginDownloadData, u"", 0, 3, 0); },
                     [&] { dl.OnData("abc"); },
                     [&] { dl.OnProgress(kStatusEndDownloadData, u"", 3, 3, 0); },
                     [&] { dl.OnFinished(); },
                     [&] { ADD_FAILURE() << "pumped after the transfer ended"; }};
  EXPECT_TRUE(dl.BeginDownload(true));
  EXPECT_EQ(events.log, (Log{"DLFileSize 3", "DLBeginDownload", "DLProgress 3/3", "DLComplete 3", "GetHtml"}));
  EXPECT_EQ(transfer.pumps, 4);
}

TEST_F(DFilesTest, WaitingStartReturnsFalseAfterFailureOrCancel) {
  Configure();
  transfer.script = {[&] { dl.OnProgress(kStatusRedirecting, u"http://x/y", 0, 0, 0); }};
  EXPECT_FALSE(dl.BeginDownload(true));
  EXPECT_EQ(events.log, (Log{"DLError 2 Redirected to http://x/y", "DLComplete 0"}));

  events.log.clear();
  transfer.script = {[&] { dl.OnData("ab"); }, [&] { dl.CancelDownload(); }};
  EXPECT_FALSE(dl.BeginDownload(true));
  EXPECT_EQ(events.log, Log{"DLCanceled"});
}

TEST_F(DFilesTest, WaitStopsWhenTheThreadQuits) {
  Configure();
  // No script: the fake reports a quitting thread after a bounded number of pumps.
  EXPECT_FALSE(dl.BeginDownload(true));
  EXPECT_TRUE(dl.Downloading());
}

TEST_F(DFilesTest, TeardownCancelsQuietly) {
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnData("abc");
  dl.Teardown();
  EXPECT_TRUE(events.log.empty());
  EXPECT_EQ(transfer.cancels, 1);
  EXPECT_FALSE(files.tempOpen);
  EXPECT_FALSE(dl.Downloading());
  dl.Teardown();
  EXPECT_EQ(transfer.cancels, 1);
}

TEST_F(DFilesTest, PercentSurvivesSuccessAndANewStartButNotFailure) {
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  Deliver("abcd");
  EXPECT_FLOAT_EQ(dl.Percent(), 1.0f);
  ASSERT_TRUE(dl.BeginDownload(false));
  EXPECT_FLOAT_EQ(dl.Percent(), 1.0f);
  EXPECT_EQ(dl.FileSize(), 0);
  EXPECT_EQ(dl.BytesRead(), 0);
  EXPECT_EQ(dl.MIMEType(), u"");
  EXPECT_EQ(dl.ConnectionAddress(), u"");
  EXPECT_FALSE(dl.Succeeded());
  dl.OnFailed(1);
  EXPECT_FLOAT_EQ(dl.Percent(), 0.0f);
}

TEST_F(DFilesTest, ProgressBarFollowsPercentAndShowProgress) {
  EXPECT_FALSE(dl.ProgressBar(200, 20).has_value());
  Configure();
  ASSERT_TRUE(dl.BeginDownload(false));
  dl.OnProgress(kStatusDownloadingData, u"", 512, 2048, 0);
  EXPECT_EQ(dl.ProgressBar(200, 20), (BarRect{0, 0, 50, 20}));
  dl.SetShowProgress(false);
  EXPECT_FALSE(dl.ProgressBar(200, 20).has_value());
}

}  // namespace
}  // namespace tw::download
