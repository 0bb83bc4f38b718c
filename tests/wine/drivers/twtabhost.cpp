// Test driver: the shell's tab strip on a window of its own at the screen's top-left corner. Once
// the strip's start-up TabChange has arrived, three tabs are added the way the main window adds
// them (CreatTab, then SetIndex) and tab 2 is selected.
// Prints one line per event ("event=TabChange|caption|data|index"), and the screen rectangles of
// the tabs and their close buttons after each ("tab=index,x,y,w,h,selected" and
// "close=index,x,y,w,h,visible"), ending with "geometry=end". Prints "ready" once set up. Ends on
// WM_QUIT, or by itself after the seconds given (default 120). A second argument "drawn" makes the
// strip use its own buttons instead of Corvala.Cmd_ controls; "buttons=cmd|drawn" says which. A
// third argument "many" adds twelve more tabs, more than the viewport shows. Whenever the offset
// changes (the arrows raise no event) the rectangles are printed again. A fourth argument names a
// file that receives the lines instead of standard output.
#include <windows.h>
#include <ole2.h>

#include <cstdlib>
#include <string>

#include "common/core/text.h"
#include "common/core/twips.h"
#include "shell/tab_strip/core/lintra_tab.h"
#include "shell/tab_strip/win/lintra_tab_window.h"
#include "shell/tab_strip/win/strip_button.h"

namespace {

// Where the lines go: the file named by the fourth argument, else standard output.
HANDLE g_out = INVALID_HANDLE_VALUE;

void Out(const std::string& line) {
  DWORD put = 0;
  std::string s = line + "\n";
  HANDLE out = g_out != INVALID_HANDLE_VALUE ? g_out : GetStdHandle(STD_OUTPUT_HANDLE);
  WriteFile(out, s.data(), static_cast<DWORD>(s.size()), &put, nullptr);
  FlushFileBuffers(out);
}

constexpr UINT kAddTabs = WM_APP + 7;
constexpr UINT_PTR kOffsetPoll = 42;
bool g_many = false;

class PrintingHost : public tw::tabs::LintraTabEvents {
 public:
  tw::tabs::win::LintraTabControl* strip = nullptr;
  HWND frame = nullptr;
  bool tabs_added = false;
  std::int64_t last_offset = 0;

  void PollOffset() {
    if (!tabs_added || !strip || !strip->model() || strip->model()->Offset() == last_offset) return;
    last_offset = strip->model()->Offset();
    Geometry();
  }

  void Click(const std::u16string& caption, const std::u16string& data, std::int32_t index) override {
    Report("Click", caption, data, index);
  }
  void TabChange(const std::u16string& caption, const std::u16string& data, std::int32_t index) override {
    Report("TabChange", caption, data, index);
    if (!tabs_added) {
      tabs_added = true;
      PostMessageW(frame, kAddTabs, 0, 0);
    }
  }

  void AddTabs() {
    for (const char16_t* caption : {u"Alpha", u"Beta", u"Gamma \u6E38\u620F"}) {
      std::int32_t index = strip->CreatTab(caption);
      strip->SetIndex(static_cast<std::int16_t>(index));
    }
    for (int i = 4; g_many && i <= 15; ++i) {
      std::string caption = "Tab " + std::to_string(i);
      std::int32_t index = strip->CreatTab(std::u16string(caption.begin(), caption.end()));
      strip->SetIndex(static_cast<std::int16_t>(index));
    }
    strip->SetIndex(2);
    last_offset = strip->model()->Offset();
    Geometry();
    Out("ready");
  }
  void UnloadClick(std::int32_t index) override {
    Out("event=UnloadClick|" + std::to_string(index));
    Geometry();
  }

