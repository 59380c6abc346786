#include "platform/posix/curl_transfers.h"

#include <sys/select.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/connection_choice.h"

namespace tovak::platform {
namespace {

using Clock = std::chrono::steady_clock;

// A lane is one libcurl multi handle that keeps at most one connection to each host, so that the
// choice of connection is this code's, not the library's.
constexpr int kLanes = 16;  // connections to a host
constexpr int kExchangesPerConnection = 2;  // a block and the one asked for ahead of it
constexpr auto kRateSample = std::chrono::milliseconds(100);
constexpr double kRateWeight = 0.3;  // of the newest sample in a connection's rate
// Every lane is driven at least this often, whatever its sockets and timers say: an HTTP/2
// stream whose bytes the library has already read with another stream's can wait with neither.
constexpr auto kDriveEvery = std::chrono::milliseconds(100);

// "scheme://host:port" of an address: the exchanges to it share its connections.
std::string HostOf(const std::string& url) {
  const size_t authority = url.find("://");
  if (authority == std::string::npos) return url;
  return url.substr(0, url.find_first_of("/?#", authority + 3));
}

curl_off_t Info(CURL* easy, CURLINFO info) {
  curl_off_t value = 0;
  curl_easy_getinfo(easy, info, &value);
  return value;
}

}  // namespace

struct CurlTransfers::State {
  // An exchange not yet handed to the library, or running in it.
  struct Transfer {
    std::string host;
    int64_t order = 0;
    int64_t bytesStillWanted = -1;
    uint64_t arrival = 0;
    std::function<void(CURLcode)> ended;
    int lane = -1;
    curl_off_t counted = 0;  // bytes of its body counted into its connection's rate
    std::chrono::milliseconds stall{0};
    curl_off_t moved = 0;  // bytes sent and received when it last moved
    Clock::time_point movedAt;
  };
  // One lane's connection to one host.
  struct Connection {
    int running = 0;
    double rate = 0;  // bytes per second while it carries data; 0 until measured
    curl_off_t sampled = 0;  // bytes since the last sample
  };
  struct Host {
    bool multiplexed = false;  // an answer came over HTTP/2: two exchanges fit a connection
    curl_off_t typicalBody = 0;  // the last finished exchange's body
    std::array<Connection, kLanes> connections;
  };

  std::mutex mutex;
  std::condition_variable changed;
  std::array<CURLM*, kLanes> lanes{};
  uint64_t arrivals = 0;
  std::map<CURL*, Transfer> waiting;  // for a connection of its host with room
  std::vector<CURL*> leaving;         // to be taken out; acknowledged by leaving `running`
  std::map<CURL*, Transfer> running;
  std::map<std::string, Host> hosts;
  std::set<CURL*> ending;  // running, their owners being told of the end
  std::vector<CURL*> idle;
  Clock::time_point lastSample = Clock::now();
  std::array<bool, kLanes> ready{};  // lanes to drive in this round
  std::array<Clock::time_point, kLanes> driven{};  // when each lane was last driven
  // Whether an exchange has come, gone or been measured since the waiting ones were last placed.
  bool placementChanged = false;

  void Loop() {
    for (;;) {
      std::vector<std::pair<CURL*, int>> admitted;  // and their lanes
      std::vector<CURL*> stalled;
      {
        std::lock_guard lock(mutex);
        for (CURL* easy : leaving) {
          if (waiting.erase(easy) == 0 && !ending.count(easy) && running.count(easy)) {
            curl_multi_remove_handle(lanes[running[easy].lane], easy);
            Forget(easy);
          }
        }
        if (!leaving.empty()) changed.notify_all();
        leaving.clear();
        if (Sample()) stalled = Stalled();
        if (placementChanged) admitted = Admit();
        placementChanged = false;
      }
      for (CURL* easy : stalled) {
        // A connection that went silent (a half-open one after a network change, say) would
        // only stall the next exchange given to it.
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        End(easy, CURLE_OPERATION_TIMEDOUT);
      }
      for (auto [easy, lane] : admitted) {
        ready[lane] = true;
        if (curl_multi_add_handle(lanes[lane], easy) != CURLM_OK) End(easy, CURLE_FAILED_INIT);
      }
      for (int lane = 0; lane < kLanes; ++lane) {
        if (!ready[lane]) continue;
        driven[lane] = Clock::now();
        int active = 0;
        curl_multi_perform(lanes[lane], &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(lanes[lane], &left)) {
          if (message->msg == CURLMSG_DONE) End(message->easy_handle, message->data.result);
        }
      }
      Wait();
    }
  }

