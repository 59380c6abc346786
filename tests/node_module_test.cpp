// The project's own engine module: how it reads a page (character set, title), and the module
// itself loaded by name as the program loads it, fetching pages from the local server.
#include <gtest/gtest.h>

#include <string>

#include "node_module/page_fetch.h"
#include "node_module/page_text.h"
#include "platform/program_location.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/wke_api.h"
#include "tests/support/range_server.h"

namespace tovak::node {
namespace {

TEST(NodePageText, CodePageFollowsTheBrowsersOrderOfEvidence) {
  struct Case {
    const char* contentType;
    std::string body;
    unsigned codePage;
  } cases[] = {
      {"text/html; charset=GBK", "<meta charset=\"utf-8\">", 936},  // the header wins
      {"text/html;charset=\"Big5\"", "", 950},
      {"text/html", "<html><head><meta charset=\"gb2312\"><title>", 936},
      {"text/html", "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=shift_jis\">", 932},
      {"text/html", "<meta charset='utf-16'>", 65001},  // an ASCII page is not UTF-16
      {"text/html", "\xEF\xBB\xBF<meta charset=\"gbk\">", 65001},  // a byte-order mark wins
      {"text/html", "\xFF\xFE<\0h\0", 1200},
      {"", "<title>\xE7\x89\x88\xE6\x9C\xAC</title>", 65001},  // valid UTF-8, undeclared
      {"", "<title>\xB0\xB2\xC8\xAB</title>", 936},             // not UTF-8: the Chinese default
      {"text/html; charset=x-unknown", "<meta charset=\"big5\">", 950},
  };
  for (const Case& c : cases) EXPECT_EQ(CodePageOfPage(c.contentType, c.body), c.codePage) << c.contentType << " " << c.body;
}

TEST(NodePageText, TitleIsTheFirstTitleElementAsABrowserReportsIt) {
  struct Case {
    const wchar_t* document;
    const wchar_t* title;  // null: no title element
  } cases[] = {
      {L"<html><head><title>1.4.2</title></head>", L"1.4.2"},
      {L"<TITLE>\n  2.0.1 \t beta\r\n</TITLE>", L"2.0.1 beta"},
      {L"<title id=\"t\">A &amp; B &lt;&#x41;&#66;&gt; &nbsp;x</title>", L"A & B <AB> \u00A0x"},
      {L"<title>&unknown; &#xZZ; & done</title>", L"&unknown; &#xZZ; & done"},
      {L"<titles>no</titles><title>版本</title>", L"版本"},
      {L"<title></title>", L""},
      {L"<title>unclosed", L"unclosed"},
      {L"<html><body>no title</body></html>", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<std::wstring> title = TitleOf(c.document);
    ASSERT_EQ(title.has_value(), c.title != nullptr) << platform::FromWide(c.document);
    if (c.title) {
      EXPECT_EQ(*title, c.title) << platform::FromWide(c.document);
    }
  }
}

TEST(NodePageText, DecodesByCodePage) {
  EXPECT_EQ(DecodeText("\xB0\xB2\xC8\xAB", 936), L"安全");
  EXPECT_EQ(DecodeText("\xE5\xAE\x89\xE5\x85\xA8", 65001), L"安全");
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE\x89\x5B\x68\x51", 6), 1200), L"安全");
  EXPECT_EQ(DecodeText(std::string("\x5B\x89\x51\x68", 4), 1201), L"安全");
}

// The module as the program binds it: by name, from the program's directory.
class NodeModule : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring path = platform::Wide(platform::ProgramDirectory() + "\\node.dll");
    module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << "node.dll beside the tests";
    auto isInitialized = Bind<wkeIsInitializeFunction>("wkeIsInitialize");
    if (!isInitialized()) Bind<wkeInitializeFunction>("wkeInitialize")();
    EXPECT_TRUE(isInitialized());
    host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 408, 304, nullptr, nullptr, nullptr, nullptr);
    view = Bind<wkeCreateWebViewFunction>("wkeCreateWebView")();
    Bind<wkeSetHandleFunction>("wkeSetHandle")(view, host);
    Bind<wkeResizeFunction>("wkeResize")(view, 408, 304);
    Bind<wkeOnLoadingFinishFunction>("wkeOnLoadingFinish")(view, &NodeModule::Finished, this);
  }
  void TearDown() override { DestroyWindow(host); }

  template <typename Function>
  Function Bind(const char* name) {
    FARPROC address = GetProcAddress(module, name);
    EXPECT_NE(address, nullptr) << name;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  }
  // Loads `url` and dispatches messages until its end is reported (at most ten seconds).
  bool Load(const std::wstring& url) {
    finishes = 0;
    Bind<wkeLoadURLWFunction>("wkeLoadURLW")(view, url.c_str());
    for (int i = 0; i < 1000 && finishes == 0; ++i) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      if (finishes == 0) Sleep(10);
    }
    return finishes == 1;
  }
  const wchar_t* Title() { return Bind<wkeGetTitleWFunction>("wkeGetTitleW")(view); }

  static void __cdecl Finished(wkeWebView webView, void* param, wkeString url, int result, wkeString reason) {
    auto* self = static_cast<NodeModule*>(param);
    auto text = self->Bind<wkeGetStringWFunction>("wkeGetStringW");
    ++self->finishes;
    self->finishedView = webView;
    self->finishedThread = GetCurrentThreadId();
    self->url = text(url);
    self->result = result;
    self->reason = text(reason);
  }

  HMODULE module = nullptr;
  HWND host = nullptr;
  wkeWebView view = nullptr;
  int finishes = 0, result = -1;
  wkeWebView finishedView = nullptr;
  DWORD finishedThread = 0;
  std::wstring url, reason;
};

TEST_F(NodeModule, ReportsALoadedPageAndItsTitleOnTheInitialisingThread) {
  testing::RangeServer server;
  server.SetTitle("\xE7\x89\x88\xE6\x9C\xAC 1.4.2");  // UTF-8 on the wire
  ASSERT_TRUE(server.Start());
  std::wstring address = platform::Wide(server.BaseUrl() + "/tovak安全/Dev/Update.html");
  EXPECT_EQ(Title(), nullptr) << "nothing is shown yet";
  ASSERT_TRUE(Load(address));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(finishedView, view);
  EXPECT_EQ(finishedThread, GetCurrentThreadId());
  EXPECT_EQ(url, address);
  ASSERT_NE(Title(), nullptr);
  EXPECT_EQ(std::wstring(Title()), L"版本 1.4.2");
}

TEST_F(NodeModule, ReportsAFailedLoadWithItsReasonAndNoTitle) {
  testing::RangeServer server;
  ASSERT_TRUE(server.Start());
  std::wstring address = platform::Wide(server.BaseUrl() + "/tovak安全/Dev/Update.html");
  server.Stop();  // nothing listens there now
  ASSERT_TRUE(Load(address));
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(Title(), nullptr);
}

}  // namespace
}  // namespace tovak::node
