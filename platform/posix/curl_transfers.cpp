#include "platform/posix/curl_transfers.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tovak::platform {
namespace {

constexpr long kConnectionsPerHost = 16;
constexpr long kExchangesPerConnection = 2;  // a block and the one asked for ahead of it
constexpr int kExchangesPerHost = kConnectionsPerHost * kExchangesPerConnection;

// "scheme://host:port" of an address: the exchanges to it share its connections.
std::string HostOf(const std::string& url) {
  const size_t authority = url.find("://");
  if (authority == std::string::npos) return url;
  return url.substr(0, url.find_first_of("/?#", authority + 3));
}

}  // namespace

struct CurlTransfers::State {
  // An exchange not yet handed to the library, or running in it.
  struct Transfer {
    std::string host;
    int64_t order = 0;
    uint64_t arrival = 0;
    std::function<void(CURLcode)> ended;
  };

  std::mutex mutex;
  std::condition_variable changed;
  CURLM* multi = nullptr;
  uint64_t arrivals = 0;
  std::map<CURL*, Transfer> waiting;  // for a free exchange slot on its host
  std::vector<CURL*> leaving;         // to be taken out; acknowledged by leaving `running`
  std::map<CURL*, Transfer> running;
  std::map<std::string, int> runningPerHost;
  std::set<CURL*> ending;  // running, their owners being told of the end
  std::vector<CURL*> idle;

  void Loop() {
    for (;;) {
      std::vector<CURL*> admitted;
      {
        std::lock_guard lock(mutex);
        for (CURL* easy : leaving) {
          if (waiting.erase(easy) == 0 && !ending.count(easy) && running.count(easy)) {
            curl_multi_remove_handle(multi, easy);
            Forget(easy);
          }
        }
        if (!leaving.empty()) changed.notify_all();
        leaving.clear();
        admitted = Admit();
      }
      for (CURL* easy : admitted) {
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) End(easy, CURLE_FAILED_INIT);
      }
      int active = 0;
      curl_multi_perform(multi, &active);
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE) End(message->easy_handle, message->data.result);
      }
      curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
  }

  // The waiting exchanges that a host has room for, lowest order first (then the earliest), moved
  // to the running. The library would queue the others itself, but first come first served.
  std::vector<CURL*> Admit() {
    std::vector<std::pair<std::pair<int64_t, uint64_t>, CURL*>> queue;
    for (auto& [easy, transfer] : waiting) queue.push_back({{transfer.order, transfer.arrival}, easy});
    std::sort(queue.begin(), queue.end());
    std::vector<CURL*> admitted;
    for (auto& [key, easy] : queue) {
      auto found = waiting.find(easy);
      int& busy = runningPerHost[found->second.host];
      if (busy >= kExchangesPerHost) continue;
      ++busy;
      running.emplace(easy, std::move(found->second));
      waiting.erase(found);
      admitted.push_back(easy);
    }
    return admitted;
  }

  // Under the mutex.
  void Forget(CURL* easy) {
    auto found = running.find(easy);
    if (found == running.end()) return;
    if (--runningPerHost[found->second.host] == 0) runningPerHost.erase(found->second.host);
    running.erase(found);
  }

  // The handle stays among the running until its owner has been told, so that the owner cannot
  // give it back (and go) while it is being told.
  void End(CURL* easy, CURLcode result) {
    std::function<void(CURLcode)> ended;
    {
      std::lock_guard lock(mutex);
      auto found = running.find(easy);
      if (found == running.end()) return;
      ended = std::move(found->second.ended);
      ending.insert(easy);
    }
    curl_multi_remove_handle(multi, easy);
    ended(result);
    std::lock_guard lock(mutex);
    Forget(easy);
    ending.erase(easy);
    // A request to take it out is answered: the handle may start anew before the next round.
    leaving.erase(std::remove(leaving.begin(), leaving.end(), easy), leaving.end());
    changed.notify_all();
  }
};

CurlTransfers& CurlTransfers::Instance() {
  // Never destroyed: workers that the program does not wait for may still use it at exit.
  static CurlTransfers* transfers = new CurlTransfers;
  return *transfers;
}

CurlTransfers::CurlTransfers() : state_(new State) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  state_->multi = curl_multi_init();
  curl_multi_setopt(state_->multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
  curl_multi_setopt(state_->multi, CURLMOPT_MAX_HOST_CONNECTIONS, kConnectionsPerHost);
  curl_multi_setopt(state_->multi, CURLMOPT_MAX_CONCURRENT_STREAMS, kExchangesPerConnection);
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

void CurlTransfers::Start(CURL* easy, const std::string& url, int64_t order, std::function<void(CURLcode)> ended) {
  {
    std::lock_guard lock(state_->mutex);
    state_->waiting[easy] = {HostOf(url), order, state_->arrivals++, std::move(ended)};
  }
  curl_multi_wakeup(state_->multi);
}

void CurlTransfers::GiveBack(CURL* easy) {
  std::unique_lock lock(state_->mutex);
  auto waiting = [&] { return state_->waiting.count(easy) > 0 || state_->running.count(easy) > 0; };
  // An exchange being ended is waited for; one still running is ended first.
  if (waiting() && !state_->ending.count(easy)) {
    state_->leaving.push_back(easy);
    curl_multi_wakeup(state_->multi);
  }
  state_->changed.wait(lock, [&] { return !waiting(); });
  state_->idle.push_back(easy);
}

}  // namespace tovak::platform
