#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests and demos: an update page with a given title,
// a file served with byte ranges, a redirect, and faults injected on request.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovak::testing {

// A socket of the system's sockets library, wide enough for a Winsock handle.
using Socket = intptr_t;

enum class FaultKind {
  ServerError,         // 500 with an empty body
  TooManyRequests,     // 429 with an empty body
  Unavailable,         // 503 with an empty body
  RangeNotSatisfiable, // 416 with "Content-Range: bytes */size"
  DropConnection,      // closes the connection in the middle of the answer's body
  ShortBody,           // 206 whose body lacks the range's last byte
  IgnoreRange,         // 200 with the whole file
  NoContentRange,      // 206 without Content-Range
  ShiftedRange,        // 206 with other bytes of the same length, named by their Content-Range
  LowerCaseHeader,     // every header name in lower case, as HTTP/2 sends them
  UnknownTotal,        // Content-Range with "*" as the total
  ClaimedTotal,        // Content-Range with Fault::total as the total
  SilentMidBody,       // the headers and half the body, then nothing more on an open connection
  SilentBeforeAnswer,  // nothing at all on an open connection
  Trickle,             // 206 sent at Fault::bytesPerSecond
};

// What the file's answers carry to tell one version of the file from another.
enum class Validator { None, ETag, WeakETag, LastModified };

struct Fault {
  FaultKind kind;
  int64_t rangeStart = -1;  // the requested first byte it applies to; -1: every request
  int times = 1;            // how many answers it spoils; -1: all
  std::string total;        // for ClaimedTotal
  int64_t bytesPerSecond = 0;  // for Trickle
};

class RangeServer {
 public:
  RangeServer();
  ~RangeServer();
  RangeServer(const RangeServer&) = delete;
  RangeServer& operator=(const RangeServer&) = delete;

  // Listens on 127.0.0.1 (port 0: any free port); false when it cannot.
  bool Start(uint16_t port = 0);
  void Stop();
  uint16_t Port() const { return port_; }
  std::string BaseUrl() const;

  void SetTitle(const std::string& utf8Title);
  void SetFile(std::string content);
  void AddFault(Fault fault);
  // After `answers` more answers from the file, it is replaced by `content`, as when a new
  // release is published under the same address.
  void SwapFileAfter(int answers, std::string content);
  void SetValidator(Validator validator);
  // Delays before the first answer of each connection and before every answer.
  void SetDelays(int connectionDelayMs, int requestDelayMs);
  // Bytes per second that each connection may send, whatever number of answers it carries
  // (0: no limit).
  void SetRateLimit(int64_t bytesPerSecond);
  // Makes kRedirectPath lead to a signed address of the file, as a code host's release link does:
  // each redirect signs anew, and a signature serves `answersPerSignature` answers, then the
  // address has expired (403). 0: unsigned addresses that never expire.
  void SignRedirects(int answersPerSignature);
  int RedirectsAnswered() const { return redirectsAnswered_.load(); }

  // Paths the server answers.
  static constexpr const char* kUpdatePath = "/tovak%E5%AE%89%E5%85%A8/Dev/Update.html";
  static constexpr const char* kReleasePrefix = "/releases/download/v";
  static constexpr const char* kRedirectPath = "/moved";

  // First bytes of every range request that reached the file, in arrival order.
  std::vector<std::pair<int64_t, int64_t>> Ranges();
  int Connections() const { return connections_.load(); }
  // Answers that the client stopped receiving before their end.
  int AbortedAnswers() const { return abortedAnswers_.load(); }

 private:
  void AcceptLoop();
  void Serve(Socket client);
  void CloseClient(Socket client);
  // The whole answer to one request, after which the connection is closed when `closeAfter`;
  // false: drop the connection instead.
  // How an answer goes out: at what pace (0: the connection's), and what follows it.
  struct Delivery {
    enum class After { KeepOpen, Close, FallSilent } after = After::KeepOpen;
    int64_t bytesPerSecond = 0;
  };
  bool Answer(const std::string& method, const std::string& path, const std::map<std::string, std::string>& headers,
              std::string& response, Delivery& delivery);
  bool TakeFault(int64_t rangeStart, Fault& taken);

  Socket listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> running_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> abortedAnswers_{0};
  std::atomic<int> redirectsAnswered_{0};
  int answersPerSignature_ = 0, signature_ = 0;
  std::map<int, int> signatureAnswers_;
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> clients_;
  std::vector<Socket> clientSockets_;
  std::string title_ = "1.0.0";
  std::shared_ptr<const std::string> file_;
  int fileVersion_ = 1;
  int answersBeforeSwap_ = -1;
  std::shared_ptr<const std::string> nextFile_;
  Validator validator_ = Validator::None;
  std::vector<Fault> faults_;
  std::vector<std::pair<int64_t, int64_t>> ranges_;
  int connectionDelayMs_ = 0, requestDelayMs_ = 0;
  int64_t rateLimit_ = 0;
};

}  // namespace tovak::testing
