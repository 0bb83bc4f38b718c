// The main window's wiring of panes, tabs, toolbar and lists: what the handlers ask of the
// browser panes and the tab strip, the toolbar buttons, and the left list's document events.
// Start-up, chrome and shut-down are in main_window.cpp.
#include "shell/main_window/win/main_window.h"

#include <mshtmdid.h>

#include "build_config.h"
#include "common/win/shell_open.h"
#include "common/win/text_win.h"
#include "shell/command_window/win/game_lists_win.h"

namespace tw::shell {

BrowserEvents MainWindow::PaneEvents(std::int32_t index) {
  BrowserEvents e;
  e.titleChange = [this, index](const std::u16string& title) { Handlers.OnTitleChange(index, title); };
  e.newWindow = [this](IDispatch** browser, VARIANT_BOOL* cancel, bool third) { OnNewWindow(browser, cancel, third); };
  e.beforeNavigate2 = [this](const std::u16string& address, const std::u16string& from) {
    return OnBeforeNavigate(address, from);
  };
  return e;
}

BrowserEvents MainWindow::LeftEvents() {
  BrowserEvents e;
  e.newWindow = [this](IDispatch** browser, VARIANT_BOOL* cancel, bool third) { OnNewWindow(browser, cancel, third); };
  e.downloadComplete = [this] { ConnectLeftDocument(); };
  e.documentComplete = [this](bool topLevel) { Handlers.OnLeftDocumentComplete(topLevel); };
  e.beforeNavigate2 = [this](const std::u16string& address, const std::u16string& from) {
    return OnBeforeNavigate(address, from);
  };
  return e;
}

win::BrowserHostHooks MainWindow::PaneHooks(mainwin::PaneKind kind) {
  win::BrowserHostHooks hooks;
  // A page's script error never puts the engine's dialog over the game.
  hooks.quietScriptErrors = true;
  hooks.filterKey = [this, kind](const MSG& msg) { return FilterPaneKey(kind, msg); };
  return hooks;
}

bool MainWindow::FilterPaneKey(mainwin::PaneKind kind, const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  mainwin::KeyStroke stroke;
  stroke.key = static_cast<std::uint32_t>(msg.wParam);
  stroke.ctrl = GetKeyState(VK_CONTROL) < 0;
  stroke.alt = (msg.message == WM_SYSKEYDOWN && (msg.lParam & (1L << 29))) || GetKeyState(VK_MENU) < 0;
  switch (mainwin::FilterPaneKey(kind, stroke)) {
    case mainwin::KeyVerdict::Engine:
      return false;
    case mainwin::KeyVerdict::ReloadLeft:
      PostMessageW(hwnd_, kReloadLeft, 0, 0);
      return true;
    case mainwin::KeyVerdict::Drop:
    default:
      return true;
  }
}

bool MainWindow::OnBeforeNavigate(const std::u16string& address, const std::u16string& from) {
  // The engine may ask the player before it starts the program registered for a scheme. The
  // shell hands its own links from its own pages to the system shell itself, unchanged, so the
  // relay receives exactly the link and nobody is asked. The same link from any other page or
  // frame (a game or an advert from another site) stays the engine's: the player is asked.
  if (!mainwin::ShellOpensLink(address, from, TW_PORTAL_BASE, installFolder_ + u"\\data\\leftview\\leftbak.html"))
    return false;
  ownLinks_.push_back(address);
  PostMessageW(hwnd_, kOpenOwnLinks, 0, 0);
  return true;
}

void MainWindow::OpenOwnLinks() {
  std::vector<std::u16string> links;
  links.swap(ownLinks_);
  for (const std::u16string& link : links) win::ShellOpen(link, u"");
}

void MainWindow::OnNewWindow(IDispatch** newBrowser, VARIANT_BOOL* cancel, bool third) {
  // An engine that raises NewWindow2 and then NewWindow3 for the same window gets the same answer
  // twice, so one window makes one tab. The pair is raised inside one call of the engine's: a
  // NewWindow3 that follows a NewWindow2 before the window's next message is its second half.
  if (third && pairedNewWindow_.open) {
    pairedNewWindow_.open = false;
    if (newBrowser && pairedNewWindow_.browser && *newBrowser != pairedNewWindow_.browser.Get()) {
      if (*newBrowser) (*newBrowser)->Release();
      *newBrowser = pairedNewWindow_.browser.Get();
      (*newBrowser)->AddRef();
    }
    if (!pairedNewWindow_.browser && cancel) *cancel = VARIANT_TRUE;
    pairedNewWindow_.browser.Reset();
    return;
  }
  pendingNewBrowser_ = newBrowser;
  bool handled = Handlers.OnNewWindow();
  pendingNewBrowser_ = nullptr;
  // No pane could take the page (no index left, or the browser could not be created): the page's
  // new window is dropped rather than opened outside the shell.
  if (!handled && cancel) *cancel = VARIANT_TRUE;
  if (!third) {
    pairedNewWindow_.open = true;
    pairedNewWindow_.browser.Reset();
    if (handled && newBrowser && *newBrowser) {
      pairedNewWindow_.browser = win::ComPtr<IDispatch>(*newBrowser);
    }
    PostMessageW(hwnd_, kNewWindowPaired, 0, 0);
  }
}

BrowserPane* MainWindow::Pane(std::int32_t index) const {
  auto it = Web.find(index);
  return it != Web.end() && it->second && it->second->exists() ? it->second.get() : nullptr;
}

bool MainWindow::PreTranslateMessage(MSG* msg) {
  if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST || !hwnd_) return false;
  BrowserPane* pane = nullptr;
  if (msg->hwnd == hwnd_) {
    pane = Pane(Handlers.CurIndex);
  } else if (WebLeft.Holds(msg->hwnd)) {
    pane = &WebLeft;
  } else {
    for (auto& [index, p] : Web)
      if (p && p->Holds(msg->hwnd)) pane = p.get();
  }
  return pane && pane->TranslateAccelerator(msg);
}

