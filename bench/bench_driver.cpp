// Runs one download with the engine and the headless window model: the benchmark's stand-in for
// a person pressing the button. Retry prompts are answered Yes. TOVAK_BENCH_RUNS=N downloads N
// times in one process and prints the resident memory of the idle program before and after each.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/window_model.h"
#include "platform/code_page.h"
#include "download/download_run.h"
#include "platform/headless/headless.h"
#include "platform/system_info.h"

namespace {

// Kilobytes of the process's own memory resident (not of mapped files), from the kernel's status.
long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("RssAnon:", 0) == 0) return std::atol(line.c_str() + 8);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tovak;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s URL SAVE_PATH   (temporary files under $TOVAK_DRIVE_D)\n", argv[0]);
    return 2;
  }
  platform::HeadlessEventPump pump;
  platform::InstallEventPump(&pump);
  platform::ScriptedDesktop desktop;
  desktop.Script({}, platform::kAnswerYes);
  download::DownloadState state;
  storage::MappedFileTable files(platform::QuerySystemInfo().allocationGranularity);
  app::WindowModel window;
  download::DownloadEngine engine({state, window, desktop, files});
  state.link = argv[1];
  state.savePath = argv[2];
  window.SetText(platform::ControlId::编辑框2, argv[2]);
  const char* runsText = std::getenv("TOVAK_BENCH_RUNS");
  const int runs = runsText ? std::max(1, std::atoi(runsText)) : 1;
  for (int run = 1; run <= runs; ++run) {
    if (runsText) std::fprintf(stderr, "resident memory before run %d: %ld KB\n", run, ResidentKilobytes());
    engine.RunDownload();
  }
  if (runsText) std::fprintf(stderr, "resident memory after run %d: %ld KB\n", runs, ResidentKilobytes());
  for (const platform::ShownMessage& message : desktop.Messages())
    std::fprintf(stderr, "message box: %s\n", platform::GbkToUtf8(message.text).c_str());
  state.pool.Close(1);
  platform::InstallEventPump(nullptr);
  return window.GetText(platform::ControlId::标签_进度提示) == "下载完成！" ? 0 : 1;
}