  // Until a socket of any lane is ready, a lane's timer is due, or a wake-up (on the first lane);
  // then `ready` names the lanes to drive: those, the first one, whose sockets go unseen, and any
  // not driven for kDriveEvery.
  void Wait() {
    std::vector<curl_waitfd> sockets;
    std::vector<int> socketLanes;
    std::array<Clock::time_point, kLanes> dueAt;
    const Clock::time_point now = Clock::now();
    long timeoutMs = std::chrono::duration_cast<std::chrono::milliseconds>(kRateSample).count();
    for (int i = 0; i < kLanes; ++i) {
      long due = -1;
      curl_multi_timeout(lanes[i], &due);
      dueAt[i] = due >= 0 ? now + std::chrono::milliseconds(due) : Clock::time_point::max();
      if (due >= 0) timeoutMs = std::min(timeoutMs, due);
      if (i == 0) continue;  // polled with its own sockets
      fd_set readable, writable, exceptional;
      FD_ZERO(&readable);
      FD_ZERO(&writable);
      FD_ZERO(&exceptional);
      int highest = -1;
      curl_multi_fdset(lanes[i], &readable, &writable, &exceptional, &highest);
      for (int fd = 0; fd <= highest; ++fd) {
        short events = 0;
        if (FD_ISSET(fd, &readable)) events |= CURL_WAIT_POLLIN;
        if (FD_ISSET(fd, &writable)) events |= CURL_WAIT_POLLOUT;
        if (FD_ISSET(fd, &exceptional)) events |= CURL_WAIT_POLLPRI;
        if (events) {
          sockets.push_back({fd, events, 0});
          socketLanes.push_back(i);
        }
      }
    }
    curl_multi_poll(lanes[0], sockets.data(), static_cast<unsigned>(sockets.size()), static_cast<int>(timeoutMs),
                    nullptr);
    const Clock::time_point woken = Clock::now();
    for (int i = 0; i < kLanes; ++i) ready[i] = i == 0 || dueAt[i] <= woken || woken - driven[i] >= kDriveEvery;
    for (size_t k = 0; k < sockets.size(); ++k) {
      if (sockets[k].revents) ready[socketLanes[k]] = true;
    }
  }

  // Each connection's rate: the bytes it carried over the last interval in which it carried any.
  // False when the interval has not passed since the last sample. Under the mutex.
  bool Sample() {
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - lastSample).count();
    if (now - lastSample < kRateSample) return false;
    lastSample = now;
    placementChanged = true;
    for (auto& [easy, transfer] : running) {
      const curl_off_t received = Info(easy, CURLINFO_SIZE_DOWNLOAD_T);
      hosts[transfer.host].connections[transfer.lane].sampled += received - transfer.counted;
      transfer.counted = received;
    }
    for (auto& [name, host] : hosts) {
      for (Connection& connection : host.connections) {
        if (connection.sampled <= 0) continue;
        const double rate = static_cast<double>(connection.sampled) / seconds;
        connection.rate = connection.rate > 0 ? (1 - kRateWeight) * connection.rate + kRateWeight * rate : rate;
        connection.sampled = 0;
      }
    }
    return true;
  }

  // The running exchanges that have moved no byte for their stall time. The check is this
  // thread's own, at each sample (not each round, which a busy download makes thousands a
  // second): a silent connection drives no lane. Under the mutex.
  std::vector<CURL*> Stalled() {
    const Clock::time_point now = Clock::now();
    std::vector<CURL*> stalled;
    for (auto& [easy, transfer] : running) {
      if (transfer.stall.count() <= 0 || ending.count(easy)) continue;
      long headerBytes = 0;
      curl_easy_getinfo(easy, CURLINFO_HEADER_SIZE, &headerBytes);
      const curl_off_t moved =
          headerBytes + Info(easy, CURLINFO_SIZE_DOWNLOAD_T) + Info(easy, CURLINFO_SIZE_UPLOAD_T);
      if (moved != transfer.moved) {
        transfer.moved = moved;
        transfer.movedAt = now;
      } else if (now - transfer.movedAt > transfer.stall) {
        stalled.push_back(easy);
      }
    }
    return stalled;
  }

  // What each of a host's connections carries now: its exchanges, its rate, and the bytes that
  // they have still to receive. Under the mutex.
  std::vector<ConnectionLoad> Loads(const std::string& name, const Host& host) {
    std::vector<ConnectionLoad> loads(kLanes);
    for (int lane = 0; lane < kLanes; ++lane) loads[lane] = {host.connections[lane].running, host.connections[lane].rate};
    for (auto& [easy, transfer] : running) {
      if (transfer.host != name) continue;
      const curl_off_t length = Info(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T);
      const curl_off_t left = (length >= 0 ? length : host.typicalBody) - Info(easy, CURLINFO_SIZE_DOWNLOAD_T);
      loads[transfer.lane].backlog += static_cast<double>(std::max<curl_off_t>(0, left));
    }
    return loads;
  }

