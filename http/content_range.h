#pragma once
// The value of a Content-Range response header: "bytes first-last/total", where the total may be
// "*" when the server does not know it.
#include <cstdint>
#include <optional>

#include "text/text.h"

namespace tovak::http {

struct ContentRange {
  static constexpr int64_t kUnknownTotal = -1;
  int64_t first = 0;
  int64_t last = 0;
  int64_t total = kUnknownTotal;
};

// Nothing for anything but a well-formed range of bytes (an unsatisfied "bytes */total" included):
// the offsets are decimal, first <= last, and a known total lies beyond last.
std::optional<ContentRange> ParseContentRange(const Text& value);

}  // namespace tovak::http