bool MainWindow::PaneCreate(std::int32_t index) {
  if (Web.count(index)) return false;
  RECT rc{0, 0, 0, 0};
  if (BrowserPane* zero = Pane(0)) {
    GetWindowRect(zero->hwnd(), &rc);
    MapWindowPoints(nullptr, webPanel.hwnd(), reinterpret_cast<POINT*>(&rc), 2);
  }
  auto pane = std::make_unique<BrowserPane>();
  if (FAILED(pane->Create(webPanel.hwnd(), rc, PaneEvents(index), PaneHooks(mainwin::PaneKind::Content)))) return false;
  pane->Show(false);
  ZoomNewPane(*pane);
  Web[index] = std::move(pane);
  return true;
}

void MainWindow::PaneHandBack(std::int32_t index) {
  BrowserPane* pane = Pane(index);
  if (!pane || !pendingNewBrowser_) return;
  if (IDispatch* app = pane->Application()) {
    app->AddRef();
    if (*pendingNewBrowser_) (*pendingNewBrowser_)->Release();
    *pendingNewBrowser_ = app;
  }
}

void MainWindow::PaneDestroy(std::int32_t index) {
  if (index == 0) return;
  auto it = Web.find(index);
  if (it == Web.end()) return;
  if (it->second) it->second->Destroy();
  Web.erase(it);
}

void MainWindow::SetLeftPanelVisible(bool visible) { ShowWindow(LeftPanel.hwnd(), visible ? SW_SHOWNA : SW_HIDE); }

void MainWindow::SetLeftToggles(bool leftHidden) {
  ShowWindow(Hidea, leftHidden ? SW_SHOWNA : SW_HIDE);
  ShowWindow(HideB, leftHidden ? SW_HIDE : SW_SHOWNA);
  Cmd_2.Show(!leftHidden);
  Cmd_3.Show(leftHidden);
}

