// A round-trip emulator for benchmarks on one machine, which has no netem: a TCP proxy on
// 127.0.0.1 that holds every byte for half the round trip in each direction, holds each new
// connection for one round trip before anything passes, and sends no faster than a rate per
// connection, without bursts. With --rates, the connections take their rates from the list in the
// order in which they open (the same for every run and every tool). With --silent-connection K
// and --silent-after N, the K-th connection passes N bytes towards the client and then nothing
// more to it, while both of its sockets stay open: what a client sees of a path that died without
// a word, as after a network change.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kSlice = 16384;

struct Options {
  uint16_t listenPort = 0, targetPort = 0;
  std::chrono::milliseconds roundTrip{0};
  std::vector<double> rates;  // bytes per second; empty or 0: unlimited
  size_t silentConnection = 0;  // 1-based; 0: none
  int64_t silentAfter = 0;
};

// Bytes that arrived at one end, with the time they may leave at the other.
struct Piece {
  Clock::time_point due;
  std::string bytes;  // empty: the sender closed its side
};

// One direction of a connection: a reader fills the queue, a writer empties it when each piece is
// due and as fast as the rate allows. The queue is bounded, so a slow writer slows the reader and
// TCP's own flow control reaches the sender.
class Direction {
 public:
  // `passes` bytes at most go through (-1: all); later ones vanish.
  Direction(int from, int to, std::chrono::milliseconds delay, double rate, Clock::time_point opened, int64_t passes)
      : from_(from), to_(to), delay_(delay), rate_(rate), opened_(opened), passes_(passes) {
    capacity_ = std::max<size_t>(4 << 20, static_cast<size_t>(rate * 2 * std::chrono::duration<double>(delay).count()));
  }
  void Run() {
    std::thread writer([this] { Write(); });
    Read();
    writer.join();
  }

 private:
  void Read() {
    char buffer[kSlice];
    for (;;) {
      ssize_t n = ::recv(from_, buffer, sizeof buffer, 0);
      Piece piece{std::max(Clock::now(), opened_) + delay_, n > 0 ? std::string(buffer, static_cast<size_t>(n)) : ""};
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return queued_ < capacity_; });
      queued_ += piece.bytes.size();
      pieces_.push_back(std::move(piece));
      changed_.notify_all();
      if (n <= 0) return;
    }
  }
  void Write() {
    double credit = 0;
    Clock::time_point last = Clock::now();
    for (;;) {
      Piece piece;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !pieces_.empty(); });
        piece = std::move(pieces_.front());
        pieces_.pop_front();
        queued_ -= piece.bytes.size();
        changed_.notify_all();
      }
      std::this_thread::sleep_until(piece.due);
      if (piece.bytes.empty()) {
        ::shutdown(to_, SHUT_WR);
        return;
      }
      if (passes_ >= 0) {
        if (passes_ == 0) continue;  // into the void, until the sender closes
        if (static_cast<int64_t>(piece.bytes.size()) > passes_) piece.bytes.resize(static_cast<size_t>(passes_));
        passes_ -= static_cast<int64_t>(piece.bytes.size());
      }
      for (size_t sent = 0; sent < piece.bytes.size();) {
        size_t length = std::min(kSlice, piece.bytes.size() - sent);
        if (rate_ > 0) {  // at most one slice of credit: no burst after a pause
          const auto now = Clock::now();
          credit = std::min<double>(kSlice, credit + rate_ * std::chrono::duration<double>(now - last).count());
          last = now;
          credit -= static_cast<double>(length);
          if (credit < 0) std::this_thread::sleep_for(std::chrono::duration<double>(-credit / rate_));
        }
        ssize_t n = ::send(to_, piece.bytes.data() + sent, length, MSG_NOSIGNAL);
        if (n <= 0) {
          ::shutdown(from_, SHUT_RD);  // the reader stops; what is queued is dropped
          Drain();
          return;
        }
        sent += static_cast<size_t>(n);
      }
    }
  }
  // After a failed send: take what the reader still queues until it has seen its end.
  void Drain() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return !pieces_.empty(); });
      const bool end = pieces_.back().bytes.empty();
      pieces_.clear();
      queued_ = 0;
      changed_.notify_all();
      if (end) return;
    }
  }

  int from_, to_;
  std::chrono::milliseconds delay_;
  double rate_;
  Clock::time_point opened_;
  int64_t passes_;
  size_t capacity_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> pieces_;
  size_t queued_ = 0;
};

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

int Connect(uint16_t port) {
  int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = LoopbackAddress(port);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(socket);
    return -1;
  }
  return socket;
}

void NoDelay(int socket) {
  int yes = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

void Relay(int client, const Options& options, double rate, bool silent) {
  int server = Connect(options.targetPort);
  if (server < 0) {
    ::close(client);
    return;
  }
  NoDelay(client);
  NoDelay(server);
  // The handshake costs one round trip before the first byte can pass.
  const Clock::time_point opened = Clock::now() + options.roundTrip;
  const auto half = options.roundTrip / 2;
  Direction up(client, server, half, rate, opened, -1),
      down(server, client, half, rate, opened, silent ? options.silentAfter : -1);
  std::thread upstream([&] { up.Run(); });
  down.Run();
  upstream.join();
  ::close(client);
  ::close(server);
}

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i], value = argv[i + 1];
    if (option == "--listen") options.listenPort = static_cast<uint16_t>(std::atoi(value.c_str()));
    else if (option == "--target") options.targetPort = static_cast<uint16_t>(std::atoi(value.c_str()));
    else if (option == "--rtt-ms") options.roundTrip = std::chrono::milliseconds(std::atoi(value.c_str()));
    else if (option == "--rate") options.rates = {std::atof(value.c_str())};
    else if (option == "--silent-connection") options.silentConnection = static_cast<size_t>(std::atoi(value.c_str()));
    else if (option == "--silent-after") options.silentAfter = std::atoll(value.c_str());
    else if (option == "--rates") {
      options.rates.clear();
      std::stringstream list(value);
      for (std::string rate; std::getline(list, rate, ',');) options.rates.push_back(std::atof(rate.c_str()));
    } else {
      return false;
    }
  }
  return options.listenPort != 0 && options.targetPort != 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s --listen PORT --target PORT [--rtt-ms N] [--rate BYTES_PER_SECOND | --rates R1,R2,...] [--silent-connection K --silent-after BYTES]\n", argv[0]);
    return 2;
  }
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  const sockaddr_in address = LoopbackAddress(options.listenPort);
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 256) != 0) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1:%u\n", options.listenPort);
    return 1;
  }
  for (size_t opened = 0;; ++opened) {
    int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const double rate = options.rates.empty() ? 0 : options.rates[opened % options.rates.size()];
    const bool silent = opened + 1 == options.silentConnection;
    std::thread([client, &options, rate, silent] { Relay(client, options, rate, silent); }).detach();
  }
}
