#include "shell/main_window/win/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "build_config.h"
#include "common/core/twips.h"
#include "common/win/accessible.h"
#include "common/win/dpi.h"
#include "common/win/shell_open.h"
#include "common/win/text_win.h"
#include "shell/command_window/win/game_lists_win.h"
#include "shell/hotkeys/win/hotkey_hook.h"
#include "shell/res/resource.h"

namespace tw::shell {
namespace {

const wchar_t kMainClass[] = L"TarnwickMain";

constexpr COLORREF kPanelBlue = RGB(0x23, 0xC3, 0xF7);
constexpr COLORREF kTopBarBlue = RGB(0xC4, 0xE8, 0xFC);

// The status-bar and toolbar texts.
constexpr char16_t kLabel1Text[] = u"主程序版本:V" TW_VERSION_TEXT16;
constexpr char16_t kLabel2Text[] = u"老板键:CTRL+B";
constexpr char16_t kLabel3Text[] = u"检查更新";
constexpr char16_t kLabel4Text[] = u"软件官方网站";
constexpr char16_t kLabel5Text[] = u"提提意见";

}  // namespace

MainWindow::MainWindow() = default;

MainWindow::~MainWindow() {
  if (font_) DeleteObject(font_);
  if (icon_) DestroyIcon(icon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  if (statusIcon_) DestroyIcon(statusIcon_);
}

void MainWindow::MakeFont() {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(9, dpi_, 72);
  lf.lfCharSet = GB2312_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  wcscpy_s(lf.lfFaceName, L"SimSun");
  font_ = CreateFontIndirectW(&lf);
}

int MainWindow::Px(std::int32_t twips) const { return TwipsToPixels(twips, dpi_); }

void MainWindow::Place(HWND child, const layout::Box& b) {
  if (child) MoveWindow(child, Px(b.left), Px(b.top), Px(b.width), Px(b.height), TRUE);
}

void MainWindow::PlaceLabel(HWND label, const layout::Box& b) {
  if (!label) return;
  // A label grows to its text when the font is wider than the design assumed.
  wchar_t text[256] = {};
  GetWindowTextW(label, text, 256);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  SIZE sz{};
  GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &sz);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  int w = Px(b.width) > sz.cx ? Px(b.width) : sz.cx;
  int hgt = Px(b.height) > sz.cy ? Px(b.height) : sz.cy;
  MoveWindow(label, Px(b.left), Px(b.top), w, hgt, TRUE);
}

bool MainWindow::Create(int showCommand) {
  installFolder_ = win::InstallFolder();
  dpi_ = win::SystemDpi();

  HINSTANCE inst = GetModuleHandleW(nullptr);
  icon_ = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON, 32, 32, 0));
  smallIcon_ = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON, 16, 16, 0));
  if (!RegisterClassOnce(kMainClass, CS_DBLCLKS, CreateSolidBrush(kPanelBlue), icon_)) return false;

  MakeFont();

  int w = Px(layout::kDesignClientWidth), h = Px(layout::kDesignClientHeight);
  if (!CreateWindowExW(0, kMainClass, win::W(kCaption).c_str(),
                       WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, w, h, nullptr, nullptr,
                       inst, this))
    return false;
  // Sizes follow the resolution of the monitor the window opened on.
  if (int windowDpi = win::WindowDpi(hwnd_); windowDpi != dpi_) {
    dpi_ = windowDpi;
    DeleteObject(font_);
    MakeFont();
  }
  monitorDpi_ = dpi_;
  Skin1.SetDpi(dpi_);
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
  taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
  CreateChildren();
  StartUp();
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  // The window is painted (or stays hidden): the invisible start-up work follows, first thing the
  // message loop does.
  PostMessageW(hwnd_, kStartUpUnseen, 0, 0);
  return true;
}

