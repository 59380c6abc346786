// The engine against Debian's nginx over HTTPS, as users' hosts serve the archive: HTTP/2 (lower-
// case header names, one connection multiplexed) and HTTP/1.1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "http/http_request.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/nginx_server.h"

namespace tovak::download {
namespace {

namespace fs = std::filesystem;
using platform::ControlId;

constexpr const char* kReleasePath = "/releases/download/v1.4.2/tovak.security.zip";

class RealServer : public testing::EngineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(nginx.Start()) << nginx.Error();
    ::setenv("SSL_CERT_FILE", nginx.CertificatePath().c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("SSL_CERT_FILE");
    nginx.Stop();
    EngineTest::TearDown();
  }
  bool Http2() const { return GetParam(); }
  std::string Publish(const std::string& content) {
    const fs::path file = fs::path(nginx.Root()) / std::string(kReleasePath).substr(1);
    fs::create_directories(file.parent_path());
    testing::WriteFile(file, content);
    return nginx.BaseUrl(Http2()) + kReleasePath;
  }
  testing::NginxServer nginx;
};

TEST_P(RealServer, ProbeReadsTheServersOwnHeaders) {
  const std::string link = Publish(testing::RandomBytes(123456));
  Text headers;
  int32_t status = 0;
  http::HttpRequest({.url = link, .headers = "Range : bytes=0-0", .responseHeaders = &headers, .status = &status});
  EXPECT_EQ(status, 206);
  // The header's spelling shows which protocol the exchange spoke.
  const Text line = Http2() ? "content-range: bytes 0-0/123456\r\n" : "Content-Range: bytes 0-0/123456\r\n";
  EXPECT_NE(headers.find(line), Text::npos) << headers;
}

TEST_P(RealServer, WholeDownloadIsByteIdentical) {
  const std::string content = testing::RandomBytes(24 * 1048576 + 4321, 21);
  state.link = Publish(content);
  state.savePath = kSavePath;
  engine.RunDownload();
  EXPECT_EQ(MessageTexts(), std::vector<Text>{});
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "下载完成！");
  EXPECT_TRUE(Saved() == content);
  EXPECT_FALSE(fs::exists(drive / "01-Download/diRediruzu"));
}

// The next block's request in flight while the current body arrives: over HTTP/2 on the same
// connection, over HTTP/1.1 on a second one.
TEST_P(RealServer, OverlappedDownloadIsByteIdentical) {
  const std::string content = testing::RandomBytes(24 * 1048576 + 4321, 22);
  state.link = Publish(content);
  state.savePath = kSavePath;
  state.blockOverlap = DownloadState::BlockOverlap::Always;
  engine.RunDownload();
  EXPECT_TRUE(state.overlapBlocks);
  EXPECT_EQ(MessageTexts(), std::vector<Text>{});
  EXPECT_TRUE(Saved() == content);
}

// The first range's first blocks asked for with the probe, as for a far server: over HTTP/2 the
// ones the range does not hold are cancelled on a shared connection, over HTTP/1.1 with theirs.
TEST_P(RealServer, FirstBlocksWithTheProbeGiveAByteIdenticalFile) {
  const std::string content = testing::RandomBytes(16 * 3 * 1048577 + 4321, 23);
  state.link = Publish(content);
  state.savePath = kSavePath;
  state.firstBlocks = DownloadState::FirstBlocks::WithTheProbe;
  if (Http2()) state.blockOverlap = DownloadState::BlockOverlap::Always;  // as for a far server
  engine.RunDownload();
  EXPECT_EQ(MessageTexts(), std::vector<Text>{});
  EXPECT_TRUE(Saved() == content);
}

TEST_P(RealServer, ProbeTellsAMultiplexedConnection) {
  const std::string link = Publish(testing::RandomBytes(1000));
  bool multiplexed = !Http2();
  http::HttpRequest({.url = link, .headers = "Range : bytes=0-0", .multiplexed = &multiplexed});
  EXPECT_EQ(multiplexed, Http2());
}

INSTANTIATE_TEST_SUITE_P(Nginx, RealServer, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Http2" : "Http1"; });

}  // namespace
}  // namespace tovak::download
