#include <gtest/gtest.h>

#include <cstdlib>

#include "app/deployment.h"
#include "app/main_window.h"
#include "platform/program_location.h"
#include "tests/support/engine_fixture.h"
#include "text/text_ops.h"

namespace tovak::app {
namespace {

using platform::ControlId;

class MainWindowTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    testing::SetEnvironment("TOVAK_RELEASE_BASE_URL", "https://dl.test/releases/download/v");
    // The environment is UTF-8, the program's texts GBK.
    testing::SetEnvironment("TOVAK_UPDATE_PAGE_URL", "https://www.test/tovak\xE5\xAE\x89\xE5\x85\xA8/Dev/Update.html");
    EngineTest::SetUp();
  }
  void TearDown() override {
    EngineTest::TearDown();
    testing::SetEnvironment("TOVAK_RELEASE_BASE_URL", "");
    testing::SetEnvironment("TOVAK_UPDATE_PAGE_URL", "");
  }
  platform::ScriptedBrowserEngine browserEngine;
  BrowserBox browser{browserEngine};
  WindowModel fresh;
  MainWindow main{window, browser, engine};
};

TEST_F(MainWindowTest, StartsCollapsedCentredAndFetching) {
  main.OnWindowCreated();
  Rect rect = window.WindowRect();
  EXPECT_EQ(rect.width, 466);
  EXPECT_EQ(rect.left, (1280 - 466) / 2);
  EXPECT_EQ(rect.top, 50);
  EXPECT_EQ(window.GetText(ControlId::按钮1), ">");
  EXPECT_EQ(window.GetText(ControlId::编辑框2),
            platform::ProgramDirectory() + platform::kDirectorySeparator + "Tovak Security.zip");
  EXPECT_EQ(browserEngine.Loaded(), std::vector<Text>{"https://www.test/tovak安全/Dev/Update.html"});
  EXPECT_TRUE(window.IsDisabled(ControlId::按钮_下载));
  EXPECT_EQ(window.GetText(ControlId::编辑框1), "正在获取中...");
  EXPECT_FALSE(main.OnMayClose()) << "no close before the page has loaded";

  EXPECT_EQ(fresh.GetText(ControlId::Window), "下载器");
  EXPECT_EQ(fresh.GetText(ControlId::编辑框2), "D:\\Tovak Security.zip");
  EXPECT_EQ(WindowModel::LayoutOf(ControlId::MiniBlink浏览框1).left, 464);
}

TEST_F(MainWindowTest, ToggleExpandsAndCollapsesAroundTheSameCentre) {
  main.OnWindowCreated();
  main.OnToggleClicked();
  EXPECT_EQ(window.WindowRect().width, 885);
  EXPECT_EQ(window.GetText(ControlId::按钮1), "<");
  EXPECT_EQ(window.WindowRect().left, 197);
  main.OnToggleClicked();
  EXPECT_EQ(window.WindowRect().width, 466);
  EXPECT_EQ(window.WindowRect().left, 407);
  window.SetWindowWidth(600);
  main.OnToggleClicked();
  EXPECT_EQ(window.WindowRect().width, 466) << "any other width collapses";
}

TEST_F(MainWindowTest, PageLoadComposesTheLinkFromTheTitleAsItIs) {
  main.OnWindowCreated();
  browserEngine.FinishLoad(" 2.0.1 ");
  EXPECT_EQ(window.GetText(ControlId::编辑框1), "https://dl.test/releases/download/v 2.0.1 /tovak.security.zip");
  EXPECT_FALSE(window.IsDisabled(ControlId::按钮_下载));
  EXPECT_EQ(window.GetText(ControlId::标签_进度提示), "- 准备就绪");
  EXPECT_TRUE(main.OnMayClose());

  window.SetText(ControlId::编辑框1, "typed by the user");
  browserEngine.FinishLoad("2.0.2");
  EXPECT_EQ(window.GetText(ControlId::编辑框1), "https://dl.test/releases/download/v2.0.2/tovak.security.zip");
}

TEST_F(MainWindowTest, CloseGuardFollowsTheLabel) {
  struct Case {
    Text label;
    bool mayClose;
  } cases[] = {{"- 正在获取链接...", false}, {"- 准备就绪", true},  {"- 正在下载:1MB/2MB  进度:50%", false},
               {"下载完毕，开始整合文件", true}, {"下载完成！", true}, {"下载失败", true}};
  for (const Case& c : cases) {
    window.SetText(ControlId::标签_进度提示, c.label);
    EXPECT_EQ(main.OnMayClose(), c.mayClose) << c.label;
    EXPECT_EQ(main.RequestClose(), c.mayClose) << c.label;
  }
}

TEST_F(MainWindowTest, DownloadUsesTypedTextIgnoresSecondPressesAndDefersACloseDuringTheJoin) {
  const std::string content = testing::RandomBytes(3 * 1048576, 11);
  server.SetFile(content);
  window.SetText(ControlId::编辑框1, Link());
  window.SetText(ControlId::编辑框2, "D:\\typed.zip");
  bool closeAllowedDuringJoin = true;
  view.OnLabel([&](const Text& label) {
    if (label.rfind("- 正在下载:", 0) == 0) pump.Post([&] { main.OnDownloadClicked(); });
    if (label == "下载完毕，开始整合文件") closeAllowedDuringJoin = main.RequestClose();
  });
  main.OnDownloadClicked();
  EXPECT_TRUE(testing::ReadFile(drive / "typed.zip") == content);
  EXPECT_EQ(desktop.Opened(), std::vector<Text>{"D:\\typed.zip"});
  EXPECT_FALSE(closeAllowedDuringJoin);
  EXPECT_TRUE(view.Closed()) << "the deferred close happens once the run has ended";
  int probes = 0;
  for (auto [first, last] : server.Ranges()) probes += first == 0 && last == 0;
  EXPECT_EQ(probes, 1) << "presses during the run start nothing";
}

}  // namespace
}  // namespace tovak::app
