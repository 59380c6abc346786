#include "tests/support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace tovak::testing {
namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A port that was free a moment ago; nginx reports a clash, and Start tries again.
uint16_t FreePort() {
  int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(socket);
  return port;
}

bool Accepts(uint16_t port) {
  int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = LoopbackAddress(port);
  bool connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(socket);
  return connected;
}

const char* NginxProgram() {
  for (const char* path : {"/usr/sbin/nginx", "/usr/local/sbin/nginx"})
    if (::access(path, X_OK) == 0) return path;
  return "nginx";
}

}  // namespace

NginxServer::~NginxServer() { Stop(); }

std::string NginxServer::Root() const { return (dir_ / "www").string(); }
std::string NginxServer::CertificatePath() const { return (dir_ / "cert.pem").string(); }

std::string NginxServer::BaseUrl(bool http2) const {
  return "https://127.0.0.1:" + std::to_string(http2 ? http2Port_ : http1Port_);
}

bool NginxServer::Configure() {
  const std::string d = dir_.Root();
  std::filesystem::create_directories(dir_ / "www");
  std::filesystem::create_directories(dir_ / "temp");
  if (!std::filesystem::exists(dir_ / "cert.pem")) {
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                                "-addext subjectAltName=IP:127.0.0.1 -keyout " + d + "/key.pem -out " + d +
                                "/cert.pem 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
      error_ = "openssl could not make a certificate";
      return false;
    }
  }
  http2Port_ = FreePort();
  http1Port_ = FreePort();
  // One process, in the foreground, with every file it writes inside the test's directory.
  WriteFile(dir_ / "nginx.conf",
            "daemon off;\nmaster_process off;\nerror_log " + d + "/error.log warn;\npid " + d + "/nginx.pid;\n"
            "events { worker_connections 256; }\n"
            "http {\n  access_log off;\n  default_type application/octet-stream;\n"
            "  client_body_temp_path " + d + "/temp/body;\n  proxy_temp_path " + d + "/temp/proxy;\n"
            "  fastcgi_temp_path " + d + "/temp/fastcgi;\n  uwsgi_temp_path " + d + "/temp/uwsgi;\n"
            "  scgi_temp_path " + d + "/temp/scgi;\n"
            "  ssl_certificate " + d + "/cert.pem;\n  ssl_certificate_key " + d + "/key.pem;\n"
            "  server { listen 127.0.0.1:" + std::to_string(http2Port_) + " ssl http2; root " + d + "/www; }\n"
            "  server { listen 127.0.0.1:" + std::to_string(http1Port_) + " ssl; root " + d + "/www; }\n}\n");
  return true;
}

bool NginxServer::Answering() const { return Accepts(http2Port_) && Accepts(http1Port_); }

bool NginxServer::Start() {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!Configure()) return false;
    const std::string prefix = dir_.Root(), config = prefix + "/nginx.conf", log = prefix + "/error.log";
    pid_ = ::fork();
    if (pid_ == 0) {
      // A test that is killed (a time-out, say) takes its server with it.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      ::execlp(NginxProgram(), "nginx", "-p", prefix.c_str(), "-c", config.c_str(), "-e", log.c_str(), nullptr);
      ::_exit(127);
    }
    if (pid_ < 0) {
      error_ = "cannot start nginx";
      return false;
    }
    for (int i = 0; i < 200; ++i) {  // up to 5 s
      if (Answering()) return true;
      int status;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    Stop();
  }
  error_ = "nginx did not answer (is it installed?): " + ReadFile(dir_ / "error.log");
  return false;
}

void NginxServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace tovak::testing
