#include "tests/support/range_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>

namespace tovak::testing {
namespace {

// The few calls whose spelling differs between BSD sockets and Winsock.
#ifdef _WIN32
constexpr int kShutBoth = SD_BOTH;
bool StartSockets() {
  static WSADATA data;
  static const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  return started;
}
Socket OpenSocket() { return static_cast<Socket>(::socket(AF_INET, SOCK_STREAM, 0)); }
Socket AcceptClient(Socket listener) { return static_cast<Socket>(::accept(listener, nullptr, nullptr)); }
void CloseSocket(Socket socket) { ::closesocket(socket); }
long SendSome(Socket socket, const char* data, size_t length) { return ::send(socket, data, static_cast<int>(length), 0); }
long ReceiveSome(Socket socket, char* data, size_t length) { return ::recv(socket, data, static_cast<int>(length), 0); }
bool Interrupted() { return false; }
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
void SetNonBlocking(Socket socket) {
  u_long yes = 1;
  ::ioctlsocket(socket, FIONBIO, &yes);
}
#else
constexpr int kShutBoth = SHUT_RDWR;
bool StartSockets() { return true; }
Socket OpenSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
Socket AcceptClient(Socket listener) { return ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC); }
void CloseSocket(Socket socket) { ::close(static_cast<int>(socket)); }
long SendSome(Socket socket, const char* data, size_t length) { return ::send(static_cast<int>(socket), data, length, MSG_NOSIGNAL); }
long ReceiveSome(Socket socket, char* data, size_t length) { return ::recv(static_cast<int>(socket), data, length, 0); }
bool Interrupted() { return errno == EINTR; }
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
void SetNonBlocking(Socket socket) { ::fcntl(static_cast<int>(socket), F_SETFL, ::fcntl(static_cast<int>(socket), F_GETFL) | O_NONBLOCK); }
#endif

// Waits in slices until the socket can be read (or written), so that Stop ends a connection
// whose client keeps it open without reading or writing: Wine's sockets do not wake a blocked
// call when another thread shuts the socket down. False once the server stops.
bool WaitFor(Socket socket, bool writing, const std::atomic<bool>& running) {
  while (running) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket, &ready);
    timeval slice{0, 100000};
    int count = ::select(static_cast<int>(socket) + 1, writing ? nullptr : &ready, writing ? &ready : nullptr, nullptr,
                         &slice);
    if (count < 0 && !Interrupted()) return false;
    if (count > 0) return true;
  }
  return false;
}

long Receive(Socket socket, char* data, size_t length, const std::atomic<bool>& running) {
  while (WaitFor(socket, false, running)) {
    long n = ReceiveSome(socket, data, length);
    if (n >= 0 || !(Interrupted() || WouldBlock())) return n;
  }
  return 0;
}

void SetFlag(Socket socket, int level, int option) {
  int yes = 1;
  ::setsockopt(socket, level, option, reinterpret_cast<const char*>(&yes), sizeof yes);
}

// A token bucket for one connection: it holds at most one slice of credit, so neither a new
// connection nor a pause between answers buys a burst.
class Pacer {
 public:
  static constexpr size_t kSlice = 16384;

  explicit Pacer(int64_t bytesPerSecond, size_t slice = kSlice)
      : rate_(static_cast<double>(bytesPerSecond)), slice_(slice) {}
  bool Limited() const { return rate_ > 0; }
  size_t Slice() const { return slice_; }

  // Waits until `bytes` more may leave.
  void Take(size_t bytes) {
    const auto now = Clock::now();
    credit_ = std::min<double>(static_cast<double>(slice_), credit_ + rate_ * std::chrono::duration<double>(now - last_).count());
    last_ = now;
    credit_ -= static_cast<double>(bytes);
    // The debt is repaid by the time slept, which the next call counts.
    if (credit_ < 0) std::this_thread::sleep_for(std::chrono::duration<double>(-credit_ / rate_));
  }

 private:
  using Clock = std::chrono::steady_clock;
  double rate_;
  size_t slice_;
  double credit_ = 0;
  Clock::time_point last_ = Clock::now();
};

