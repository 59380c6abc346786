#pragma once
// Every HTTP exchange of the process runs on one transfer thread, through one libcurl multi
// handle: the connections belong to the process, not to a worker. A request takes whichever
// connection to its host is free, or shares one (HTTP/2, at most two exchanges on each), and
// there are never more than 16 connections to a host, so a slow connection slows single blocks
// of many ranges rather than one whole range. When more exchanges wait than a host has room for,
// the lowest order goes first: a range that has fallen behind gets the next free connection.
// Callbacks of an exchange run on the transfer thread.
#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <string>

namespace tovak::platform {

class CurlTransfers {
 public:
  static CurlTransfers& Instance();

  // A handle to configure, reset from any earlier use.
  CURL* TakeHandle();
  // Starts the configured handle, whose address is `url`, once its host has room for it; `ended`
  // runs on the transfer thread with the result, once the handle is out of the transfers.
  void Start(CURL* easy, const std::string& url, int64_t order, std::function<void(CURLcode)> ended);
  // Ends the exchange if it still runs; returns when the transfer thread no longer touches the
  // handle, which goes back for later use.
  void GiveBack(CURL* easy);

 private:
  CurlTransfers();
  struct State;
  State* state_;
};

}  // namespace tovak::platform
