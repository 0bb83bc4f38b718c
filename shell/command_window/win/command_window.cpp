#include "shell/command_window/win/command_window.h"

#include "shell/command_window/core/command_parser.h"

namespace tw::shell {
namespace {

constexpr const wchar_t* kFormClass = L"TwFrmQorMess";
constexpr int kText1Id = 1;

WNDPROC g_editProc = nullptr;

// The box is a single-line EDIT whose window name always mirrors its text: the platform's EDIT
// keeps its text in its own buffer, and the relay finds the box by its window name.
LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCCREATE: {
      LRESULT r = CallWindowProcW(g_editProc, hwnd, msg, wp, lp);
      const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
      if (r && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(cs->lpszName));
      return r;
    }
    case WM_SETTEXT:
      // The name first: the change notification inside the EDIT's own handling may set the text
      // again (the reset to "Text1"), and that later text must win.
      DefWindowProcW(hwnd, WM_SETTEXT, 0, lp);
      return CallWindowProcW(g_editProc, hwnd, msg, wp, lp);
    default:
      return CallWindowProcW(g_editProc, hwnd, msg, wp, lp);
  }
}

bool RegisterBoxClass() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(instance, FrmQorMess::kBoxClass, &wc)) return true;
  if (!GetClassInfoExW(nullptr, L"EDIT", &wc)) return false;
  g_editProc = wc.lpfnWndProc;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = BoxProc;
  wc.hInstance = instance;
  wc.lpszClassName = FrmQorMess::kBoxClass;
  wc.style &= ~static_cast<UINT>(CS_GLOBALCLASS);
  return RegisterClassExW(&wc) != 0;
}

}  // namespace

FrmQorMess::FrmQorMess(CommandWindowHost& host, std::u16string installFolder)
    : host_(host), installFolder_(std::move(installFolder)) {}

bool FrmQorMess::Create() {
  if (hwnd_) return true;
  if (!RegisterClassOnce(kFormClass, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1))) return false;
  if (!RegisterBoxClass()) return false;
  HWND form = CreateWindowExW(WS_EX_TOOLWINDOW, kFormClass, kCaption, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                              0, 0, 320, 120, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (!form) return false;
  text1_ = CreateWindowExW(WS_EX_CLIENTEDGE, kBoxClass, L"Text1", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 8, 8, 200,
                           24, form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kText1Id)),
                           GetModuleHandleW(nullptr), nullptr);
  if (!text1_) {
    Destroy();
    return false;
  }
  SendMessageW(text1_, EM_LIMITTEXT, 0, 0);  // no limit short of the platform's own
  return true;
}

void FrmQorMess::Destroy() {
  if (!hwnd_) return;
  HWND form = hwnd_;
  SetWindowLongPtrW(form, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
  text1_ = nullptr;
  DestroyWindow(form);
}

LRESULT FrmQorMess::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wp) == EN_CHANGE && reinterpret_cast<HWND>(lp) == text1_ && text1_) {
        Text1Change();
        return 0;
      }
      break;
    case WM_CLOSE:
      return 0;  // only the main window's shut-down ends this window
  }
  return Default(msg, wp, lp);
}

void FrmQorMess::Text1Change() {
  const int length = GetWindowTextLengthW(text1_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(text1_, text.data(), length + 1)));

  host_.TextReceived(win::U(text));
  const command::Outcome out = command::HandleText(fs_, codec_, installFolder_, win::U(text));
  if (out.turn == command::Turn::Sub4) host_.SetTurnSub4();
  if (out.turn == command::Turn::Sub3) host_.SetTurnSub3();
  if (out.refreshLeft) host_.RefreshWebLeft();
  if (out.resetBox && text1_) SetWindowTextW(text1_, L"Text1");
}

}  // namespace tw::shell
