// Cookie texts: the Set-Cookie lines of a response and the merge into the cookies a caller holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "fuzz/require.h"
#include "http/header_text.h"
#include "text/text_ops.h"

using namespace tovak;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  Text oldCookies = input.ConsumeRandomLengthString(512);
  Text responseHeaders = input.ConsumeRemainingBytesAsString();

  Text fresh = http::ExtractSetCookies(responseHeaders);
  REQUIRE(fresh.size() <= responseHeaders.size());
  const Text merged = http::MergeCookies(oldCookies, fresh);
  REQUIRE(merged == oldCookies);
  for (const Text& item : text::Split(merged, "; ")) REQUIRE(!text::EndsWith(item, "=deleted"));
  return 0;
}
