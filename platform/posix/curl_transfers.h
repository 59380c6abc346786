#pragma once
// Every HTTP exchange of the process runs on one transfer thread: the connections belong to the
// process, not to a worker. There are 16 lanes, libcurl multi handles that each keep at most one
// connection to a host, so there are never more than 16 connections to a host and the choice of
// connection is made here: an exchange goes where it is expected to end first (two share a
// connection over HTTP/2), so a slow connection slows single blocks of many ranges rather than
// one whole range, and near the end it is given none that the fast ones finish sooner. When more
// exchanges wait than there is room for, the lowest order goes first: a range that has fallen
// behind gets the next free connection. Callbacks of an exchange run on the transfer thread.
#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/http_request_object.h"

namespace tovak::platform {

// Whether the handle's last answer came over a connection that carries several exchanges at once.
bool IsMultiplexed(CURL* easy);

class CurlTransfers {
 public:
  static CurlTransfers& Instance();

  // A handle to configure, reset from any earlier use.
  CURL* TakeHandle();
  // Starts the configured handle, whose address is `url`, once its host has room for it; `ended`
  // runs on the transfer thread with the result, once the handle is out of the transfers. An
  // exchange that receives and sends nothing for `stall` once it has its connection ends with
  // CURLE_OPERATION_TIMEDOUT, and its connection is closed (zero: no limit).
  void Start(CURL* easy, const std::string& url, const QueueHint& hint, std::chrono::milliseconds stall,
             std::function<void(CURLcode)> ended);
  // Ends the exchange if it still runs; returns when the transfer thread no longer touches the
  // handle, which goes back for later use.
  void GiveBack(CURL* easy);

 private:
  CurlTransfers();
  struct State;
  State* state_;
};

}  // namespace tovak::platform
