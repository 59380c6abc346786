#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "http/http_request.h"
#include "platform/posix/connection_choice.h"
#include "tests/support/range_server.h"
#include "tests/support/test_env.h"

namespace tovak::platform {
namespace {

constexpr double kMiB = 1048576.0;

struct ChoiceCase {
  const char* name;
  std::vector<ConnectionLoad> connections;
  int room;
  double bytesStillWanted;
  ConnectionChoice expected;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class ChooseConnectionTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseConnectionTest, PlacesTheExchangeWhereItEndsFirst) {
  const ChoiceCase& c = GetParam();
  const ConnectionChoice choice = ChooseConnection(c.connections, c.room, kMiB, static_cast<int64_t>(c.bytesStillWanted));
  EXPECT_EQ(choice.connection, c.expected.connection);
  EXPECT_EQ(choice.now, c.expected.now);
}

// Rates in MiB/s: 1 is slow, 4 is fast. A connection {running, rate, backlog}.
const ChoiceCase kCases[] = {
    {"AnUnusedConnectionIsOpenedFirst", {{1, 4 * kMiB, 0.1 * kMiB}, {0, 0, 0}}, 2, 100 * kMiB, {1, true}},
    {"UnmeasuredConnectionsFillTheLeastBusyFirst", {{2, 0, 0}, {1, 0, 0}, {2, 0, 0}}, 3, -1, {1, true}},
    {"AnUnmeasuredConnectionCountsAtTheBestRate",
     {{1, 0, 2 * kMiB}, {1, 1 * kMiB, 0.9 * kMiB}}, 2, 100 * kMiB, {1, true}},
    {"TheConnectionWhereItEndsFirst",
     {{1, 1 * kMiB, 0.2 * kMiB}, {1, 4 * kMiB, 0.9 * kMiB}, {1, 2 * kMiB, 0.1 * kMiB}}, 2, 100 * kMiB, {1, true}},
    {"MidDownloadASlowConnectionWithRoomIsUsed",
     {{1, 1 * kMiB, 0.5 * kMiB}, {2, 4 * kMiB, 1 * kMiB}}, 2, 100 * kMiB, {0, true}},
    {"NearTheEndItWaitsForAFastFullConnection",
     {{1, 1 * kMiB, 0.5 * kMiB}, {2, 4 * kMiB, 1 * kMiB}}, 2, 3 * kMiB, {1, false}},
    {"ABlockLateOnASlowConnectionWouldHoldBackItsRange",
     {{1, 1 * kMiB, 0.5 * kMiB}, {2, 4 * kMiB, 1 * kMiB}}, 2, 7 * kMiB, {1, false}},
    {"NearTheEndASlowConnectionStillTakesWhatNoneEndsSooner",
     {{1, 1 * kMiB, 0}, {2, 4 * kMiB, 8 * kMiB}}, 2, 3 * kMiB, {0, true}},
    {"WithoutKnowingWhatIsLeftEveryFreeConnectionIsUsed",
     {{1, 1 * kMiB, 0.5 * kMiB}, {2, 4 * kMiB, 1 * kMiB}}, 2, -1, {0, true}},
    {"AllFullItWaitsForTheOneWhereItEndsFirst",
     {{2, 1 * kMiB, 1 * kMiB}, {2, 4 * kMiB, 1 * kMiB}}, 2, 100 * kMiB, {1, false}},
    {"OneExchangePerConnectionWithoutMultiplexing",
     {{1, 4 * kMiB, 0.5 * kMiB}, {0, 1 * kMiB, 0}}, 1, 100 * kMiB, {1, true}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ChooseConnectionTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Sixteen answers that the server holds back for a second fill every connection (one each over
// HTTP/1.1); the three started after them, in the order 30, 10, 20, reach the server lowest order
// first.
TEST(TransferQueue, WaitingExchangesGoLowestOrderFirst) {
  testing::RangeServer server;
  server.SetFile(testing::RandomBytes(5000));
  server.SetDelays(0, 1000);
  ASSERT_TRUE(server.Start());
  const std::string url = server.BaseUrl() + "/releases/download/v2.0.1/tovak.security.zip";
  struct Exchange {
    int32_t status = 0;
    Bytes body;
    std::unique_ptr<http::PendingHttpRequest> pending;
  };
  std::vector<Exchange> exchanges(19);
  auto start = [&](int k, int64_t order) {
    Exchange& e = exchanges[static_cast<size_t>(k)];
    e.pending = http::BeginHttpRequest({.url = url,
                                        .headers = "Range : bytes=" + std::to_string(k * 100) + "-" + std::to_string(k * 100 + 99),
                                        .status = &e.status,
                                        .appendBodyTo = &e.body,
                                        .queueHint = {.order = order}});
    ASSERT_NE(e.pending, nullptr);
  };
  // Started 50 ms apart, so that their answers free the connections one at a time.
  for (int k = 0; k < 16; ++k) {
    start(k, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  start(16, 30);
  start(17, 10);
  start(18, 20);
  for (Exchange& e : exchanges) e.pending->Finish();
  for (Exchange& e : exchanges) EXPECT_EQ(e.status, 206);
  const auto ranges = server.Ranges();
  ASSERT_EQ(ranges.size(), 19u);
  EXPECT_EQ(ranges[16].first, 1700);
  EXPECT_EQ(ranges[17].first, 1800);
  EXPECT_EQ(ranges[18].first, 1600);
}

}  // namespace
}  // namespace tovak::platform
