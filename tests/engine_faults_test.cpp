// Bad networks and bad disks: a connection that falls silent, a file replaced on the server, a
// save path that cannot be written, a full disk, and sizes that no plan can count. Every run
// ends, says what happened, and never costs the user the file they had.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mount.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "download/file_identity.h"
#include "download/range_files.h"
#include "download/segment_worker.h"
#include "platform/event_pump.h"
#include "platform/file_system.h"
#include "tests/support/engine_fixture.h"

namespace tovak::download {
namespace {

namespace fs = std::filesystem;
using platform::ControlId;
using platform::kAnswerNo;
using platform::kAnswerOk;
using platform::kAnswerYes;
using testing::EngineTest;
using testing::FaultKind;
using Clock = std::chrono::steady_clock;

const Text kRetryQuestion = "部分数据下载失败，是否重试？选择【否】将删除已下载数据";
const Text kUnknownSize = "无法得到下载文件大小\r\n请自行打开直链网址或使用备用链接下载";
const Text kFileChanged =
    "服务器上的文件在下载过程中已被更换，已下载的数据无法使用并已删除。\r\n请重新点击下载，从头开始下载新的文件。";
const Text kWriteFailed = "无法写入临时文件，磁盘空间可能不足。\r\n请释放磁盘空间后再选择重试，已下载的数据会保留。";
const Text kNoSpaceForTarget = "磁盘空间不足，无法保存下载的文件。\r\n原有的文件没有改动，请释放磁盘空间后重新下载";
constexpr int64_t kBlockSpan = 1048577;

// Two whole blocks and a few bytes to each of the sixteen ranges.
std::string TwoBlocksARange(uint32_t seed) { return testing::RandomBytes(16 * 2 * kBlockSpan + 5, seed); }
int64_t SegmentStart(const std::string& content, int n) {
  return (n - 1) * (static_cast<int64_t>(content.size()) / 16 + 1);
}

// A connection that falls silent, before its answer or in the middle of the body: the block ends
// at the stall time, the retry prompt follows once the other ranges are done, and Yes finishes
// the file.
struct Silence {
  const char* name;
  FaultKind kind;
};
class SilentConnection : public EngineTest, public ::testing::WithParamInterface<Silence> {};

TEST_P(SilentConnection, EndsItsBlockAtTheStallTimeAndYesFinishesTheFile) {
  state.requestTimeoutSeconds = 3;  // the stall time; 15 s unless told
  const std::string content = TwoBlocksARange(21);
  server.AddFault({GetParam().kind, SegmentStart(content, 7) + kBlockSpan, 1});  // its second block
  desktop.Script({kAnswerYes});
  const Clock::time_point started = Clock::now();
  Clock::duration untilThePrompt{};
  desktop.OnShow([&](const platform::ShownMessage&) { untilThePrompt = Clock::now() - started; });
  Download(content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kRetryQuestion});
  EXPECT_TRUE(Saved() == content);
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
  EXPECT_GE(untilThePrompt, std::chrono::milliseconds(2900)) << "no byte for the stall time, not sooner";
  EXPECT_LT(untilThePrompt, std::chrono::seconds(25));
}

INSTANTIATE_TEST_SUITE_P(Faults, SilentConnection,
                         ::testing::Values(Silence{"MidBody", FaultKind::SilentMidBody},
                                           Silence{"BeforeTheAnswer", FaultKind::SilentBeforeAnswer}),
                         [](const auto& info) { return std::string(info.param.name); });

// A block whose bytes trickle in is no stall: it is waited for and stored whole, while the other
// ranges finish at their own pace.
TEST_F(EngineTest, ATricklingBlockIsWaitedForAndTheOtherRangesGoOn) {
  constexpr int64_t kTail = 16384;  // each range: one whole block and this
  const std::string content = testing::RandomBytes(16 * (kBlockSpan + kTail), 30);
  server.AddFault({.kind = FaultKind::Trickle, .rangeStart = SegmentStart(content, 7) + kBlockSpan,
                   .bytesPerSecond = 4096});
  const Clock::time_point started = Clock::now();
  std::atomic<int64_t> ninetyPercentAfterMs{-1};
  view.OnLabel([&](const Text&) {
    int64_t unset = -1;
    if (window.ProgressPosition() >= 90)
      ninetyPercentAfterMs.compare_exchange_strong(
          unset, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
  });
  Download(content);
  const auto took = Clock::now() - started;
  EXPECT_EQ(MessageTexts(), std::vector<Text>{});
  EXPECT_TRUE(Saved() == content);
  EXPECT_GE(took, std::chrono::seconds(3)) << "the trickled block was waited for";
  EXPECT_GE(ninetyPercentAfterMs.load(), 0);
  EXPECT_LT(ninetyPercentAfterMs.load(), 2000) << "the other ranges did not wait for it";
}

// While the probe waits for a slow server, the window's events are dispatched.
TEST_F(EngineTest, TheWindowIsServedWhileTheProbeWaits) {
  server.SetDelays(10000, 0);  // before the first answer of each connection: the probe's
  std::atomic<bool> served{false};
  std::vector<Text> labelsWhenServed;
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    platform::InstalledEventPump()->Post([&] {
      labelsWhenServed = view.Labels();
      served = true;
      server.SetDelays(0, 0);  // the blocks' connections answer at once
    });
  });
  const Clock::time_point started = Clock::now();
  Download(testing::RandomBytes(300000, 22));
  poster.join();
  EXPECT_TRUE(served.load());
  EXPECT_TRUE(labelsWhenServed.empty()) << "served before the probe had answered";
  EXPECT_GE(Clock::now() - started, std::chrono::seconds(9));
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
}

