#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "http/http_request.h"
#include "tests/support/range_server.h"
#include "text/text_ops.h"
#include "tests/support/test_env.h"

namespace tovak::http {
namespace {

// Records the calls that the request routine makes and answers with a canned response.
class RecordingRequest final : public platform::HttpRequestObject {
 public:
  std::vector<std::string> calls;
  std::vector<std::pair<Text, Text>> headers;
  Text sentBody;
  Text responseHeaders = "Set-Cookie: s=9; path=/\r\nContent-Type: text/plain\r\n";
  int32_t status = 200;

  void SetTimeouts(int32_t a, int32_t b, int32_t c, int32_t d) override {
    calls.push_back("SetTimeouts " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
                    std::to_string(d));
  }
  void SetProxy(int32_t setting, const Text& proxy) override {
    calls.push_back("SetProxy " + std::to_string(setting) + " " + proxy);
  }
  void Open(const Text& verb, const Text& url, bool) override { calls.push_back("Open " + verb + " " + url); }
  void SetOption(int32_t option, int32_t value) override {
    calls.push_back("Option " + std::to_string(option) + " " + std::to_string(value));
  }
  void SetCredentials(const Text& user, const Text& password, int32_t target) override {
    calls.push_back("SetCredentials " + user + " " + password + " " + std::to_string(target));
  }
  void SetRequestHeader(const Text& name, const Text& value) override { headers.emplace_back(name, value); }
  void SendText(const Text& body) override { sentBody = "text:" + body; }
  void SendBytes(const Bytes& body) override { sentBody = "bytes:" + body; }
  void StartText(const Text& body) override { SendText(body); }
  void StartBytes(const Bytes& body) override { SendBytes(body); }
  void FinishSend() override {}
  bool AnsweredWithin(int32_t) override { return true; }
  bool Multiplexed() override { return false; }
  void SetQueueHint(const platform::QueueHint&) override {}
  void SetBodySink(Bytes*, int64_t) override {}
  Bytes TakeResponseBody() override { return "body"; }
  Text GetAllResponseHeaders() override { return responseHeaders; }
  Text ResponseUrl() override { return {}; }
  int32_t Status() override { return status; }

