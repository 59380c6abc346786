#include "platform/posix/curl_transfers.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace tovak::platform {
namespace {

constexpr long kConnectionsPerHost = 16;
constexpr long kExchangesPerConnection = 2;  // a block and the one asked for ahead of it

}  // namespace

struct CurlTransfers::State {
  std::mutex mutex;
  std::condition_variable changed;
  CURLM* multi = nullptr;
  std::vector<std::pair<CURL*, std::function<void(CURLcode)>>> starting;
  std::vector<CURL*> leaving;  // to be taken out; acknowledged by leaving `running`
  std::map<CURL*, std::function<void(CURLcode)>> running;
  std::set<CURL*> ending;  // running, their owners being told of the end
  std::vector<CURL*> idle;

  void Loop() {
    for (;;) {
      std::vector<std::pair<CURL*, std::function<void(CURLcode)>>> started;
      {
        std::lock_guard lock(mutex);
        started.swap(starting);
        for (CURL* easy : leaving) {
          auto waiting = std::find_if(started.begin(), started.end(), [&](auto& start) { return start.first == easy; });
          if (waiting != started.end()) {
            started.erase(waiting);  // never begun
          } else if (!ending.count(easy) && running.erase(easy)) {
            curl_multi_remove_handle(multi, easy);
          }
        }
        if (!leaving.empty()) changed.notify_all();
        leaving.clear();
        for (auto& [easy, ended] : started) running.emplace(easy, std::move(ended));
      }
      for (auto& start : started) {
        if (curl_multi_add_handle(multi, start.first) != CURLM_OK) End(start.first, CURLE_FAILED_INIT);
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

  // The handle stays among the running until its owner has been told, so that the owner cannot
  // give it back (and go) while it is being told.
  void End(CURL* easy, CURLcode result) {
    std::function<void(CURLcode)> ended;
    {
      std::lock_guard lock(mutex);
      auto found = running.find(easy);
      if (found == running.end()) return;
      ended = std::move(found->second);
      ending.insert(easy);
    }
    curl_multi_remove_handle(multi, easy);
    ended(result);
    std::lock_guard lock(mutex);
    running.erase(easy);
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

void CurlTransfers::Start(CURL* easy, std::function<void(CURLcode)> ended) {
  {
    std::lock_guard lock(state_->mutex);
    state_->starting.emplace_back(easy, std::move(ended));
  }
  curl_multi_wakeup(state_->multi);
}

void CurlTransfers::GiveBack(CURL* easy) {
  std::unique_lock lock(state_->mutex);
  auto waiting = [&] {
    for (auto& [starting, ended] : state_->starting)
      if (starting == easy) return true;
    return state_->running.count(easy) > 0;
  };
  // An exchange being ended is waited for; one still running is ended first.
  if (waiting() && !state_->ending.count(easy)) {
    state_->leaving.push_back(easy);
    curl_multi_wakeup(state_->multi);
  }
  state_->changed.wait(lock, [&] { return !waiting(); });
  state_->idle.push_back(easy);
}

}  // namespace tovak::platform