// The server replaces the file after the probe and eight blocks: with the same size and another
// validator, or with another size. The run says so, leaves no temporary tree and the user's file
// as it was, and the next press fetches the new file whole.
struct Replacement {
  const char* name;
  testing::Validator validator;
  int64_t sizeChange;
};
class ReplacedFile : public EngineTest, public ::testing::WithParamInterface<Replacement> {};

TEST_P(ReplacedFile, EndsTheRunWithItsMessageAndTheNextRunFetchesTheNewFile) {
  const Replacement replacement = GetParam();
  const std::string content = TwoBlocksARange(23);
  const std::string newer = testing::RandomBytes(content.size() + static_cast<size_t>(replacement.sizeChange), 24);
  testing::WriteFile(drive / "target.zip", "previous");
  server.SetValidator(replacement.validator);
  server.SwapFileAfter(1 + 8, newer);
  Download(content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kFileChanged}) << "no retry that cannot succeed";
  EXPECT_EQ(desktop.Messages().front().caption, "错误");
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载失败");
  EXPECT_EQ(Saved(), "previous");
  EXPECT_FALSE(fs::exists(drive / "01-Download/diRediruzu"));
  EXPECT_TRUE(desktop.Opened().empty());

  Download(newer);
  EXPECT_EQ(desktop.Messages().size(), 1u);
  EXPECT_TRUE(Saved() == newer);
}