  // Hands waiting exchanges, lowest order first (then the earliest), to connections (see
  // ChooseConnection). Under the mutex.
  std::vector<std::pair<CURL*, int>> Admit() {
    std::vector<std::pair<std::pair<int64_t, uint64_t>, CURL*>> queue;
    for (auto& [easy, transfer] : waiting) queue.push_back({{transfer.order, transfer.arrival}, easy});
    std::sort(queue.begin(), queue.end());
    std::map<std::string, std::vector<ConnectionLoad>> loads;  // counting the exchanges placed
    std::vector<std::pair<CURL*, int>> admitted;
    for (auto& [key, easy] : queue) {
      Transfer& transfer = waiting[easy];
      Host& host = hosts[transfer.host];
      auto slot = loads.find(transfer.host);
      if (slot == loads.end()) slot = loads.emplace(transfer.host, Loads(transfer.host, host)).first;
      std::vector<ConnectionLoad>& load = slot->second;
      const double body = static_cast<double>(host.typicalBody);
      const ConnectionChoice choice = ChooseConnection(
          load, host.multiplexed ? kExchangesPerConnection : 1, body, transfer.bytesStillWanted);
      load[choice.connection].backlog += body;
      if (!choice.now) continue;
      ++load[choice.connection].running;
      ++host.connections[choice.connection].running;
      transfer.lane = choice.connection;
      transfer.movedAt = Clock::now();  // the stall clock starts with the exchange, not its wait
      running.emplace(easy, std::move(transfer));
      waiting.erase(easy);
      admitted.emplace_back(easy, choice.connection);
    }
    return admitted;
  }

  // Under the mutex.
  void Forget(CURL* easy) {
    auto found = running.find(easy);
    if (found == running.end()) return;
    Transfer& transfer = found->second;
    Host& host = hosts[transfer.host];
    Connection& connection = host.connections[transfer.lane];
    --connection.running;
    const curl_off_t received = Info(easy, CURLINFO_SIZE_DOWNLOAD_T);
    connection.sampled += received - transfer.counted;
    if (received > 0) host.typicalBody = received;
    if (IsMultiplexed(easy)) host.multiplexed = true;
    running.erase(found);
    placementChanged = true;
  }

  // The handle stays among the running until its owner has been told, so that the owner cannot
  // give it back (and go) while it is being told.
  void End(CURL* easy, CURLcode result) {
    std::function<void(CURLcode)> ended;
    int lane = 0;
    {
      std::lock_guard lock(mutex);
      auto found = running.find(easy);
      if (found == running.end()) return;
      ended = std::move(found->second.ended);
      lane = found->second.lane;
      ending.insert(easy);
    }
    curl_multi_remove_handle(lanes[lane], easy);
    ended(result);
    std::lock_guard lock(mutex);
    Forget(easy);
    ending.erase(easy);
    // A request to take it out is answered: the handle may start anew before the next round.
    leaving.erase(std::remove(leaving.begin(), leaving.end(), easy), leaving.end());
    changed.notify_all();
  }
};

bool IsMultiplexed(CURL* easy) {
  long version = 0;
  curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &version);
  return version == CURL_HTTP_VERSION_2_0 || version == CURL_HTTP_VERSION_3;
}

CurlTransfers& CurlTransfers::Instance() {
  // Never destroyed: workers that the program does not wait for may still use it at exit.
  static CurlTransfers* transfers = new CurlTransfers;
  return *transfers;
}

CurlTransfers::CurlTransfers() : state_(new State) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  for (CURLM*& lane : state_->lanes) {
    lane = curl_multi_init();
    curl_multi_setopt(lane, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    curl_multi_setopt(lane, CURLMOPT_MAX_HOST_CONNECTIONS, 1L);
    curl_multi_setopt(lane, CURLMOPT_MAX_CONCURRENT_STREAMS, static_cast<long>(kExchangesPerConnection));
  }
  std::thread([state = state_] { state->Loop(); }).detach();
}

CURL* CurlTransfers::TakeHandle() {
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->idle.empty()) {
      CURL* easy = state_->idle.back();
      state_->idle.pop_back();
      curl_easy_reset(easy);
      return easy;
    }
  }
  return curl_easy_init();
}

void CurlTransfers::Start(CURL* easy, const std::string& url, const QueueHint& hint, std::chrono::milliseconds stall,
                          std::function<void(CURLcode)> ended) {
  {
    std::lock_guard lock(state_->mutex);
    State::Transfer transfer{HostOf(url), hint.order, hint.bytesStillWanted, state_->arrivals++, std::move(ended)};
    transfer.stall = stall;
    state_->waiting[easy] = std::move(transfer);
    state_->placementChanged = true;
  }
  curl_multi_wakeup(state_->lanes[0]);
}

void CurlTransfers::GiveBack(CURL* easy) {
  std::unique_lock lock(state_->mutex);
  auto waiting = [&] { return state_->waiting.count(easy) > 0 || state_->running.count(easy) > 0; };
  // An exchange being ended is waited for; one still running is ended first.
  if (waiting() && !state_->ending.count(easy)) {
    state_->leaving.push_back(easy);
    curl_multi_wakeup(state_->lanes[0]);
  }
  state_->changed.wait(lock, [&] { return !waiting(); });
  state_->idle.push_back(easy);
}

}  // namespace tovak::platform
