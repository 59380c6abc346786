#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "download/range_files.h"
#include "download/segment_worker.h"
#include "platform/file_system.h"
#include "tests/support/engine_fixture.h"
#include "text/text_ops.h"

namespace tovak::download {
namespace {

namespace fs = std::filesystem;
using platform::ControlId;
using platform::kAnswerNo;
using platform::kAnswerYes;
using testing::EngineTest;

const Text kRetryQuestion = "部分数据下载失败，是否重试？选择【否】将删除已下载数据";
const Text kUnknownSize = "无法得到下载文件大小\r\n请自行打开直链网址或使用备用链接下载";

// Every byte of the file was requested exactly once, and no request started past its end.
void ExpectEachByteFetchedOnce(std::vector<std::pair<int64_t, int64_t>> ranges, int64_t size) {
  ranges.erase(ranges.begin());  // the size probe
  std::sort(ranges.begin(), ranges.end());
  int64_t next = 0;
  for (auto [first, last] : ranges) {
    EXPECT_EQ(first, next) << "gap or overlap before byte " << first;
    EXPECT_LT(first, size);
    next = last + 1;
  }
  EXPECT_EQ(next, size);
}

class SizedDownload : public EngineTest, public ::testing::WithParamInterface<int64_t> {};

TEST_P(SizedDownload, TargetIsByteIdenticalAndEveryByteFetchedOnce) {
  const int64_t size = GetParam();
  const std::string content = testing::RandomBytes(static_cast<size_t>(size), static_cast<uint32_t>(size));
  Download(content);
  EXPECT_TRUE(Saved() == content) << "size " << size;
  EXPECT_EQ(MessageTexts(), std::vector<Text>{});
  ExpectEachByteFetchedOnce(server.Ranges(), size);
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
  EXPECT_EQ(desktop.Opened(), std::vector<Text>{kSavePath});
  EXPECT_FALSE(fs::exists(drive / "01-Download/diRediruzu")) << "the temporary tree is gone";
}

// Small files, the 16-range boundary, a last block one byte past the end, a segment whose
// length minus one is a multiple of the block span, and segments of several chunk files.
INSTANTIATE_TEST_SUITE_P(Sizes, SizedDownload,
                         ::testing::Values(1, 5, 15, 16, 100, 255, 256, 1048577 * 16 + 1, 16777232,
                                           40 * 1048576));

// A server that is slow to answer seems far: the first range's first blocks are asked for while
// it answers the probe, one on each of the fifteen other connections.
class FirstBlocksWithTheProbe : public EngineTest {
 protected:
  static constexpr int64_t kBlockSpan = 1048577;
  // Three whole blocks and a few bytes to each range.
  const std::string content = testing::RandomBytes(16 * 3 * kBlockSpan + 99, 13);
  const int64_t segmentLength = static_cast<int64_t>(content.size()) / 16;
  void SetUp() override {
    EngineTest::SetUp();
    state.firstBlocks = DownloadState::FirstBlocks::WithTheProbeOfAFarServer;
    server.SetDelays(300, 0);  // the first answer on every connection
  }
};

TEST_F(FirstBlocksWithTheProbe, TheRangeKeepsThoseItHoldsAndEveryOtherByteIsAskedForOnce) {
#ifdef _WIN32
  GTEST_SKIP() << "WinHTTP runs each exchange to its end when it starts: nothing goes out with the probe";
#endif
  Download(content);
  EXPECT_TRUE(Saved() == content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{});
  std::vector<std::pair<int64_t, int64_t>> ranges = server.Ranges();
  for (int64_t k = 0; k < 15; ++k) {
    auto block = std::find(ranges.begin(), ranges.end(), std::pair{k * kBlockSpan, k * kBlockSpan + kBlockSpan - 1});
    ASSERT_NE(block, ranges.end()) << "block " << k << " was asked for with the probe";
    // The first range holds the first three; the others were dropped once the size was known.
    if (k >= 3) ranges.erase(block);
  }
  ExpectEachByteFetchedOnce(ranges, static_cast<int64_t>(content.size()));
}

// Refused, one of them ends the range as a block asked for ahead does: the blocks before it are
// asked for again after the retry, and the count leaves out the whole range.
TEST_F(FirstBlocksWithTheProbe, ARefusedOneEndsTheRangeAsABlockAskedForAhead) {
  server.AddFault({testing::FaultKind::Unavailable, 2 * kBlockSpan, 1});
  AtThePrompt seen;
  RetryOnce(1, seen);
  Download(content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kRetryQuestion});
  EXPECT_TRUE(Saved() == content);
  EXPECT_EQ(seen.ledger.start, 0);
  EXPECT_EQ(seen.ledger.end, kBlockSpan - 1);
  EXPECT_EQ(seen.ledger.seq, 0);
  EXPECT_EQ(seen.downloaded, static_cast<int64_t>(content.size()) - (segmentLength + 1)) << "all but the first range";
}

TEST_F(EngineTest, LabelsShowTheRunInTheirFormat) {
  Download(testing::RandomBytes(5242880));
  std::vector<Text> labels = view.Labels();
  ASSERT_GE(labels.size(), 4u);
  EXPECT_EQ(labels.front(), "- 正在下载:0MB/5MB  进度:0%");
  EXPECT_TRUE(std::find(labels.begin(), labels.end(), "- 正在下载:5MB/5MB  进度:100%") != labels.end());
  EXPECT_EQ(labels[labels.size() - 2], "下载完毕，开始整合文件");
  EXPECT_EQ(labels.back(), "下载完成！");
  EXPECT_EQ(window.ProgressPosition(), 100);
}

TEST_F(EngineTest, FailedBlockPromptsOnceWithItsLedgerAndYesCompletesTheFile) {
  const std::string content = testing::RandomBytes(2 * 1048576);
  const int64_t segmentLength = content.size() / 16 + 1;
  const int64_t seventhStart = 6 * segmentLength;
  server.AddFault({testing::FaultKind::ServerError, seventhStart, 1});
  desktop.Script({kAnswerYes});
  Text ledgerAtPrompt;
  desktop.OnShow([&](const platform::ShownMessage&) {
    ledgerAtPrompt = testing::ReadFile(drive / "01-Download/diRediruzu/7/retry.ini");
  });
  Download(content);
  ASSERT_EQ(MessageTexts(), std::vector<Text>{kRetryQuestion});
  auto prompt = desktop.Messages().front();
  EXPECT_EQ(prompt.caption, "警告");
  EXPECT_EQ(prompt.buttons, platform::MessageButtons::YesNo);
  EXPECT_EQ(ledgerAtPrompt, "[retry]\r\nstart=" + std::to_string(seventhStart) +
                                "\r\nend=" + std::to_string(seventhStart + segmentLength - 1) + "\r\nseq=0\r\n");
  EXPECT_TRUE(Saved() == content);
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
}

TEST_F(EngineTest, RepeatedFailuresPromptAgain) {
  const std::string content = testing::RandomBytes(2 * 1048576, 3);
  server.AddFault({testing::FaultKind::ServerError, 6 * static_cast<int64_t>(content.size() / 16 + 1), 2});
  desktop.Script({kAnswerYes, kAnswerYes});
  Download(content);
  EXPECT_EQ(MessageTexts(), (std::vector<Text>{kRetryQuestion, kRetryQuestion}));
  EXPECT_TRUE(Saved() == content);
}

TEST_F(EngineTest, DroppedConnectionIsARejectedBlock) {
  const std::string content = testing::RandomBytes(2 * 1048576, 4);
  server.AddFault({testing::FaultKind::DropConnection, 6 * static_cast<int64_t>(content.size() / 16 + 1), -1});
  desktop.Script({kAnswerYes}, kAnswerNo);
  Download(content);
  EXPECT_EQ(MessageTexts(), (std::vector<Text>{kRetryQuestion, kRetryQuestion}));
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载失败");
}

TEST_F(EngineTest, DecliningDeletesTheTreeAndLeavesTheTargetAlone) {
  testing::WriteFile(drive / "target.zip", "previous");
  server.AddFault({testing::FaultKind::ServerError, 300000 / 16 + 1, 1});  // segment 2
  desktop.Script({kAnswerNo});
  Download(testing::RandomBytes(300000));
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kRetryQuestion});
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载失败");
  EXPECT_FALSE(fs::exists(drive / "01-Download/diRediruzu"));
  EXPECT_EQ(Saved(), "previous");
  EXPECT_TRUE(desktop.Opened().empty());

  // The next run starts clean and needs no prompt.
  const std::string content = testing::RandomBytes(300000, 9);
  Download(content);
  EXPECT_EQ(desktop.Messages().size(), 1u);
  EXPECT_TRUE(Saved() == content);
}

