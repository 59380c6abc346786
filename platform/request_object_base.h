#pragma once
// What every platform's request object keeps between its calls: the settings given before a send
// and the response of the last one. A platform implements only the exchange itself.
#include <utility>
#include <vector>

#include "platform/http_request_object.h"

namespace tovak::platform {

class RequestObjectBase : public HttpRequestObject {
 public:
  void SetTimeouts(int32_t resolveMs, int32_t connectMs, int32_t sendMs, int32_t receiveMs) override {
    timeouts_ = {resolveMs, connectMs, sendMs, receiveMs};
  }
  void SetProxy(int32_t, const Text& proxy) override { proxy_ = proxy; }
  void Open(const Text& verb, const Text& url, bool) override {
    verb_ = verb;
    url_ = url;
    opened_ = true;
    followRedirects_ = true;
    headers_.clear();
    ClearResponse();
  }
  void SetOption(int32_t option, int32_t value) override {
    if (option == kOptionEnableRedirects) followRedirects_ = value != 0;
  }
  void SetCredentials(const Text& user, const Text& password, int32_t target) override {
    (target == 1 ? proxyUser_ : serverUser_) = user;
    (target == 1 ? proxyPassword_ : serverPassword_) = password;
  }
  void SetRequestHeader(const Text& name, const Text& value) override {
    if (opened_ && !name.empty()) headers_.emplace_back(name, value);
  }
  void SendText(const Text& body) override {
    StartBytes(body);
    FinishSend();
  }
  void SendBytes(const Bytes& body) override {
    StartBytes(body);
    FinishSend();
  }
  void StartText(const Text& body) override { StartBytes(body); }
  void StartBytes(const Bytes& body) override {
    ClearResponse();
    sinkStart_ = sink_ ? sink_->size() : 0;
    responseUrl_ = url_;
    pending_ = true;
    begun_ = opened_ && BeginExchange(body);
  }
  void FinishSend() override {
    if (!pending_) return;
    pending_ = false;
    if (begun_ && FinishExchange()) return;
    ClearResponse();
    if (sink_) sink_->resize(sinkStart_);
  }
  bool AnsweredWithin(int32_t ms) override { return !pending_ || !begun_ || ExchangeEndsWithin(ms); }
  bool Multiplexed() override { return multiplexed_; }
  void SetQueueHint(const QueueHint& hint) override { queueHint_ = hint; }
  void SetBodySink(Bytes* sink, int64_t limit) override {
    sink_ = sink;
    sinkLimit_ = limit;
  }
  Bytes TakeResponseBody() override { return std::move(body_); }
  Text GetAllResponseHeaders() override { return responseHeaders_; }
  Text ResponseUrl() override { return responseUrl_; }
  int32_t Status() override { return status_; }

 protected:
  struct Timeouts {
    int32_t resolveMs = 0, connectMs = 60000, sendMs = 30000, receiveMs = 30000;
  };

  // One exchange: on success it sets `status_`, `responseHeaders_` and, after a redirect,
  // `responseUrl_` (else it stays the opened address), and has put the body in
  // `body_` or appended it to the sink, within its limit; on failure it may leave anything, and
  // the response is cleared and the sink cut back.
  virtual bool Exchange(const Bytes& body) = 0;
  // A platform that overlaps exchanges begins one here (false: it failed at once) and ends it in
  // FinishExchange(), with Exchange()'s results; by default the whole exchange runs at the start.
  virtual bool BeginExchange(const Bytes& body) {
    exchanged_ = Exchange(body);
    return exchanged_;
  }
  virtual bool FinishExchange() { return exchanged_; }
  // Whether the exchange begun ends within `ms`; FinishExchange() still follows.
  virtual bool ExchangeEndsWithin(int32_t) { return true; }

  // Whether `more` bytes still fit the sink's limit after `received`.
  bool WithinLimit(size_t received, size_t more) const {
    return !sink_ || sinkLimit_ < 0 || static_cast<int64_t>(received + more) <= sinkLimit_;
  }

  Text verb_, url_, proxy_, proxyUser_, proxyPassword_, serverUser_, serverPassword_;
  std::vector<std::pair<Text, Text>> headers_;
  Timeouts timeouts_;
  bool followRedirects_ = true;
  QueueHint queueHint_;
  Bytes body_;
  Bytes* sink_ = nullptr;
  int64_t sinkLimit_ = -1;
  size_t sinkStart_ = 0;
  Text responseHeaders_;
  Text responseUrl_;
  int32_t status_ = 0;
  bool multiplexed_ = false;

 private:
  void ClearResponse() {
    body_.clear();
    responseHeaders_.clear();
    responseUrl_.clear();
    status_ = 0;
    multiplexed_ = false;
  }

  bool opened_ = false, pending_ = false, begun_ = false, exchanged_ = false;
};

}  // namespace tovak::platform