void MainWindow::CreateChildren() {
  LeftPanel.Create(hwnd_, kPanelBlue, hwnd_);
  HideBar.Create(hwnd_, kPanelBlue, hwnd_);
  TopBar.Create(hwnd_, kTopBarBlue, hwnd_);
  webPanel.Create(hwnd_, kPanelBlue, hwnd_);
  StatuBar.Create(hwnd_, kPanelBlue, hwnd_);

  auto browserRect = [&](const layout::Box& b) {
    return RECT{Px(b.left), Px(b.top), Px(b.left + b.width), Px(b.top + b.height)};
  };
  // A browser that cannot be created leaves a blank pane; the shell goes on without it.
  WebLeft.Create(LeftPanel.hwnd(), browserRect(layout::kWebLeft), LeftEvents(), PaneHooks(mainwin::PaneKind::Left));
  WebLeft.Show(true);
  ZoomNewPane(WebLeft);
  auto pane0 = std::make_unique<BrowserPane>();
  pane0->Create(webPanel.hwnd(), browserRect(layout::kWebPane), PaneEvents(0), PaneHooks(mainwin::PaneKind::Content));
  pane0->Show(true);
  ZoomNewPane(*pane0);
  Web[0] = std::move(pane0);

  Hidea = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_NOTIFY | SS_OWNERDRAW, 0, 0, 0, 0, HideBar.hwnd(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHidea)), GetModuleHandleW(nullptr), nullptr);
  HideB = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_OWNERDRAW, 0, 0, 0, 0,
                          HideBar.hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHideB)),
                          GetModuleHandleW(nullptr), nullptr);

  // The tab strip, with tab 0 captioned with the product name and the portal's host name.
  LintraTab1 = std::make_unique<tabs::win::LintraTabControl>(static_cast<tabs::LintraTabEvents&>(*this));
  if (LintraTab1->Create(hwnd_, layout::kTabStrip.left, layout::kTabStrip.top, layout::kTabStrip.width,
                         tabs::HomeCaption(kProductName, TW_PORTAL_BASE)))
    StripCalls_.strip = LintraTab1.get();
  else
    LintraTab1.reset();
  CreateToolbar();

  Label2 = CreateLabel(TopBar.hwnd(), kLabel2, kLabel2Text, font_, false);
  PlaceLabel(Label2, layout::kLabel2);
  Label1 = CreateLabel(StatuBar.hwnd(), kLabel1, kLabel1Text, font_, false);
  Label3 = CreateLabel(StatuBar.hwnd(), kLabel3, kLabel3Text, font_, true);
  Label4 = CreateLabel(StatuBar.hwnd(), kLabel4, kLabel4Text, font_, true);
  Label5 = CreateLabel(StatuBar.hwnd(), kLabel5, kLabel5Text, font_, true);
  // The clickable labels read as links, the handles as the buttons they stand for.
  for (HWND link : {Label3, Label4, Label5}) win::MakeAccessibleStatic(link, ROLE_SYSTEM_LINK);
  win::MakeAccessibleStatic(Hidea, ROLE_SYSTEM_PUSHBUTTON, L"显示列表");
  win::MakeAccessibleStatic(HideB, ROLE_SYSTEM_PUSHBUTTON, L"隐藏列表");
  PlaceLabel(Label1, layout::kLabel1);
  PlaceLabel(Label3, layout::kLabel3);
  PlaceLabel(Label4, layout::kLabel4);
  PlaceLabel(Label5, layout::kLabel5);
  auto image = [&] {
    return CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ICON | SS_REALSIZECONTROL, 0, 0, 0, 0,
                           StatuBar.hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
  };
  Image2 = image();
  Image1 = image();
  Image3 = image();
  PlaceStatusImages();

  // The volume slider on the status bar; the mixer control comes after the first paint.
  vol1.Create(StatuBar.hwnd(), Px(layout::kVol1.left), Px(layout::kVol1.top), Px(layout::kVol1.width),
              Px(layout::kVol1.height), &VolumeHandlers);
}

