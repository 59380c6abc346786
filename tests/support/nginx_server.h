#pragma once
// Debian's nginx, started by a test on 127.0.0.1 over HTTPS with a certificate made for the run:
// one port offers HTTP/2, the other HTTP/1.1 only. The certificate is trusted by pointing
// SSL_CERT_FILE at it.
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "tests/support/test_env.h"

namespace tovak::testing {

class NginxServer {
 public:
  NginxServer() = default;
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // Serves the files under Root(); false (with the reason in Error()) when nginx does not answer.
  bool Start();
  void Stop();
  std::string Root() const;
  std::string BaseUrl(bool http2) const;
  std::string CertificatePath() const;
  const std::string& Error() const { return error_; }

 private:
  bool Configure();
  bool Answering() const;

  TempDirectory dir_;
  pid_t pid_ = -1;
  uint16_t http2Port_ = 0, http1Port_ = 0;
  std::string error_;
};

}  // namespace tovak::testing