TEST_F(EngineTest, WrongLengthAnswersAreRejectedNotStored) {
  // A short body in the middle of a segment, after a chunk boundary, and a whole-file answer.
  const std::string content = testing::RandomBytes(40 * 1048576, 5);
  const int64_t segmentLength = content.size() / 16 + 1;
  server.AddFault({testing::FaultKind::ShortBody, 1048577, 1});
  server.AddFault({testing::FaultKind::IgnoreRange, 2 * segmentLength, 1});
  desktop.Script({kAnswerYes, kAnswerYes});
  Download(content);
  EXPECT_GE(desktop.Messages().size(), 1u);
  EXPECT_TRUE(Saved() == content);
}

TEST_F(EngineTest, WorkerKeepsChunksWrittenBeforeAFailureAndResumesAfterThem) {
  const std::string content = testing::RandomBytes(12 * 1048577, 6);  // one segment of 12 blocks
  const int64_t failedBlock = 10 * 1048577;  // the first block after the first chunk
  PlanOneRange(content);
  server.AddFault({testing::FaultKind::ServerError, failedBlock, 1});

  SegmentWorker(engine.Context(), 1, 0);
  EXPECT_EQ(state.failed.load(), 1);
  EXPECT_EQ(testing::ReadFile(drive / "01-Download/diRediruzu/1/retry.ini"),
            "[retry]\r\nstart=" + std::to_string(failedBlock) + "\r\nend=" + std::to_string(failedBlock + 1048576) +
                "\r\nseq=1\r\n");
  EXPECT_EQ(fs::file_size(drive / "01-Download/diRediruzu/1/1.temp"), 10485770u);
  EXPECT_EQ(state.downloaded, failedBlock) << "only bytes on disk stay counted";

  SegmentWorker(engine.Context(), 1, 1);
  EXPECT_TRUE(testing::ReadFile(drive / "01-Download/diRediruzu/1.temp") == content);
  EXPECT_FALSE(fs::exists(drive / "01-Download/diRediruzu/1")) << "the segment directory is gone";
  EXPECT_EQ(state.downloaded, state.totalSize);
}