void MainWindow::CreateMixer() {
  // The mixer control the slider mirrors (kept with volume 23 on the speakers line).
  Vol2 = std::make_unique<volume::win::Vol2>(&VolumeHandlers);
  Vol2->control().ReadProperties(volume::SavedVol2Bag{});
  VolumeHandlers.Attach(&Vol2->control(), &vol1);
}

void MainWindow::StartUp() {
  // What shows first: the update check (it may close the shell), skin, size, transparency, the
  // two first navigations, the place on the screen. The rest is invisible and runs right after
  // the first paint (StartUpUnseen).
  // 1. The update-information download.
  StartUpdateCheck();
  // 2. Skin: a missing or bad skin file leaves the plain frame.
  if (Skin1.LoadSkin(installFolder_ + u"\\data\\system\\Vrindle.skn")) Skin1.ApplySkin(hwnd_);
  // Where the design does not fit the work area at the monitor's resolution, everything is drawn
  // at the largest at which it does.
  Rescale(FittingDpi(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST)));
  // The design client area, inside whichever frame the window has now.
  SIZE outer = Skin1.OuterSizeFor(hwnd_, Px(layout::kDesignClientWidth), Px(layout::kDesignClientHeight));
  SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // 3. Transparency.
  AlphaWindow(0xFF00FF, hwnd_);
  // 4. and 5. The two first navigations.
  Handlers.StartLeft(installFolder_ + u"\\data\\leftview\\leftbak.html");
  if (BrowserPane* pane0 = Pane(0)) pane0->Navigate(std::u16string(TW_PORTAL_BASE) + u"/list.htm");
  // 10. Centre on the screen.
  Center();
  Layout();
}

void MainWindow::StartUpUnseen() {
  if (unseenDone_ || shutDown_) return;
  unseenDone_ = true;
  // 6. The tray icon.
  SysTray.Configure(hwnd_, smallIcon_, kProductName);
  SysTray.set_intray(true);
  // 7. The boss key.
  hotkeys::SetBossKeyHandler([this] { OnBossKey(); });
  hotkeys::SetHotKey(hwnd_, 1, u"Ctrl,66", u"Add");
  // 8. The hidden command window.
  CreateCommandWindow();
  // 9. The mixer control, and the volume slider taking its volume.
  CreateMixer();
  SyncVolumeSlider();
}

void MainWindow::PlaceStatusImages() {
  // The icon is loaded at the pictures' size on the screen, from its larger image where the
  // small one would have to grow.
  const int size = Px(layout::kImage1.width);
  HICON icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON, size, size, 0));
  const std::pair<HWND, layout::Box> images[] = {
      {Image1, layout::kImage1}, {Image2, layout::kImage2}, {Image3, layout::kImage3}};
  for (const auto& [h, box] : images) {
    if (!h) continue;
    SendMessageW(h, STM_SETICON, reinterpret_cast<WPARAM>(icon ? icon : smallIcon_), 0);
    Place(h, box);
  }
  if (statusIcon_) DestroyIcon(statusIcon_);
  statusIcon_ = icon;
}

int MainWindow::FittingDpi(HMONITOR monitor) const {
  const RECT area = win::WorkArea(monitor);
  return layout::FittingDpi(monitorDpi_, {area.right - area.left, area.bottom - area.top}, [this](int dpi) {
    const SIZE frame = Skin1.FrameAt(hwnd_, dpi);
    return layout::PixelSize{frame.cx, frame.cy};
  });
}

void MainWindow::ZoomNewPane(BrowserPane& pane) {
  // The engine starts a DPI-aware pane at the system's scale.
  const int zoom = layout::PageZoom(dpi_);
  if (zoom != layout::PageZoom(win::SystemDpi())) pane.SetZoom(zoom);
}

