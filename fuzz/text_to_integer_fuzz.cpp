// The text-to-integer rule that reads the file size a server sends and the ledger's values:
// against the C library on plain ASCII, and through the decimal text of any value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "fuzz/require.h"
#include "text/number_text.h"

using namespace tovak;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int64_t number = input.ConsumeIntegral<int64_t>();
  REQUIRE(text::TextToInt64(text::IntegerText(number)) == number);

  const Text value = input.ConsumeRemainingBytesAsString();
  const int64_t result = text::TextToInt64(value);
  bool plainAscii = true;
  for (unsigned char c : value) plainAscii = plainAscii && c != 0 && c < 0x80;
  if (plainAscii) REQUIRE(result == std::strtoll(value.c_str(), nullptr, 10));  // both saturate
  return 0;
}