bool SendAll(Socket socket, const std::string& data, Pacer& pacer, const std::atomic<bool>& running) {
  size_t sent = 0;
  while (sent < data.size()) {
    size_t length = data.size() - sent;
    if (pacer.Limited()) {
      length = std::min(length, pacer.Slice());
      pacer.Take(length);
    }
    if (!WaitFor(socket, true, running)) return false;
    long n = SendSome(socket, data.data() + sent, length);
    if (n < 0 && (Interrupted() || WouldBlock())) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Keeps an answer for sending; the connection stays open.
bool Reply(std::string& response, std::string text) {
  response = std::move(text);
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Response(int status, const std::string& reason, const std::vector<std::string>& headers,
                     const std::string& body, bool headOnly = false, bool lowerCaseNames = false) {
  std::ostringstream out;
  out << "HTTP/1.1 " << status << ' ' << reason << "\r\n";
  auto name = [&](const std::string& header) { return lowerCaseNames ? Lower(header) : header; };
  for (const std::string& header : headers) {
    const size_t colon = header.find(':');
    out << name(header.substr(0, colon)) << header.substr(colon) << "\r\n";
  }
  out << name("Content-Length") << ": " << body.size() << "\r\n\r\n";
  std::string text = out.str();
  if (!headOnly) text += body;
  return text;
}

// Parses "bytes=a-b"; an end past the file is cut to its last byte.
bool ParseRange(const std::string& value, int64_t size, int64_t& first, int64_t& last) {
  if (value.rfind("bytes=", 0) != 0) return false;
  std::string bounds = value.substr(6);
  size_t dash = bounds.find('-');
  if (dash == std::string::npos || dash == 0) return false;
  first = std::stoll(bounds.substr(0, dash));
  last = dash + 1 < bounds.size() ? std::stoll(bounds.substr(dash + 1)) : size - 1;
  if (last >= size) last = size - 1;
  return first <= last && first < size;
}

}  // namespace

RangeServer::RangeServer() : file_(std::make_shared<const std::string>()) {}

RangeServer::~RangeServer() { Stop(); }

bool RangeServer::Start(uint16_t port) {
  if (!StartSockets()) return false;
  listener_ = OpenSocket();
  if (listener_ < 0) return false;
  SetFlag(listener_, SOL_SOCKET, SO_REUSEADDR);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 128) != 0) {
    CloseSocket(listener_);
    listener_ = -1;
    return false;
  }
  socklen_t length = sizeof address;  // Winsock's is an int of the same name
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  running_ = true;
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void RangeServer::Stop() {
  if (!running_.exchange(false)) return;
  ::shutdown(listener_, kShutBoth);
  CloseSocket(listener_);
  acceptor_.join();
  std::vector<std::thread> clients;
  {
    std::lock_guard lock(mutex_);
    for (Socket socket : clientSockets_) ::shutdown(socket, kShutBoth);
    clients.swap(clients_);
  }
  for (std::thread& client : clients) client.join();
}

std::string RangeServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void RangeServer::SignRedirects(int answersPerSignature) {
  std::lock_guard lock(mutex_);
  answersPerSignature_ = answersPerSignature;
}

void RangeServer::SetTitle(const std::string& utf8Title) {
  std::lock_guard lock(mutex_);
  title_ = utf8Title;
}

void RangeServer::SetFile(std::string content) {
  std::lock_guard lock(mutex_);
  file_ = std::make_shared<const std::string>(std::move(content));
}

void RangeServer::AddFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back(fault);
}

void RangeServer::SwapFileAfter(int answers, std::string content) {
  std::lock_guard lock(mutex_);
  answersBeforeSwap_ = answers;
  nextFile_ = std::make_shared<const std::string>(std::move(content));
}

void RangeServer::SetValidator(Validator validator) {
  std::lock_guard lock(mutex_);
  validator_ = validator;
}

void RangeServer::SetRateLimit(int64_t bytesPerSecond) {
  std::lock_guard lock(mutex_);
  rateLimit_ = bytesPerSecond;
}

void RangeServer::SetDelays(int connectionDelayMs, int requestDelayMs) {
  std::lock_guard lock(mutex_);
  connectionDelayMs_ = connectionDelayMs;
  requestDelayMs_ = requestDelayMs;
}

std::vector<std::pair<int64_t, int64_t>> RangeServer::Ranges() {
  std::lock_guard lock(mutex_);
  return ranges_;
}

