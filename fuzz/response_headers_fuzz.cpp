// Response header texts as servers send them: names and values, name normalisation, the lookup
// of Content-Range and the parse of its value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/require.h"
#include "http/content_range.h"
#include "http/header_text.h"
#include "text/number_text.h"
#include "text/text_ops.h"

using namespace tovak;

namespace {


void CheckRange(const Text& value) {
  auto range = http::ParseContentRange(value);
  if (!range) return;
  REQUIRE(range->first >= 0 && range->first <= range->last);
  REQUIRE(range->total == http::ContentRange::kUnknownTotal || range->total > range->last);
  // What was read is what the value says: written out again, it reads the same.
  const Text total = range->total == http::ContentRange::kUnknownTotal ? "*" : text::IntegerText(range->total);
  auto again = http::ParseContentRange("bytes " + text::IntegerText(range->first) + "-" +
                                       text::IntegerText(range->last) + "/" + total);
  REQUIRE(again && again->first == range->first && again->last == range->last && again->total == range->total);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Text headers(reinterpret_cast<const char*>(data), size);
  TextList lines = text::Split(headers, "\r\n");
  size_t namedLines = 0;
  for (const Text& line : lines) {
    const Text name = http::HeaderName(line), value = http::HeaderValue(line);
    REQUIRE(name.size() + value.size() < line.size() || line.empty());
    if (text::Contains(line, ":")) ++namedLines;
  }
  // Normalising keeps every line that has a colon, at its length.
  const TextList normalised = text::Split(http::NormalizeHeaderNames(headers), "\r\n");
  REQUIRE(normalised.size() <= namedLines);
  const Text value = http::FindHeaderValue(headers, "Content-Range");
  CheckRange(value);
  CheckRange(headers);
  return 0;
}