void MainWindow::Rescale(int dpi) {
  if (dpi <= 0 || dpi == dpi_) return;
  dpi_ = dpi;
  HFONT oldFont = font_;
  MakeFont();
  Skin1.SetDpi(dpi_);
  const std::pair<HWND, const layout::Box*> labels[] = {{Label1, &layout::kLabel1}, {Label2, &layout::kLabel2},
                                                        {Label3, &layout::kLabel3}, {Label4, &layout::kLabel4},
                                                        {Label5, &layout::kLabel5}};
  for (const auto& [label, box] : labels) {
    if (!label) continue;
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    PlaceLabel(label, *box);
  }
  PlaceStatusImages();
  vol1.SetDpi(dpi_);
  Place(vol1.hwnd(), layout::kVol1);
  RescaleToolbar();
  if (oldFont) DeleteObject(oldFont);  // no child uses it any more
  if (LintraTab1) LintraTab1->SetDpi(dpi_);
  // The pages follow; each pane keeps the zoom for the pages it shows later.
  const int zoom = layout::PageZoom(dpi_);
  WebLeft.SetZoom(zoom);
  for (auto& [index, pane] : Web)
    if (pane) pane->SetZoom(zoom);
}

void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
  if (dpi <= 0) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  const int before = dpi_;
  monitorDpi_ = dpi;
  HMONITOR monitor = MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST);
  Rescale(FittingDpi(monitor));
  if (IsIconic(hwnd_) || IsZoomed(hwnd_)) {
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    // The window keeps its place (the corner of the platform's rectangle) and its size in twips,
    // inside the new monitor's work area; the layout follows through WM_SIZE.
    const RECT area = win::WorkArea(monitor);
    const SIZE frame = Skin1.FrameAt(hwnd_, dpi_);
    const int w = std::min<int>(MulDiv(client.right, dpi_, before) + frame.cx, area.right - area.left);
    const int h = std::min<int>(MulDiv(client.bottom, dpi_, before) + frame.cy, area.bottom - area.top);
    const int x = std::max<int>(area.left, std::min<int>(suggested.left, area.right - w));
    const int y = std::max<int>(area.top, std::min<int>(suggested.top, area.bottom - h));
    SetWindowPos(hwnd_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Layout();
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

void MainWindow::StartUpdateCheck() { UpdateCheck.Start(hwnd_, installFolder_); }
void MainWindow::CreateCommandWindow() {
  // A window that cannot be created leaves the shell without the command channel; it runs on.
  CommandForm = std::make_unique<FrmQorMess>(static_cast<CommandWindowHost&>(*this), installFolder_);
  if (!CommandForm->Create()) CommandForm.reset();
}

void MainWindow::DestroyCommandWindow() {
  if (CommandForm) CommandForm->Destroy();
  CommandForm.reset();
}
void MainWindow::SyncVolumeSlider() { VolumeHandlers.StartUp(); }

void MainWindow::ShutDown() {
  if (shutDown_) return;
  shutDown_ = true;
  // The icon goes first, while the window still shows; it is removed alongside the rest.
  SysTray.RemoveWhileClosing();
  UpdateCheck.Stop();
  hotkeys::SetHotKey(hwnd_, 1, u"", u"Del");
  DestroyCommandWindow();
}

void MainWindow::AlphaWindow(std::uint32_t colorKey, HWND window) {
  LONG ex = GetWindowLongA(window, GWL_EXSTYLE);
  SetWindowLongA(window, GWL_EXSTYLE, ex | WS_EX_LAYERED);
  SetLayeredWindowAttributes(window, colorKey, 0, LWA_COLORKEY);
}

void MainWindow::Center() {
  // The design size where it fits; where it does not, the monitor's work area.
  RECT r;
  GetWindowRect(hwnd_, &r);
  const RECT to = win::CentredInWorkArea(hwnd_, r.right - r.left, r.bottom - r.top);
  SetWindowPos(hwnd_, nullptr, to.left, to.top, to.right - to.left, to.bottom - to.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Layout() {
  RECT r;
  GetWindowRect(hwnd_, &r);
  auto W = static_cast<std::int32_t>(PixelsToTwips(r.right - r.left, dpi_));
  auto H = static_cast<std::int32_t>(PixelsToTwips(r.bottom - r.top, dpi_));
  ApplyLayout(layout::Compute(W, H, Handlers.LeftHide, IsIconic(hwnd_) != FALSE));
}

void MainWindow::ApplyLayout(const layout::Result& r) {
  if (!r.changed) return;
  Place(LeftPanel.hwnd(), r.leftPanel);
  if (!r.leftPanelVisible) ShowWindow(LeftPanel.hwnd(), SW_HIDE);
  WebLeft.Move(Px(r.webLeft.left), Px(r.webLeft.top), Px(r.webLeft.width), Px(r.webLeft.height));
  Place(StatuBar.hwnd(), r.statusBar);
  Place(TopBar.hwnd(), r.topBar);
  Place(webPanel.hwnd(), r.webPanel);
  Place(HideBar.hwnd(), r.hideBar);
  Place(Hidea, {0, r.hideToggleTop, layout::kHideToggle.width, layout::kHideToggle.height});
  Place(HideB, {0, r.hideToggleTop, layout::kHideToggle.width, layout::kHideToggle.height});
  if (LintraTab1) {
    LintraTab1->SetBounds(r.tabStrip.left, r.tabStrip.top, r.tabStrip.width, r.tabStrip.height);
    (void)LintraTab1->SetWidth(r.tabStripSetWidth);
  }
  for (std::int32_t i = 0; i <= Handlers.WebMax; ++i) {
    auto it = Web.find(i);
    if (it == Web.end() || !it->second) continue;  // closed panes are skipped
    it->second->Move(0, 0, Px(r.webPane.width), Px(r.webPane.height));
  }
}

void MainWindow::OnBossKey() {
  // The window and the tray icon are inverted each by itself. The icon goes first: removing it
  // after the window was hidden can stall the taskbar's reply while it still talks to the window.
  bool visible = IsWindowVisible(hwnd_) != FALSE;
  SysTray.set_intray(!SysTray.intray());
  ShowWindow(hwnd_, visible ? SW_HIDE : SW_SHOW);
}

void MainWindow::OnTrayMessage(UINT mouseMessage) {
  switch (mouseMessage) {
    case WM_RBUTTONUP:
      ShowTrayMenu();
      break;
    case WM_LBUTTONDBLCLK:
      ShowWindow(hwnd_, IsWindowVisible(hwnd_) ? SW_HIDE : SW_SHOW);
      break;
    default:
      break;
  }
}

void MainWindow::ShowTrayMenu() {
  HMENU menu1 = CreatePopupMenu();  // "任务栏菜单", never shown in a menu bar
  AppendMenuW(menu1, MF_STRING, kMaxSize, L"最大化");
  AppendMenuW(menu1, MF_STRING, kMiniSize, L"最小化");
  AppendMenuW(menu1, MF_STRING, kCloseMe, L"关闭程序");
  POINT pt;
  GetCursorPos(&pt);
  SetForegroundWindow(hwnd_);
  TrackPopupMenu(menu1, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
  PostMessageW(hwnd_, WM_NULL, 0, 0);
  DestroyMenu(menu1);
}

void MainWindow::OnCommand(int id, int code) {
  switch (id) {
    case kMaxSize:
      ShowWindow(hwnd_, SW_MAXIMIZE);
      return;
    case kMiniSize:
      ShowWindow(hwnd_, SW_MINIMIZE);
      return;
    case kCloseMe:
      PostMessageW(hwnd_, WM_CLOSE, 0, 0);
      return;
    default:
      break;
  }
  if (code == BN_CLICKED && lastCommandFrom_) {
    for (ToolbarButton* b : {&Cmd_1, &Cmd_2, &Cmd_3, &Cmd_4, &Cmd_5, &Cmd_6})
      if (b->HandleCommand(lastCommandFrom_)) return;
  }
  if (code != STN_CLICKED) return;
  switch (id) {
    case kHidea:
      Handlers.ShowLeft();
      break;
    case kHideB:
      Handlers.HideLeft();
      break;
    case kLabel3:
      // The updater does the checking; the shell closes whether or not it started.
      win::ShellOpen(installFolder_ + u"\\Feltram.exe", u"");
      PostMessageW(hwnd_, WM_CLOSE, 0, 0);
      break;
    case kLabel4:
      win::ShellOpen(TW_HOME_URL, u"");
      break;
    case kLabel5:
      win::ShellOpen(TW_FORUM_URL, u"");
      break;
    default:
      break;
  }
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == taskbarCreated_ && taskbarCreated_) {
    SysTray.Restore();
    return 0;
  }
  switch (msg) {
    case kStartUpUnseen:
      StartUpUnseen();
      return 0;
    case kOpenOwnLinks:
      OpenOwnLinks();
      return 0;
    case kReloadLeft:
      Handlers.ReloadLeft();
      return 0;
    case kNewWindowPaired:
      pairedNewWindow_.open = false;
      pairedNewWindow_.browser.Reset();
      return 0;
    case TrayIcon::kTrayMessage:
      if (wp == TrayIcon::kIconId) OnTrayMessage(static_cast<UINT>(lp));
      return 0;
    case WM_COMMAND:
      lastCommandFrom_ = reinterpret_cast<HWND>(lp);
      OnCommand(LOWORD(wp), HIWORD(wp));
      lastCommandFrom_ = nullptr;
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(LOWORD(wp), *reinterpret_cast<const RECT*>(lp));
      return 0;
    case WM_GETMINMAXINFO: {
      auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
      layout::PixelSize least = layout::MinTrackSize(dpi_);
      mm->ptMinTrackSize.x = least.width;
      mm->ptMinTrackSize.y = least.height;
      return 0;
    }
    case WM_DRAWITEM: {
      auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      if (di->hwndItem == Hidea || di->hwndItem == HideB) {
        HBRUSH b = CreateSolidBrush(RGB(0xC4, 0xE8, 0xFC));
        FillRect(di->hDC, &di->rcItem, b);
        DeleteObject(b);
        // A small arrow: pointing right to show the left pane, left to hide it.
        int cx = (di->rcItem.left + di->rcItem.right) / 2, cy = (di->rcItem.top + di->rcItem.bottom) / 2;
        int dir = di->hwndItem == Hidea ? 1 : -1;
        const int half = MulDiv(2, dpi_, 96), tall = MulDiv(4, dpi_, 96);  // 4 by 8 pixels at 96 dpi
        POINT tri[3] = {{cx - half * dir, cy - tall}, {cx + half * dir, cy}, {cx - half * dir, cy + tall}};
        HBRUSH dark = CreateSolidBrush(RGB(0x1B, 0x7F, 0xB0));
        HGDIOBJ ob = SelectObject(di->hDC, dark);
        HGDIOBJ op = SelectObject(di->hDC, GetStockObject(NULL_PEN));
        Polygon(di->hDC, tri, 3);
        SelectObject(di->hDC, op);
        SelectObject(di->hDC, ob);
        DeleteObject(dark);
        return TRUE;
      }
      return FALSE;
    }
    case WM_CLOSE:
      ShutDown();
      DestroyWindow(hwnd_);
      return 0;
    // The session ends without WM_CLOSE: the process goes once this returns, so the boss key
    // and the command window go now.
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wp) ShutDown();
      return 0;
    case WM_DESTROY:
      SysTray.set_intray(false);
      if (M_DomPoint) {
        M_DomPoint->Unadvise(M_DomCookie);
        M_DomPoint.Reset();
      }
      StripCalls_.strip = nullptr;
      LintraTab1.reset();
      for (auto& [index, pane] : Web)
        if (pane) pane->Destroy();
      Web.clear();
      WebLeft.Destroy();
      PostQuitMessage(0);
      return 0;
    default:
      return Default(msg, wp, lp);
  }
}

}  // namespace tw::shell