// Offsets of 10^13 and more lost their last digits in a 13-digit number text, and a resume
// would have started at the wrong byte.
TEST(ResumeLedgerFile, KeepsEveryOffsetExactly) {
  testing::TempDrive drive;
  const Text path = "D:\\retry.ini";
  WriteLedger(path, {1048577, 2097153, 2});
  EXPECT_EQ(testing::ReadFile(drive / "retry.ini"), "[retry]\r\nstart=1048577\r\nend=2097153\r\nseq=2\r\n");
  const ResumeLedger distant{12345678901234567, 12345678902283143, 7};
  WriteLedger(path, distant);
  const ResumeLedger read = ReadLedger(path);
  EXPECT_EQ(read.start, distant.start);
  EXPECT_EQ(read.end, distant.end);
  EXPECT_EQ(read.seq, distant.seq);
}

TEST_F(EngineTest, UnknownSizeShowsTheErrorAndChangesNothing) {
  for (auto fault : {testing::FaultKind::NoContentRange, testing::FaultKind::UnknownTotal,
                     testing::FaultKind::IgnoreRange}) {
    server.AddFault({fault, 0, 1});
    Download(testing::RandomBytes(1000));
    ASSERT_FALSE(desktop.Messages().empty());
    auto message = desktop.Messages().back();
    EXPECT_EQ(message.text, kUnknownSize);
    EXPECT_EQ(message.caption, "错误");
    EXPECT_EQ(message.icon, platform::MessageIcon::Error);
    EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "- 正在获取链接...");
    EXPECT_FALSE(fs::exists(drive / "target.zip"));
    EXPECT_EQ(server.Ranges().size(), desktop.Messages().size()) << "only the probes";
    EXPECT_TRUE(desktop.Opened().empty());
  }
  EXPECT_EQ(desktop.Messages().size(), 3u);
}

// A server that ignores the probe's range and sends the whole archive is cut off after a few
// bytes instead of being received into memory.
TEST_F(EngineTest, ProbeStopsReceivingAWholeFileAnswer) {
  server.AddFault({testing::FaultKind::IgnoreRange, 0, 1});
  Download(testing::RandomBytes(64 << 20));
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kUnknownSize});
  server.Stop();  // an answer still being sent fails now; one that was received whole has ended
  EXPECT_EQ(server.AbortedAnswers(), 1) << "the client read the whole body";
}

