// The resume ledger: INI text as another program (or a damaged disk) may have left it, and the
// round trip of the three values through a ledger file.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/require.h"
#include "download/range_files.h"
#include "platform/file_system.h"
#include "platform/posix/ini_text.h"
#include "text/text_ops.h"

using namespace tovak;

namespace {

const Text kLedger = "D:\\retry.ini";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tovak-fuzz-XXXXXX").string();
  ::setenv("TOVAK_DRIVE_D", ::mkdtemp(pattern.data()), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  download::ResumeLedger written{input.ConsumeIntegral<int64_t>(), input.ConsumeIntegral<int64_t>(),
                                 input.ConsumeIntegral<int32_t>()};
  Text value = input.ConsumeRandomLengthString(64);
  const Text content = input.ConsumeRemainingBytesAsString();

  // A value written into any text reads back, trimmed, and leaves the other keys readable.
  if (!text::Contains(value, "\n") && !text::Contains(value, "\r")) {
    const Text other = platform::IniValue(content, "retry", "seq");
    const Text updated = platform::WithIniValue(content, "retry", "start", value);
    REQUIRE(platform::IniValue(updated, "retry", "start") == text::Trim(value));
    REQUIRE(platform::IniValue(updated, "retry", "seq") == other);
  }

  // Whatever a ledger file held before, the worker reads back what it wrote.
  platform::WriteWholeFile(kLedger, content);
  download::WriteLedger(kLedger, written);
  const download::ResumeLedger read = download::ReadLedger(kLedger);
  REQUIRE(read.start == written.start && read.end == written.end && read.seq == written.seq);
  return 0;
}
