#pragma once
// The scriptable HTTP request object: configure, open, set headers, send synchronously, read back.
#include <cstdint>
#include <memory>

#include "text/text.h"

namespace tovak::platform {

// How an exchange that waits for a connection to its host is placed among the others.
struct QueueHint {
  // Those of the lowest order are sent first.
  int64_t order = 0;
  // What the caller still wants from the host, this exchange included (-1: unknown). Near the end
  // a slow connection may then be left idle rather than given what the fast ones finish sooner.
  int64_t bytesStillWanted = -1;
};

class HttpRequestObject {
 public:
  static constexpr int kOptionEnableRedirects = 6;
  static constexpr int kOptionIgnoreCertificateErrors = 4;

  virtual ~HttpRequestObject() = default;
  // Milliseconds; the receive time-out bounds a stall, not the whole transfer.
  virtual void SetTimeouts(int32_t resolveMs, int32_t connectMs, int32_t sendMs, int32_t receiveMs) = 0;
  virtual void SetProxy(int32_t setting, const Text& proxy) = 0;
  virtual void Open(const Text& verb, const Text& url, bool async) = 0;
  virtual void SetOption(int32_t option, int32_t value) = 0;
  virtual void SetCredentials(const Text& user, const Text& password, int32_t target) = 0;
  virtual void SetRequestHeader(const Text& name, const Text& value) = 0;
  virtual void SendText(const Text& body) = 0;
  virtual void SendBytes(const Bytes& body) = 0;
  // Sends without waiting for the answer; FinishSend() waits for it. While one object of a thread
  // is waited for, the other objects that thread has started go on too, over one connection where
  // the server speaks HTTP/2: a caller keeps its next request in flight that way. Where the
  // platform cannot overlap exchanges, StartBytes() runs the whole exchange. The sink given
  // before the start stays in use until FinishSend().
  virtual void StartText(const Text& body) = 0;
  virtual void StartBytes(const Bytes& body) = 0;
  virtual void FinishSend() = 0;
  // Whether the exchange started last is answered (or has failed) within `ms`, without finishing
  // it. Where the platform cannot overlap exchanges, the start has run it: true at once.
  virtual bool AnsweredWithin(int32_t ms) = 0;
  // Holds from the next start on. Where exchanges never wait, it changes nothing.
  virtual void SetQueueHint(const QueueHint& hint) = 0;
  // Whether the last answer came over a connection that carries several exchanges at once.
  virtual bool Multiplexed() = 0;
  // Until the next call, send operations append the body to `sink` instead of keeping it, and a
  // body of more than `limit` bytes (unless -1) fails the exchange. A failed exchange leaves
  // `sink` as it was. A null sink restores the default.
  virtual void SetBodySink(Bytes* sink, int64_t limit) = 0;
  // The whole body of the last response; the object gives it up (a second read is empty).
  virtual Bytes TakeResponseBody() = 0;
  virtual Text GetAllResponseHeaders() = 0;
  // Where the last response came from: the opened address, or where its redirects led; empty
  // when the exchange failed.
  virtual Text ResponseUrl() = 0;
  virtual int32_t Status() = 0;
};

using HttpRequestObjectRef = std::shared_ptr<HttpRequestObject>;

// A new request object of the platform, or null when none can be made.
HttpRequestObjectRef CreateHttpRequestObject();

}  // namespace tovak::platform