  void Geometry() {
    if (!strip || !strip->model()) return;
    const tw::tabs::LintraTab& model = *strip->model();
    const int dpi = strip->dpi();
    POINT origin{0, 0};
    ClientToScreen(strip->hwnd(), &origin);
    for (const auto& [index, slot] : model.Tabs()) {
      const std::int64_t left = slot.left + model.Offset();
      const int x = origin.x + tw::TwipsToPixels(left, dpi);
      const int w = tw::TwipsToPixels(left + slot.btn.Width(), dpi) - tw::TwipsToPixels(left, dpi);
      const int h = tw::TwipsToPixels(slot.btn.Height(), dpi);
      Out("tab=" + std::to_string(index) + "," + std::to_string(x) + "," + std::to_string(origin.y) + "," +
          std::to_string(w) + "," + std::to_string(h) + "," + (slot.btn.NormalLook() ? "0" : "1"));
      tw::tabs::TwipRect end = slot.btn.EndBtnRect();
      Out("close=" + std::to_string(index) + "," + std::to_string(x + tw::TwipsToPixels(end.left, dpi)) + "," +
          std::to_string(origin.y + tw::TwipsToPixels(end.top, dpi)) + "," +
          std::to_string(tw::TwipsToPixels(end.width, dpi)) + "," +
          std::to_string(tw::TwipsToPixels(end.height, dpi)) + "," + (slot.btn.EndBtnVisible() ? "1" : "0"));
    }
    Out("offset=" + std::to_string(model.Offset()));
    Out("geometry=end");
  }

 private:
  void Report(const char* name, const std::u16string& caption, const std::u16string& data, std::int32_t index) {
    Out(std::string("event=") + name + "|" + tw::ToUtf8(caption) + "|" + tw::ToUtf8(data) + "|" +
        std::to_string(index));
    Geometry();
  }
};

PrintingHost* g_host = nullptr;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kAddTabs && g_host && g_host->strip) {
    g_host->AddTabs();
    SetTimer(hwnd, kOffsetPoll, 50, nullptr);
    return 0;
  }
  if (msg == WM_TIMER && wp == kOffsetPoll && g_host) {
    g_host->PollOffset();
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int Run(UINT seconds) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = L"TwTabHostFrame";
  RegisterClassExW(&wc);
  HWND frame = CreateWindowExW(0, wc.lpszClassName, L"twtabhost", WS_POPUP | WS_VISIBLE, 0, 0, 800, 80, nullptr,
                               nullptr, wc.hInstance, nullptr);
  if (!frame) {
    Out("create=failed");
    return 1;
  }

  PrintingHost host;
  host.frame = frame;
  g_host = &host;
  tw::tabs::win::LintraTabControl strip(host);
  const int dpi = 96;
  const std::int32_t width = static_cast<std::int32_t>(tw::PixelsToTwips(780, dpi));
  if (!strip.Create(frame, 0, 0, width, tw::tabs::HomeCaption(u"Tarnwick", u"http://127.0.0.1:18473"))) {
    Out("create=failed");
    return 1;
  }
  host.strip = &strip;
  (void)strip.SetWidth(width);
  Out("created");
  Out(std::string("buttons=") + (tw::tabs::win::LastButtonWasCmd() ? "cmd" : "drawn"));
  Out("ctl=" + std::to_string(tw::TwipsToPixels(strip.model()->CtlPanelLeft(), strip.dpi())) + "," +
      std::to_string(tw::TwipsToPixels(60, strip.dpi())));

  const UINT_PTR timer = SetTimer(nullptr, 0, (seconds ? seconds : 120) * 1000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == timer) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  host.strip = nullptr;
  g_host = nullptr;
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  const UINT seconds = argc > 1 ? static_cast<UINT>(_wtoi(argv[1])) : 120;
  tw::tabs::win::UseDrawnButtonsOnly(argc > 2 && std::wstring(argv[2]) == L"drawn");
  g_many = argc > 3 && std::wstring(argv[3]) == L"many";
  if (argc > 4) {
    g_out = CreateFileW(argv[4], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // The buttons are Corvala.Cmd_ controls where the library is registered.
  if (FAILED(OleInitialize(nullptr))) {
    Out("ole=failed");
    return 1;
  }
  int code = Run(seconds);
  OleUninitialize();
  if (g_out != INVALID_HANDLE_VALUE) CloseHandle(g_out);
  return code;
}