void MainWindow::Click(const std::u16string&, const std::u16string&, std::int32_t index) {
  Handlers.OnTabSelected(index);
}

void MainWindow::TabChange(const std::u16string&, const std::u16string&, std::int32_t index) {
  Handlers.OnTabSelected(index);
}

void MainWindow::UnloadClick(std::int32_t index) { Handlers.OnTabClosed(index); }

void MainWindow::AddCurrentPage(bool favourites) {
  WriteXmlWithMessage(hwnd_, favourites ? lists::GameList::Favorites : lists::GameList::Local,
                      Handlers.CurrentCaption(), Handlers.CurrentAddress(),
                      [this](const std::u16string& script) { WebLeft.Navigate(script); });
}

void MainWindow::CreateToolbar() {
  struct Spec {
    ToolbarButton* button;
    layout::Box box;
    const char16_t* caption;
    bool visible;
    std::function<void()> action;
  };
  const Spec specs[] = {
      {&Cmd_2, layout::kCmd2, u"隐藏列表", true, [this] { Handlers.HideLeft(); }},
      {&Cmd_3, layout::kCmd2, u"显示列表", false, [this] { Handlers.ShowLeft(); }},
      {&Cmd_4, layout::kCmd4, u"刷新", true, [this] { Handlers.Reload(); }},
      {&Cmd_5, layout::kCmd5, u"收藏本游戏", true, [this] { AddCurrentPage(true); }},
      {&Cmd_6, layout::kCmd6, u"下载本游戏", true, [this] { AddCurrentPage(false); }},
      {&Cmd_1, layout::kCmd1, u"隐藏窗口", true, [this] { ShowWindow(hwnd_, SW_HIDE); }},
  };
  for (const Spec& s : specs) {
    s.button->Create(TopBar.hwnd(), Px(s.box.left), Px(s.box.top), Px(s.box.width), Px(s.box.height), s.caption,
                     font_, s.action);
    s.button->Show(s.visible);
  }
}

void MainWindow::RescaleToolbar() {
  const std::pair<ToolbarButton*, layout::Box> buttons[] = {{&Cmd_2, layout::kCmd2}, {&Cmd_3, layout::kCmd2},
                                                            {&Cmd_4, layout::kCmd4}, {&Cmd_5, layout::kCmd5},
                                                            {&Cmd_6, layout::kCmd6}, {&Cmd_1, layout::kCmd1}};
  for (const auto& [button, box] : buttons)
    button->Rescale(Px(box.left), Px(box.top), Px(box.width), Px(box.height), font_);
}

// HTMLDocumentEvents2, the document's event interface.
constexpr IID kHtmlDocumentEvents2 = {0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

void MainWindow::ConnectLeftDocument() {
  win::ComPtr<IDispatch> doc;
  doc.Attach(WebLeft.Document());
  if (!doc) return;
  // Connecting the new document replaces the previous connection.
  if (M_DomPoint) {
    M_DomPoint->Unadvise(M_DomCookie);
    M_DomPoint.Reset();
  }
  win::ComPtr<IConnectionPointContainer> cpc;
  if (FAILED(doc.As(IID_IConnectionPointContainer, cpc))) return;
  win::ComPtr<IConnectionPoint> cp;
  if (FAILED(cpc->FindConnectionPoint(kHtmlDocumentEvents2, &cp))) return;
  // The document's context-menu notification is answered with false: right-clicking the left page
  // shows no menu.
  auto* sink = new win::EventSink(kHtmlDocumentEvents2, [](DISPID id, DISPPARAMS*, VARIANT* result) {
    if (id == DISPID_HTMLDOCUMENTEVENTS2_ONCONTEXTMENU && result) {
      VariantInit(result);
      result->vt = VT_BOOL;
      result->boolVal = VARIANT_FALSE;
    }
  });
  DWORD cookie = 0;
  if (SUCCEEDED(cp->Advise(sink, &cookie))) {
    M_DomPoint = cp;
    M_DomCookie = cookie;
  }
  sink->Release();
}

}  // namespace tw::shell