void RangeServer::AcceptLoop() {
  while (running_) {
    Socket client = AcceptClient(listener_);
    if (client < 0) {
      if (!running_) return;
      continue;
    }
    SetFlag(client, IPPROTO_TCP, TCP_NODELAY);
    SetNonBlocking(client);  // every wait goes through WaitFor
    ++connections_;
    std::lock_guard lock(mutex_);
    clientSockets_.push_back(client);
    clients_.emplace_back([this, client] { Serve(client); });
  }
}

bool RangeServer::TakeFault(int64_t rangeStart, Fault& taken) {
  std::lock_guard lock(mutex_);
  for (Fault& fault : faults_) {
    if (fault.times == 0 || (fault.rangeStart >= 0 && fault.rangeStart != rangeStart)) continue;
    if (fault.times > 0) --fault.times;
    taken = fault;
    return true;
  }
  return false;
}

void RangeServer::Serve(Socket client) {
  int connectionDelay;
  int64_t rateLimit;
  {
    std::lock_guard lock(mutex_);
    connectionDelay = connectionDelayMs_;
    rateLimit = rateLimit_;
  }
  if (connectionDelay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(connectionDelay));
  Pacer pacer(rateLimit);
  std::string response;
  std::string pending;
  char buffer[8192];
  while (running_) {
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      long n = Receive(client, buffer, sizeof buffer, running_);
      if (n <= 0) {
        CloseClient(client);
        return;
      }
      pending.append(buffer, static_cast<size_t>(n));
    }
    std::istringstream request(pending.substr(0, end));
    pending.erase(0, end + 4);
    std::string method, path, version, line;
    request >> method >> path >> version;
    std::getline(request, line);
    std::map<std::string, std::string> headers;
    while (std::getline(request, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      size_t valueStart = line.find_first_not_of(' ', colon + 1);
      headers[Lower(line.substr(0, colon))] = valueStart == std::string::npos ? "" : line.substr(valueStart);
    }
    if (auto length = headers.find("content-length"); length != headers.end()) {
      size_t bodyLength = std::stoul(length->second);
      while (pending.size() < bodyLength) {
        long n = Receive(client, buffer, sizeof buffer, running_);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
      }
      pending.erase(0, std::min(bodyLength, pending.size()));
    }
    Delivery delivery;
    if (!Answer(method, path, headers, response, delivery)) break;
    // A trickle sends small pieces often, as a poor link does, rather than long silences.
    Pacer answerPacer(delivery.bytesPerSecond,
                      static_cast<size_t>(std::max<int64_t>(64, delivery.bytesPerSecond / 8)));
    if (!SendAll(client, response, delivery.bytesPerSecond > 0 ? answerPacer : pacer, running_)) {
      ++abortedAnswers_;
      break;
    }
    if (delivery.after == Delivery::After::FallSilent) {
      // Open and quiet, as a connection whose path has died: until the client gives up on it.
      while (Receive(client, buffer, sizeof buffer, running_) > 0) {
      }
      break;
    }
    if (delivery.after == Delivery::After::Close) break;
  }
  CloseClient(client);
}

void RangeServer::CloseClient(Socket client) {
  std::lock_guard lock(mutex_);
  clientSockets_.erase(std::remove(clientSockets_.begin(), clientSockets_.end(), client), clientSockets_.end());
  CloseSocket(client);
}