TEST_F(EngineTest, LowerCaseHeaderNamesAreReadAsAnyOthers) {
  server.AddFault({testing::FaultKind::LowerCaseHeader, -1, -1});
  const std::string content = testing::RandomBytes(3 * 1048576, 8);
  Download(content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{});
  EXPECT_TRUE(Saved() == content);
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
}

// A release link that redirects to a content address, as a code host's does; each row with
// blocks asked for one at a time and with the next block's request in flight.
class RedirectingLink : public EngineTest, public ::testing::WithParamInterface<DownloadState::BlockOverlap> {
 protected:
  void DownloadThroughTheLink(const std::string& content) {
    server.SetFile(content);
    state.link = server.BaseUrl() + testing::RangeServer::kRedirectPath;
    state.savePath = kSavePath;
    state.blockOverlap = GetParam();
    engine.RunDownload();
  }
  const std::string content = testing::RandomBytes(20 * 1048576, 9);
};

TEST_P(RedirectingLink, OneRedirectServesEveryBlock) {
  DownloadThroughTheLink(content);
  EXPECT_TRUE(Saved() == content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{});
  EXPECT_EQ(server.RedirectsAnswered(), 1) << "the probe's";
  ExpectEachByteFetchedOnce(server.Ranges(), static_cast<int64_t>(content.size()));
}

TEST_P(RedirectingLink, AnExpiredSignedAddressIsRenewedThroughTheLink) {
  server.SignRedirects(12);  // the 36 block requests outlive a few signatures
  DownloadThroughTheLink(content);
  EXPECT_TRUE(Saved() == content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{}) << "an expired address is no failed block";
  EXPECT_GT(server.RedirectsAnswered(), 1) << "renewed";
  EXPECT_LT(server.RedirectsAnswered(), 30) << "only when it had expired: " << server.RedirectsAnswered();
}

TEST_P(RedirectingLink, ABlockThatTheLinkRefusesToo) {
  const int64_t secondSegment = static_cast<int64_t>(content.size()) / 16 + 1;
  server.AddFault({testing::FaultKind::ServerError, secondSegment, 2});  // the address, then the link
  desktop.Script({kAnswerYes});
  DownloadThroughTheLink(content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kRetryQuestion});
  EXPECT_TRUE(Saved() == content);
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
}

INSTANTIATE_TEST_SUITE_P(Blocks, RedirectingLink,
                         ::testing::Values(DownloadState::BlockOverlap::ForFarMultiplexedServers,
                                           DownloadState::BlockOverlap::Always),
                         [](const auto& info) {
                           return info.param == DownloadState::BlockOverlap::Always ? "Overlapped" : "OneAtATime";
                         });

// A block refused while the next one's request is in flight: the ledger, the downloaded count
// and the prompt come out as when blocks are asked for one at a time, and the file is whole.
class RefusedBlockAhead : public EngineTest, public ::testing::WithParamInterface<DownloadState::BlockOverlap> {};

TEST_P(RefusedBlockAhead, EndsAsWithOneBlockAtATime) {
  const std::string content = testing::RandomBytes(16 * 3 * 1048577 + 99, 12);
  const int64_t segmentLength = static_cast<int64_t>(content.size()) / 16;
  const int64_t segmentStart = 4 * (segmentLength + 1), blockSpan = 1048577;
  server.AddFault({testing::FaultKind::Unavailable, segmentStart + 2 * blockSpan, 1});  // its third block
  AtThePrompt seen;
  RetryOnce(5, seen);
  state.blockOverlap = GetParam();
  Download(content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kRetryQuestion});
  EXPECT_TRUE(Saved() == content);
  // The two blocks before it are kept in memory and asked for again; no chunk was written yet.
  EXPECT_EQ(seen.ledger.start, segmentStart);
  EXPECT_EQ(seen.ledger.end, segmentStart + 1048576);
  EXPECT_EQ(seen.ledger.seq, 0);
  EXPECT_EQ(seen.downloaded, static_cast<int64_t>(content.size()) - (segmentLength + 1)) << "all but that segment";
}

INSTANTIATE_TEST_SUITE_P(Blocks, RefusedBlockAhead,
                         ::testing::Values(DownloadState::BlockOverlap::ForFarMultiplexedServers,
                                           DownloadState::BlockOverlap::Always),
                         [](const auto& info) {
                           return info.param == DownloadState::BlockOverlap::Always ? "Overlapped" : "OneAtATime";
                         });