INSTANTIATE_TEST_SUITE_P(Faults, ReplacedFile,
                         ::testing::Values(Replacement{"SameSizeOtherETag", testing::Validator::ETag, 0},
                                           Replacement{"SameSizeOtherLastModified", testing::Validator::LastModified, 0},
                                           Replacement{"OtherSize", testing::Validator::None, 1000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileIdentityOfAnswers, TellsAnotherFileOnlyByTheValidatorTheProbeHad) {
  struct Case {
    const char* probe;
    const char* answer;
    bool otherFile;
  };
  const Case cases[] = {
      {"ETag: \"a\"", "ETag: \"a\"", false},
      {"ETag: \"a\"", "ETag: \"b\"", true},
      {"etag: \"a\"", "ETag: \"b\"", true},  // HTTP/2 names in lower case
      {"ETag: \"a\"", "Content-Type: application/zip", false},  // says nothing of its file
      {"ETag: \"a\"", "ETag: W/\"b\"", false},  // a weak tag does not name the bytes
      {"ETag: W/\"a\"\r\nLast-Modified: Mon", "ETag: W/\"b\"\r\nLast-Modified: Mon", false},
      {"ETag: W/\"a\"\r\nLast-Modified: Mon", "ETag: W/\"a\"\r\nLast-Modified: Tue", true},
      {"ETag: \"a\"\r\nLast-Modified: Mon", "ETag: \"a\"\r\nLast-Modified: Tue", false},  // the tag decides
      {"Content-Type: application/zip", "ETag: \"b\"\r\nLast-Modified: Tue", false},  // none to compare
  };
  for (const Case& c : cases)
    EXPECT_EQ(FileIdentity::FromHeaders(c.probe).IsOtherFile(c.answer), c.otherFile) << c.probe << " / " << c.answer;
}

// A save path that cannot be written is told at once; nothing is requested.
struct UnusableSavePath {
  const char* name;
  const char* savePath;
  bool readOnlyTarget;
  Text message;
};
class SavePathCheck : public EngineTest, public ::testing::WithParamInterface<UnusableSavePath> {};

TEST_P(SavePathCheck, SaysWhyBeforeAnythingIsRequested) {
  const UnusableSavePath& path = GetParam();
  window.SetText(ControlId::编辑框2, path.savePath);
  if (path.readOnlyTarget) {
    testing::WriteFile(drive / "target.zip", "previous");
    ASSERT_TRUE(platform::SetReadOnly(path.savePath));
  }
  server.SetFile(testing::RandomBytes(300000, 25));
  state.link = Link();
  state.savePath = path.savePath;
  engine.RunDownload();
  ASSERT_EQ(MessageTexts(), std::vector<Text>{path.message});
  EXPECT_EQ(desktop.Messages().front().caption, "错误");
  EXPECT_EQ(server.Connections(), 0) << "nothing was requested";
  EXPECT_FALSE(fs::exists(drive / "01-Download/diRediruzu"));
  EXPECT_TRUE(desktop.Opened().empty());
  if (path.readOnlyTarget) {
    EXPECT_EQ(Saved(), "previous");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SavePathCheck,
    ::testing::Values(
        UnusableSavePath{"MissingFolder", "D:\\missing\\target.zip", false,
                         "保存路径所在的文件夹不存在：\r\nD:\\missing\\\r\n请修改保存路径后再下载"},
        UnusableSavePath{"ReadOnlyTarget", "D:\\target.zip", true,
                         "保存路径上的文件是只读的，或正被其他程序使用：\r\nD:\\target.zip\r\n请修改保存路径后再下载"}),
    [](const auto& info) { return std::string(info.param.name); });

#ifdef _WIN32
// A target that another program holds open without letting it be deleted cannot be replaced.
TEST_F(EngineTest, ATargetHeldOpenByAnotherProgramIsToldBeforeAnythingIsRequested) {
  testing::WriteFile(drive / "target.zip", "previous");
  HANDLE held = CreateFileW((drive / "target.zip").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Download(testing::RandomBytes(300000, 31));
  CloseHandle(held);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{"保存路径上的文件是只读的，或正被其他程序使用：\r\nD:\\target.zip\r\n"
                                              "请修改保存路径后再下载"});
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_EQ(Saved(), "previous");
}
#endif

// Sizes that the plan cannot count are an unknown size: its message, and nothing but the probe.
TEST_F(EngineTest, TotalsThePlanCannotCountAreAnUnknownSize) {
  const char* totals[] = {"9223372036854775807", "99999999999999999999999", "9007199254740993", "0", "-5"};
  for (const char* total : totals) {
    server.AddFault({FaultKind::ClaimedTotal, 0, 1, total});
    Download(testing::RandomBytes(1000, 26));
    ASSERT_FALSE(desktop.Messages().empty());
    EXPECT_EQ(desktop.Messages().back().text, kUnknownSize) << total;
    EXPECT_EQ(server.Ranges().size(), desktop.Messages().size()) << "only the probes";
  }
}

// The largest size the plan counts: the ranges are planned without overflow, and the server's
// answers (for a file of another size) end the run as a replaced file.
TEST_F(EngineTest, TheLargestCountableTotalIsPlanned) {
  server.AddFault({FaultKind::ClaimedTotal, 0, 1, "9007199254740992"});
  Download(testing::RandomBytes(1000, 27));
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kFileChanged});
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载失败");
  EXPECT_FALSE(fs::exists(drive / "target.zip"));
}

// One range of twelve blocks run by its worker alone: two chunk files, the second after the tenth
// block.
class OneRangeWorker : public EngineTest {
 protected:
  const std::string content = testing::RandomBytes(12 * kBlockSpan, 32);
  void SetUp() override {
    EngineTest::SetUp();
    PlanOneRange(content);
  }
  // The segment file after a retry that resumes from the ledger.
  std::string Resumed() {
    state.failed = 0;
    SegmentWorker(engine.Context(), 1, 1);
    EXPECT_EQ(state.failed.load(), 0);
    EXPECT_EQ(state.downloaded, state.totalSize);
    return testing::ReadFile(drive / "01-Download/diRediruzu/1.temp");
  }
};

// A chunk file that has gone by the range's join is fetched again, never skipped into a short
// segment file.
TEST_F(OneRangeWorker, AChunkLostBeforeTheJoinIsFetchedAgain) {
  server.AddFault({.kind = FaultKind::Trickle, .rangeStart = 11 * kBlockSpan, .bytesPerSecond = 2 << 20});
  const fs::path firstChunk = drive / "01-Download/diRediruzu/1/1.temp";
  std::thread remover([&] {  // while the last block trickles in; Windows refuses while it is written
    std::error_code refused;
    for (int tries = 0; tries < 200 && !(fs::exists(firstChunk) && fs::remove(firstChunk, refused)); ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  });
  SegmentWorker(engine.Context(), 1, 0);
  remover.join();
  EXPECT_EQ(state.failed.load(), 1);
  const ResumeLedger ledger = ReadLedger(LedgerPath(kTempRoot, 1));
  EXPECT_EQ(ledger.start, 0);
  EXPECT_EQ(ledger.seq, 0);
  EXPECT_EQ(state.downloaded, 0) << "the whole range is to be fetched again";
  EXPECT_FALSE(fs::exists(drive / "01-Download/diRediruzu/1.temp")) << "no short segment file";
  EXPECT_TRUE(Resumed() == content);
}

#ifndef _WIN32
// A small file system of its own, for a full disk; the tests that need one are skipped where
// mounting is not allowed.
class SmallFileSystem {
 public:
  SmallFileSystem(const fs::path& where, const char* size) : where_(where) {
    fs::create_directories(where_);
    mounted_ = ::mount("tmpfs", where_.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  bool Resize(const char* size) {
    return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT, (std::string("size=") + size).c_str()) == 0;
  }

 private:
  fs::path where_;
  bool mounted_ = false;
};

// The target's disk fills up during the final join: the user's file keeps its bytes, the message
// says why, and no partial file is left beside it.
TEST_F(EngineTest, AFullDiskAtTheJoinKeepsTheOldFile) {
  SmallFileSystem small(drive / "small", "2m");
  if (!small.Mounted()) GTEST_SKIP() << "mounting a file system needs root";
  testing::WriteFile(drive / "small/target.zip", "previous");
  server.SetFile(testing::RandomBytes(4 << 20, 28));
  state.link = Link();
  state.savePath = "D:\\small\\target.zip";
  engine.RunDownload();
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kNoSpaceForTarget});
  EXPECT_EQ(testing::ReadFile(drive / "small/target.zip"), "previous");
  EXPECT_FALSE(fs::exists(drive / "small/target.zip.part"));
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载失败");
  EXPECT_TRUE(desktop.Opened().empty());
}

// The temporary tree's disk fills up while chunks are written: the ranges that could not write
// fail with their place kept (in memory where not even the ledger fits), the user is told, and
// Yes finishes the file once there is room.
TEST_F(EngineTest, AFullDiskWhileChunksAreWrittenIsResumedOnceThereIsRoom) {
  const fs::path d = drive / "d";
  SmallFileSystem small(d, "24m");
  if (!small.Mounted()) GTEST_SKIP() << "mounting a file system needs root";
  testing::SetEnvironment("TOVAK_DRIVE_D", d.string());
  const std::string content = testing::RandomBytes(40 << 20, 29);
  desktop.Script({kAnswerOk, kAnswerYes});
  desktop.OnShow([&](const platform::ShownMessage& shown) {
    if (shown.text == kWriteFailed) small.Resize("128m");
  });
  Download(content);
  testing::SetEnvironment("TOVAK_DRIVE_D", drive.Root());
  EXPECT_EQ(MessageTexts(), (std::vector<Text>{kWriteFailed, kRetryQuestion}));
  EXPECT_TRUE(testing::ReadFile(d / "target.zip") == content);
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
}

// The disk fills up while the range's chunks are joined: every chunk stays as it was written, and
// the retry joins them once there is room, fetching nothing again.
TEST_F(OneRangeWorker, AFullDiskAtTheRangesJoinKeepsItsChunks) {
  const fs::path d = drive / "d";
  SmallFileSystem small(d, "13m");  // both chunks (12 MiB), not the segment file's copy of the second
  if (!small.Mounted()) GTEST_SKIP() << "mounting a file system needs root";
  testing::SetEnvironment("TOVAK_DRIVE_D", d.string());
  SegmentWorker(engine.Context(), 1, 0);
  EXPECT_EQ(state.failed.load(), 1);
  EXPECT_EQ(state.writeFailed.load(), 1);
  EXPECT_EQ(fs::file_size(d / "01-Download/diRediruzu/1/1.temp"), 10485770u) << "the first chunk is back";
  EXPECT_TRUE(fs::exists(d / "01-Download/diRediruzu/1/2.temp"));
  EXPECT_FALSE(fs::exists(d / "01-Download/diRediruzu/1.temp"));
  EXPECT_EQ(state.downloaded, state.totalSize) << "nothing is fetched again";
  const size_t requests = server.Ranges().size();
  ASSERT_TRUE(small.Resize("64m"));
  state.failed = 0;
  SegmentWorker(engine.Context(), 1, 1);
  EXPECT_TRUE(testing::ReadFile(d / "01-Download/diRediruzu/1.temp") == content);
  EXPECT_EQ(server.Ranges().size(), requests);
  testing::SetEnvironment("TOVAK_DRIVE_D", drive.Root());
}
#endif

}  // namespace
}  // namespace tovak::download
