// The Win32 window under Wine: the layout's rectangles, the centred toggle, the model mirrored on
// the window's thread only, edits written back, and the close guard.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <thread>

#include "app/program.h"
#include "platform/headless/headless.h"
#include "platform/win32/win32_event_pump.h"
#include "platform/win32/win32_window_view.h"

namespace tovak::platform {
namespace {

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

class Win32WindowViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallEventPump(&pump);
    model.AttachView(&view);
    view.Show();
    mainWindow.OnWindowCreated();
    ASSERT_TRUE(Pump([&] { return OuterRect().right - OuterRect().left == 466; })) << "the window collapses";
  }
  void TearDown() override {
    model.AttachView(nullptr);
    InstallEventPump(nullptr);
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  // Dispatches until `done` holds or two seconds have passed.
  bool Pump(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i) {
      pump.ProcessPending();
      if (done()) return true;
      Sleep(10);
    }
    pump.ProcessPending();
    return done();
  }
  RECT OuterRect() {
    RECT rect{};
    GetWindowRect(view.Window(), &rect);
    return rect;
  }
  HWND Control(ControlId id) { return view.Control(id); }

  Win32EventPump pump;
  ScriptedDesktop desktop;
  ScriptedBrowserEngine browserEngine;
  app::Program program{desktop, browserEngine};
  app::WindowModel& model = program.Model();
  app::MainWindow& mainWindow = program.Window();
  Win32WindowView view{model, {[this] { mainWindow.OnToggleClicked(); }, [this] { mainWindow.OnDownloadClicked(); },
                               [this] { return mainWindow.RequestClose(); }}};
};

TEST_F(Win32WindowViewTest, StartsCollapsedCentredWithTheLayoutsControls) {
  const int screen = GetSystemMetrics(SM_CXSCREEN);
  RECT outer = OuterRect();
  EXPECT_EQ(outer.left, (screen - 466) / 2);
  EXPECT_EQ(outer.top, 50);
  EXPECT_EQ(outer.right - outer.left, 466);
  EXPECT_EQ(outer.bottom - outer.top, 349);
  EXPECT_EQ(TextOf(view.Window()), L"下载器");
  EXPECT_EQ(TextOf(Control(ControlId::按钮1)), L">");
  EXPECT_EQ(TextOf(Control(ControlId::标签_进度提示)), L"- 正在获取链接...");
  EXPECT_EQ(TextOf(Control(ControlId::编辑框1)), L"正在获取中...");
  EXPECT_FALSE(IsWindowEnabled(Control(ControlId::按钮_下载)));
  EXPECT_TRUE(IsWindowEnabled(Control(ControlId::按钮1)));
  PBRANGE range{};
  SendMessageW(Control(ControlId::进度条_更新进度), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);

  for (int i = 1; i < kControlCount; ++i) {
    auto id = static_cast<ControlId>(i);
    RECT rect{};
    GetWindowRect(Control(id), &rect);
    MapWindowPoints(nullptr, view.Window(), reinterpret_cast<POINT*>(&rect), 2);
    app::Rect expected = app::WindowModel::LayoutOf(id);
    EXPECT_EQ(rect.left, expected.left) << "control " << i;
    EXPECT_EQ(rect.top, expected.top) << "control " << i;
    EXPECT_EQ(rect.right - rect.left, expected.width) << "control " << i;
    EXPECT_EQ(rect.bottom - rect.top, expected.height) << "control " << i;
  }
}

TEST_F(Win32WindowViewTest, ToggleButtonWidensAndNarrowsAroundTheScreensCentre) {
  const int screen = GetSystemMetrics(SM_CXSCREEN);
  SendMessageW(Control(ControlId::按钮1), BM_CLICK, 0, 0);
  ASSERT_TRUE(Pump([&] { return OuterRect().right - OuterRect().left == 885; }));
  EXPECT_EQ(OuterRect().left, (screen - 885) / 2);
  EXPECT_EQ(TextOf(Control(ControlId::按钮1)), L"<");
  SendMessageW(Control(ControlId::按钮1), BM_CLICK, 0, 0);
  ASSERT_TRUE(Pump([&] { return OuterRect().right - OuterRect().left == 466; }));
  EXPECT_EQ(OuterRect().left, (screen - 466) / 2);
  EXPECT_EQ(TextOf(Control(ControlId::按钮1)), L">");
}

TEST_F(Win32WindowViewTest, EnterInAnEditIsNoClickOnAControl) {
  // The dialog manager of the program's loop turns Enter into a command for IDOK.
  MSG enter{Control(ControlId::编辑框2), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  IsDialogMessageW(view.Window(), &enter);
  Pump([] { return false; });
  EXPECT_EQ(OuterRect().right - OuterRect().left, 466);
  EXPECT_EQ(TextOf(Control(ControlId::按钮1)), L">");
}

TEST_F(Win32WindowViewTest, ChangesFromAWorkerReachTheControlsOnlyOnTheWindowsThread) {
  HWND bar = Control(ControlId::进度条_更新进度);
  std::thread worker([&] {
    model.SetProgressPosition(42);
    model.SetStatusText("- 正在下载:1MB/2MB  进度:42%");
  });
  worker.join();
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0) << "nothing changes before the window's thread runs";
  ASSERT_TRUE(Pump([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) == 42; }));
  EXPECT_EQ(TextOf(Control(ControlId::标签_进度提示)), L"- 正在下载:1MB/2MB  进度:42%");
}

TEST_F(Win32WindowViewTest, PageLoadEnablesTheButtonAndTypedTextReachesTheModel) {
  browserEngine.FinishLoad("2.0.1");
  ASSERT_TRUE(Pump([&] { return IsWindowEnabled(Control(ControlId::按钮_下载)) != FALSE; }));
  EXPECT_EQ(TextOf(Control(ControlId::标签_进度提示)), L"- 准备就绪");
  EXPECT_NE(TextOf(Control(ControlId::编辑框1)).find(L"v2.0.1/tovak.security.zip"), std::wstring::npos);

  SetWindowTextW(Control(ControlId::编辑框1), L"https://mirror.test/安全.zip");
  SetWindowTextW(Control(ControlId::编辑框2), L"E:\\下载\\a.zip");
  EXPECT_EQ(model.GetText(ControlId::编辑框1), "https://mirror.test/安全.zip");
  EXPECT_EQ(model.GetText(ControlId::编辑框2), "E:\\下载\\a.zip");
}

TEST_F(Win32WindowViewTest, CloseIsRefusedWhileFetchingAndCarriedOutWhenReady) {
  SendMessageW(view.Window(), WM_CLOSE, 0, 0);
  pump.ProcessPending();
  EXPECT_TRUE(IsWindow(view.Window())) << "the label still says 正在";
  browserEngine.FinishLoad("2.0.1");
  SendMessageW(view.Window(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(view.Window()));
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the program's loop ends";
}

}  // namespace
}  // namespace tovak::platform