// One spoiled answer per row, on the first block of a middle segment or of the last one. Every
// row ends with the served bytes after one retry, or with the failure after a refusal, and
// never with a finished download over other bytes.
struct SpoiledAnswer {
  const char* name;
  testing::FaultKind kind;
  int segment;  // 1-based
};
void PrintTo(const SpoiledAnswer& answer, std::ostream* out) { *out << answer.name; }

class SpoiledBlock : public EngineTest, public ::testing::WithParamInterface<std::tuple<SpoiledAnswer, int>> {};

TEST_P(SpoiledBlock, IsRejectedAndOnlyTheServedBytesAreSaved) {
  const auto [spoiled, answer] = GetParam();
  const std::string content = testing::RandomBytes(2 * 1048576 + 12345, 11);
  const int64_t segmentLength = static_cast<int64_t>(content.size()) / 16 + 1;
  testing::WriteFile(drive / "target.zip", "previous");
  server.AddFault({spoiled.kind, (spoiled.segment - 1) * segmentLength, 1});
  desktop.Script({answer});
  Download(content);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{kRetryQuestion});
  if (answer == kAnswerYes) {
    EXPECT_TRUE(Saved() == content);
    EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
  } else {
    EXPECT_EQ(Saved(), "previous");
    EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载失败");
    EXPECT_TRUE(desktop.Opened().empty());
  }
}

const SpoiledAnswer kSpoiledAnswers[] = {
    {"ShiftedRange", testing::FaultKind::ShiftedRange, 7},
    {"ShiftedRangeAtTheEnd", testing::FaultKind::ShiftedRange, 16},
    {"NoContentRange", testing::FaultKind::NoContentRange, 7},
    {"WholeFile", testing::FaultKind::IgnoreRange, 7},
    {"Status416", testing::FaultKind::RangeNotSatisfiable, 7},
    {"Status429", testing::FaultKind::TooManyRequests, 7},
    {"Status503", testing::FaultKind::Unavailable, 7},
    {"OneByteShort", testing::FaultKind::ShortBody, 7},
    {"OneByteShortAtTheEnd", testing::FaultKind::ShortBody, 16},
    {"DroppedConnection", testing::FaultKind::DropConnection, 7},
};

INSTANTIATE_TEST_SUITE_P(Faults, SpoiledBlock,
                         ::testing::Combine(::testing::ValuesIn(kSpoiledAnswers), ::testing::Values(kAnswerYes, kAnswerNo)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == kAnswerYes ? "_Retried" : "_Declined");
                         });

TEST_F(EngineTest, MissingSegmentFileFailsTheJoinWithoutOpening) {
  testing::WriteFile(drive / "target.zip", "previous");
  state.pool.Create(16);
  state.pool.SetThreadCallbacks({}, {}, [&](const TaskProcedure& worker, int32_t n, int32_t resume) {
    worker(n, resume);
    if (n == 3) platform::DeleteFileEntry(SegmentFilePath(kTempRoot, 3));
  });
  Download(testing::RandomBytes(100000));
  EXPECT_EQ(MessageTexts(), std::vector<Text>{"缺少临时文件，无法整合文件。"});
  EXPECT_EQ(desktop.Messages().front().caption, "信息：");
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载失败");
  EXPECT_EQ(Saved(), "previous") << "the target is not touched";
  EXPECT_TRUE(desktop.Opened().empty());
}

TEST_F(EngineTest, ShortJoinRemovesWhatItWrote) {
  state.pool.Create(16);
  state.pool.SetThreadCallbacks({}, {}, [&](const TaskProcedure& worker, int32_t n, int32_t resume) {
    worker(n, resume);
    if (n == 3) testing::WriteFile(drive / "01-Download/diRediruzu/3.temp", "short");
  });
  Download(testing::RandomBytes(100000));
  ASSERT_EQ(MessageTexts(), std::vector<Text>{"整合后的文件大小与服务器给出的不符，下载失败。"});
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载失败");
  EXPECT_FALSE(fs::exists(drive / "target.zip")) << "a partial archive is not left behind";
  EXPECT_TRUE(desktop.Opened().empty());
}

TEST_F(EngineTest, NeverPlannedEntryShowsTheEmptyTaskMessage) {
  state.plannedCount = 0;
  state.segments.assign(16, {});
  DownloadContext& context = engine.Context();
  SegmentWorker(context, 4, 0);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{"线程-4任务数据为空！"});
  EXPECT_EQ(state.failed.load(), 0);
}

}  // namespace
}  // namespace tovak::download