  bool Called(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }
  bool HasHeader(const Text& name) const {
    return std::any_of(headers.begin(), headers.end(), [&](auto& h) { return h.first == name; });
  }
};

std::shared_ptr<RecordingRequest> Record(HttpRequestParams params) {
  auto request = std::make_shared<RecordingRequest>();
  params.sharedRequest = request;
  if (params.url.empty()) params.url = "http://h/x";
  HttpRequest(params);
  return request;
}

TEST(HttpRequestProfile, MethodsAndContentType) {
  struct Case {
    int32_t method;
    const char* verb;
    bool contentType;
  } cases[] = {{8, "GET", false}, {-1, "GET", false}, {1, "POST", true}, {2, "HEAD", false}, {7, "CONNECT", false}};
  for (const Case& c : cases) {
    auto r = Record({.method = c.method});
    EXPECT_TRUE(r->Called(std::string("Open ") + c.verb + " http://h/x")) << c.method;
    EXPECT_EQ(r->HasHeader("Content-Type"), c.contentType) << c.method;
  }
}

TEST(HttpRequestProfile, TimeoutsFollowTheirRule) {
  struct Case {
    int32_t seconds;
    const char* call;
  } cases[] = {{0, "SetTimeouts 15000 15000 15000 15000"},
               {-7, "SetTimeouts 15000 15000 15000 15000"},
               {20, "SetTimeouts 20000 20000 20000 20000"}};
  for (const Case& c : cases) EXPECT_TRUE(Record({.timeoutSeconds = c.seconds})->Called(c.call)) << c.seconds;
  auto none = Record({.timeoutSeconds = -1});
  EXPECT_FALSE(std::any_of(none->calls.begin(), none->calls.end(), [](auto& s) { return s.rfind("SetTimeouts", 0) == 0; }));
}

TEST(HttpRequestProfile, RangeProbeSendsItsHeaderThenTheStandardOnes) {
  auto r = Record({.url = "http://h/f.zip", .headers = "Range : bytes=0-0"});
  std::vector<std::pair<Text, Text>> want = {{"Range", "bytes=0-0"},
                                             {"Accept", "*/*"},
                                             {"Referer", "http://h/f.zip"},
                                             {"Accept-Language", "zh-cn"},
                                             {"User-Agent", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"}};
  EXPECT_EQ(r->headers, want);
  EXPECT_EQ(r->sentBody, "text:");
  EXPECT_FALSE(r->Called("Option 4 13056")) << "certificate errors are never ignored";
  EXPECT_TRUE(Record({.noRedirect = true})->Called("Option 6 0"));
}

TEST(HttpRequestProfile, ProbesIgnoreCaseAndKeepAliveLinesAreSkipped) {
  auto lower = Record({.headers = "accept: text/html"});
  EXPECT_EQ(lower->headers.front(), (std::pair<Text, Text>{"Accept", "text/html"}));
  EXPECT_EQ(std::count_if(lower->headers.begin(), lower->headers.end(), [](auto& h) { return h.first == "Accept"; }), 1);
  auto suffix = Record({.headers = "X-Accept: 1"});
  EXPECT_FALSE(suffix->HasHeader("Accept")) << "the probe is a plain substring search";

  auto keepAlive = Record({.headers = "Connection: keep-alive\r\nX: 1"});
  EXPECT_FALSE(keepAlive->HasHeader("Connection"));
  EXPECT_TRUE(Record({.headers = "Connection: close\r\nX: 1"})->HasHeader("Connection"));
  auto alone = Record({.headers = "Connection: keep-alive", .completeHeaders = false});
  EXPECT_TRUE(alone->HasHeader("Connection")) << "a single line is sent as it is";
}

TEST(HttpRequestProfile, ProxyCredentials) {
  auto both = Record({.proxy = "127.0.0.1:3128", .proxyUser = "u", .proxyPassword = ""});
  EXPECT_TRUE(both->Called("SetProxy 2 127.0.0.1:3128"));
  EXPECT_TRUE(both->Called("SetCredentials u  1"));
  ASSERT_TRUE(both->HasHeader("Proxy-Authorization"));
  EXPECT_EQ(both->headers.front(), (std::pair<Text, Text>{"Proxy-Authorization", "Basic dTo="}));
  auto noProxy = Record({.proxyUser = "u"});
  EXPECT_FALSE(noProxy->HasHeader("Proxy-Authorization"));
  auto server = Record({.proxy = "p", .proxyUser = "u", .credentialTarget = 0});
  EXPECT_TRUE(server->Called("SetCredentials u  0"));
  EXPECT_FALSE(server->HasHeader("Proxy-Authorization"));
}

TEST(HttpRequestProfile, CookiesAndBodies) {
  Text cookies = "Cookie: a=1";
  Text received;
  auto r = Record({.cookies = &cookies, .receivedCookies = &received, .mergeCookies = false});
  EXPECT_EQ(r->headers.front(), (std::pair<Text, Text>{"Cookie", " a=1"}));
  EXPECT_EQ(cookies, " a=1");
  EXPECT_EQ(received, "s=9");

  Text merged = "a=1";
  Record({.cookies = &merged, .receivedCookies = &received});
  EXPECT_EQ(merged, "s=9; a=1");
  EXPECT_EQ(received, "s=9; a=1") << "with merging the received cookies are the merged text";

  Text empty;
  auto e = Record({.cookies = &empty});
  EXPECT_EQ(e->headers.front(), (std::pair<Text, Text>{"Cookie", ""}));
  EXPECT_FALSE(Record({})->HasHeader("Cookie"));

  EXPECT_EQ(Record({.bodyText = "t", .bodyBytes = "b"})->sentBody, "bytes:b");
  Text headers;
  int32_t status = 0;
  Record({.responseHeaders = &headers, .status = &status});
  EXPECT_EQ(status, 200);
  EXPECT_EQ(headers, "Set-Cookie: s=9; path=/\r\nContent-Type: text/plain\r\n");
}

class LiveServer : public ::testing::Test {
 protected:
  void SetUp() override {
    server.SetTitle("2.0.1");
    server.SetFile(testing::RandomBytes(5000));
    ASSERT_TRUE(server.Start());
  }
  std::string FileUrl() { return server.BaseUrl() + "/releases/download/v2.0.1/tovak.security.zip"; }
  testing::RangeServer server;
};

TEST_F(LiveServer, FetchesARangeWithItsContentRange) {
  Text headers;
  int32_t status = 0;
  Bytes body = HttpRequest({.url = FileUrl(), .headers = "Range : bytes=10-19", .responseHeaders = &headers, .status = &status});
  EXPECT_EQ(status, 206);
  EXPECT_EQ(body, testing::RandomBytes(5000).substr(10, 10));
  EXPECT_NE(headers.find("Content-Range: bytes 10-19/5000\r\n"), std::string::npos) << headers;
}

TEST_F(LiveServer, FollowsRedirectsUnlessAskedNotToAndTellsWhereTheyLed) {
  int32_t status = 0;
  Text ledTo;
  Bytes body = HttpRequest({.url = server.BaseUrl() + "/moved", .headers = "Range : bytes=0-0", .status = &status,
                            .responseUrl = &ledTo});
  EXPECT_EQ(status, 206);
  EXPECT_EQ(body.size(), 1u);
  EXPECT_TRUE(text::StartsWith(ledTo, server.BaseUrl() + "/releases/download/v")) << ledTo;
  HttpRequest({.url = server.BaseUrl() + "/moved", .status = &status, .noRedirect = true, .responseUrl = &ledTo});
  EXPECT_EQ(status, 302);
  EXPECT_EQ(ledTo, server.BaseUrl() + "/moved") << "no redirect taken: the address itself";
  // The caller's own text, not an encoded form of it.
  const Text page = server.BaseUrl() + "/tovak安全/Dev/Update.html";
  HttpRequest({.url = page, .responseUrl = &ledTo});
  EXPECT_EQ(ledTo, page);
  server.Stop();
  HttpRequest({.url = page, .responseUrl = &ledTo});
  EXPECT_EQ(ledTo, "") << "a failed exchange led nowhere";
}

// Bodies collected in one buffer: appended after what is there, never past the limit, and a
// failed or refused exchange leaves the buffer as it was.
TEST_F(LiveServer, AppendsBodiesToTheCallersBufferWithinTheLimit) {
  const Bytes file = testing::RandomBytes(5000);
  Bytes collected = "kept";
  int32_t status = 0;
  Bytes returned = HttpRequest(
      {.url = FileUrl(), .headers = "Range : bytes=0-99", .status = &status, .appendBodyTo = &collected, .bodyLimit = 100});
  EXPECT_EQ(status, 206);
  EXPECT_TRUE(returned.empty());
  EXPECT_EQ(collected, "kept" + file.substr(0, 100));

  server.AddFault({testing::FaultKind::IgnoreRange});
  HttpRequest({.url = FileUrl(), .headers = "Range : bytes=100-199", .status = &status, .appendBodyTo = &collected,
               .bodyLimit = 100});
  EXPECT_EQ(status, 0) << "a whole-file answer to a range is cut off as a failure";
  EXPECT_EQ(collected, "kept" + file.substr(0, 100));

  server.AddFault({testing::FaultKind::ShortBody});
  HttpRequest({.url = FileUrl(), .headers = "Range : bytes=100-199", .status = &status, .appendBodyTo = &collected,
               .bodyLimit = 100});
  EXPECT_EQ(collected, "kept" + file.substr(0, 100) + file.substr(100, 99)) << "a short body is the caller's to judge";
  EXPECT_EQ(status, 206);

  std::string refused = server.BaseUrl() + "/x";
  server.Stop();
  const Bytes before = collected;
  HttpRequest({.url = refused, .status = &status, .appendBodyTo = &collected});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(collected, before);
}

TEST_F(LiveServer, ReusesTheConnectionOfItsThread) {
  for (int i = 0; i < 5; ++i) HttpRequest({.url = FileUrl(), .headers = "Range : bytes=0-9"});
  EXPECT_EQ(server.Connections(), 1);
}

// The benchmark's throttled server: a connection sends no faster than its rate, from its first
// answer on and across the answers it carries.
TEST_F(LiveServer, RateLimitHoldsAConnectionToItsRate) {
  server.SetRateLimit(10000);
  const auto started = std::chrono::steady_clock::now();
  for (const char* range : {"Range : bytes=0-2499", "Range : bytes=2500-4999"})
    EXPECT_EQ(HttpRequest({.url = FileUrl(), .headers = range}).size(), 2500u);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_GE(seconds, 0.45) << "5000 bytes of bodies alone take half a second at 10000 bytes a second";
}

TEST(HttpRequestFailures, RefusedConnectionGivesEmptyResults) {
  testing::RangeServer closed;
  ASSERT_TRUE(closed.Start());
  std::string url = closed.BaseUrl() + "/x";
  closed.Stop();
  Text headers = "stale";
  int32_t status = 99;
  Bytes body = HttpRequest({.url = url, .responseHeaders = &headers, .status = &status});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "");
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace tovak::http