bool RangeServer::Answer(const std::string& method, const std::string& path,
                         const std::map<std::string, std::string>& headers, std::string& response,
                         Delivery& delivery) {
  delivery = {};
  std::shared_ptr<const std::string> file;
  std::string title;
  int requestDelay, fileVersion;
  Validator validator;
  {
    std::lock_guard lock(mutex_);
    if (path.rfind(kReleasePrefix, 0) == 0 && nextFile_ && answersBeforeSwap_-- == 0) {
      file_ = std::move(nextFile_);
      ++fileVersion_;
    }
    file = file_;
    fileVersion = fileVersion_;
    validator = validator_;
    title = title_;
    requestDelay = requestDelayMs_;
  }
  if (requestDelay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(requestDelay));
  const bool head = method == "HEAD";
  if (path == kUpdatePath) {
    std::string page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
                       "</title></head><body><h1>Tovak Security " + title + "</h1></body></html>";
    return Reply(response, Response(200, "OK", {"Content-Type: text/html; charset=utf-8"}, page, head));
  }
  if (path == kRedirectPath) {
    ++redirectsAnswered_;
    std::string location = std::string(kReleasePrefix) + title + "/tovak.security.zip";
    {
      std::lock_guard lock(mutex_);
      if (answersPerSignature_ > 0) location += "?signature=" + std::to_string(++signature_);
    }
    return Reply(response, Response(302, "Found", {"Location: " + location}, "", head));
  }
  if (path.rfind(kReleasePrefix, 0) != 0) return Reply(response, Response(404, "Not Found", {}, "", head));
  {
    std::lock_guard lock(mutex_);
    if (answersPerSignature_ > 0) {
      size_t at = path.find("?signature=");
      int signature = at == std::string::npos ? 0 : std::atoi(path.c_str() + at + 11);
      if (signature == 0 || signatureAnswers_[signature]++ >= answersPerSignature_)
        return Reply(response, Response(403, "Forbidden", {}, "", head));
    }
  }

  const int64_t size = static_cast<int64_t>(file->size());
  int64_t first = 0, last = size - 1;
  auto range = headers.find("range");
  bool ranged = range != headers.end() && ParseRange(range->second, size, first, last);
  {
    std::lock_guard lock(mutex_);
    if (ranged) ranges_.emplace_back(first, last);
  }
  Fault fault{FaultKind::ServerError};  // read only when a fault was taken
  const bool faulty = TakeFault(ranged ? first : 0, fault);
  auto is = [&](FaultKind kind) { return faulty && fault.kind == kind; };
  std::vector<std::string> answerHeaders;
  switch (validator) {
    case Validator::None: break;
    case Validator::ETag: answerHeaders.push_back("ETag: \"v" + std::to_string(fileVersion) + "\""); break;
    case Validator::WeakETag: answerHeaders.push_back("ETag: W/\"v" + std::to_string(fileVersion) + "\""); break;
    case Validator::LastModified:
      answerHeaders.push_back("Last-Modified: Fri, 11 Dec 2026 10:" + std::to_string(10 + fileVersion) + ":00 GMT");
      break;
  }
  if (is(FaultKind::SilentBeforeAnswer)) {
    response.clear();
    delivery.after = Delivery::After::FallSilent;
    return true;
  }
  if (!ranged || is(FaultKind::IgnoreRange)) {
    answerHeaders.push_back("Accept-Ranges: bytes");
    return Reply(response, Response(200, "OK", answerHeaders, *file, head));
  }
  if (is(FaultKind::ServerError)) return Reply(response, Response(500, "Internal Server Error", {}, "", head));
  if (is(FaultKind::TooManyRequests)) return Reply(response, Response(429, "Too Many Requests", {}, "", head));
  if (is(FaultKind::Unavailable)) return Reply(response, Response(503, "Service Unavailable", {}, "", head));
  if (is(FaultKind::RangeNotSatisfiable))
    return Reply(response, Response(416, "Range Not Satisfiable", {"Content-Range: bytes */" + std::to_string(size)}, "", head));
  if (is(FaultKind::ShiftedRange)) {  // one byte on, or back where the range ends the file
    const int64_t shift = last + 1 < size ? 1 : -1;
    first += shift;
    last += shift;
  }
  std::string body = file->substr(static_cast<size_t>(first), static_cast<size_t>(last - first + 1));
  if (is(FaultKind::ShortBody)) body.pop_back();
  std::string total = std::to_string(size);
  if (is(FaultKind::UnknownTotal)) total = "*";
  if (is(FaultKind::ClaimedTotal)) total = fault.total;
  if (!is(FaultKind::NoContentRange))
    answerHeaders.push_back("Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + total);
  const bool replied = Reply(response, Response(206, "Partial Content", answerHeaders, body, head, is(FaultKind::LowerCaseHeader)));
  if (is(FaultKind::DropConnection) || is(FaultKind::SilentMidBody)) {
    // The connection is lost in the middle of the body, where no client can take it for a
    // keep-alive connection that the server had closed before the request.
    response.resize(response.size() - body.size() / 2 - 1);
    delivery.after = is(FaultKind::DropConnection) ? Delivery::After::Close : Delivery::After::FallSilent;
  }
  if (is(FaultKind::Trickle)) delivery.bytesPerSecond = fault.bytesPerSecond;
  return replied;
}

}  // namespace tovak::testing
