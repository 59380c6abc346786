// Runs one download with the engine and the headless window model: the benchmark's stand-in for
// a person pressing the button. Retry prompts are answered Yes.
#include <cstdio>
#include <cstdlib>

#include "app/window_model.h"
#include "download/download_run.h"
#include "platform/headless/headless.h"
#include "platform/system_info.h"

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
  engine.RunDownload();
  state.pool.Close(1);
  platform::InstallEventPump(nullptr);
  return window.GetText(platform::ControlId::标签_进度提示) == "下载完成！" ? 0 : 1;
}
