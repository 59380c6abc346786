// HTTPS against a server of this test's own, with a certificate it makes.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "http/http_request.h"
#include "tests/support/test_env.h"

namespace tovak::http {
namespace {

// A certificate made for 127.0.0.1 by this test: refused while untrusted, accepted once trusted.
TEST(HttpRequestTls, RefusesAnUntrustedCertificate) {
  testing::TempDrive dir;
  const std::string key = (dir / "key.pem").string(), cert = (dir / "cert.pem").string();
  std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                        "-addext subjectAltName=IP:127.0.0.1 -keyout " + key + " -out " + cert + " 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  httplib::SSLServer tls(cert.c_str(), key.c_str());
  tls.Get("/hello", [](const httplib::Request&, httplib::Response& res) { res.set_content("hello", "text/plain"); });
  int port = tls.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { tls.listen_after_bind(); });
  for (int i = 0; i < 500 && !tls.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string url = "https://127.0.0.1:" + std::to_string(port) + "/hello";

  int32_t status = 0;
  EXPECT_EQ(HttpRequest({.url = url, .status = &status}), "");
  EXPECT_EQ(status, 0);
  ::setenv("SSL_CERT_FILE", cert.c_str(), 1);
  EXPECT_EQ(HttpRequest({.url = url, .status = &status}), "hello");
  EXPECT_EQ(status, 200);
  ::unsetenv("SSL_CERT_FILE");
  tls.stop();
  serving.join();
}

}  // namespace
}  // namespace tovak::http
