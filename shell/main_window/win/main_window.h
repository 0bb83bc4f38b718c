// Form1: the shell's main window. Owns every child for its whole life and the window-wide state
// the handlers share; runs start-up when created and shut-down when closed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/win/com_ptr.h"
#include "common/win/window.h"
#include "shell/command_window/win/command_window.h"
#include "shell/main_window/core/controller.h"
#include "shell/main_window/core/layout.h"
#include "shell/main_window/core/pane_keys.h"
#include "shell/main_window/win/browser_pane.h"
#include "shell/main_window/win/panel.h"
#include "shell/main_window/win/skin_frame.h"
#include "shell/main_window/win/toolbar_button.h"
#include "shell/main_window/win/tray_icon.h"
#include "shell/tab_strip/win/lintra_tab_window.h"
#include "shell/volume/core/volume_wiring.h"
#include "shell/volume/win/vol2.h"
#include "shell/volume/win/vol_slider.h"
#include "shell/update_check/win/shell_update_check.h"

namespace tw::shell {

// Fixed texts of the window.
inline constexpr char16_t kProductName[] = u"Tarnwick";
inline constexpr char16_t kCaption[] = u"欢迎使用Tarnwick - 让您轻松享受丰富多彩的游戏世界";

class MainWindow : public win::Window<MainWindow>, private CommandWindowHost, private tabs::LintraTabEvents {
 public:
  MainWindow();
  ~MainWindow() override;

  // Creates the window and its children and runs the visible start-up; the window is then shown
  // and painted, and the invisible start-up (update check, tray icon, boss key, command window,
  // mixer) runs on the first message the loop takes after that.
  bool Create(int showCommand);
  // Gives the browser pane the keyboard is in (the selected content pane while the window itself
  // has it) the first look at a keyboard message; true if the pane used it up.
  bool PreTranslateMessage(MSG* msg);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  // Makes `window` a layered window whose pixels of exactly `colorKey` (0x00BBGGRR) are see-through.
  static void AlphaWindow(std::uint32_t colorKey, HWND window);

  const std::u16string& installFolder() const { return installFolder_; }

  // Menu command ids of the tray menu, and the ids of the clickable status-bar labels.
  enum : int { kMaxSize = 101, kMiniSize = 102, kCloseMe = 103 };
  enum : int { kLabel1 = 201, kLabel2, kLabel3, kLabel4, kLabel5 };
  enum : int { kHidea = 301, kHideB };
  // Posted once the window is first painted: the invisible start-up work.
  static constexpr UINT kStartUpUnseen = WM_APP + 2;
  // Posted from a browser's own callbacks, so the work runs after the browser has returned: the
  // links in the program's own scheme to hand to the system shell, and a reload of the left page.
  static constexpr UINT kOpenOwnLinks = WM_APP + 3;
  static constexpr UINT kReloadLeft = WM_APP + 4;
  static constexpr UINT kNewWindowPaired = WM_APP + 5;  // a NewWindow2 now stands alone

 private:
  void CreateChildren();
  void StartUp();
  void StartUpUnseen();
  void CreateMixer();
  void ShutDown();
  void Layout();
  void ApplyLayout(const layout::Result& r);
  void Center();
  void MakeFont();
  void PlaceStatusImages();
  void OnDpiChanged(int dpi, const RECT& suggested);
  // The resolution to draw at on `monitor`, whose own is monitorDpi_: the largest, up to that, at
  // which the design fits its work area.
  int FittingDpi(HMONITOR monitor) const;
  // Draws every child for `dpi` (fonts, pictures, controls, the frame, the pages' zoom).
  void Rescale(int dpi);
  // Tells a pane the page zoom of the window's scale where the engine's own would differ.
  void ZoomNewPane(BrowserPane& pane);
  void RescaleToolbar();
  void OnBossKey();
  void OnTrayMessage(UINT mouseMessage);
  void ShowTrayMenu();
  void OnCommand(int id, int code);
  int Px(std::int32_t twips) const;
  void Place(HWND child, const layout::Box& b);
  void PlaceLabel(HWND label, const layout::Box& b);

  // Start-up steps that belong to other parts of the window: each has its own place here.
  void StartUpdateCheck();       // step 1: the update-information download
  void CreateCommandWindow();    // step 8: the hidden command window
  void DestroyCommandWindow();   // shut-down step 2
  void SyncVolumeSlider();       // step 9: the slider takes the mixer's volume (CreateMixer first)

  // What the hidden command window asks for after it rewrote a list file.
  void SetTurnSub4() override { Handlers.SetTurnSub4(); }
  void SetTurnSub3() override { Handlers.SetTurnSub3(); }
  void RefreshWebLeft() override { Handlers.ReloadLeft(); }

  // The content panes, the left pane and the rest of the window as the handlers see them.
  bool PaneCreate(std::int32_t index);
  BrowserPane* Pane(std::int32_t index) const;
  void PaneHandBack(std::int32_t index);
  void PaneDestroy(std::int32_t index);
  void SetLeftPanelVisible(bool visible);
  void SetLeftToggles(bool leftHidden);
  struct PaneCalls : mainwin::PaneSet {
    MainWindow* w;
    explicit PaneCalls(MainWindow* window) : w(window) {}
    bool Create(std::int32_t i) override { return w->PaneCreate(i); }
    bool Exists(std::int32_t i) const override { return w->Pane(i) != nullptr; }
    void Show(std::int32_t i, bool v) override {
      if (BrowserPane* p = w->Pane(i)) p->Show(v);
    }
    void SetRegisterAsBrowser(std::int32_t i) override {
      if (BrowserPane* p = w->Pane(i)) p->SetRegisterAsBrowser(true);
    }
    void HandBack(std::int32_t i) override { w->PaneHandBack(i); }
    void Destroy(std::int32_t i) override { w->PaneDestroy(i); }
    void Refresh(std::int32_t i) override {
      if (BrowserPane* p = w->Pane(i)) p->Refresh();
    }
    std::u16string LocationURL(std::int32_t i) override {
      BrowserPane* p = w->Pane(i);
      return p ? p->LocationURL() : std::u16string();
    }
  };
  struct LeftCalls : mainwin::LeftPane {
    MainWindow* w;
    explicit LeftCalls(MainWindow* window) : w(window) {}
    void Navigate(const std::u16string& address) override { w->WebLeft.Navigate(address); }
  };
  struct WindowCalls : mainwin::WindowParts {
    MainWindow* w;
    explicit WindowCalls(MainWindow* window) : w(window) {}
    void Layout() override { w->Layout(); }
    void SetLeftPanelVisible(bool v) override { w->SetLeftPanelVisible(v); }
    void SetLeftToggles(bool hidden) override { w->SetLeftToggles(hidden); }
  };
  // The tab strip's events.
  void Click(const std::u16string& caption, const std::u16string& data, std::int32_t index) override;
  void TabChange(const std::u16string& caption, const std::u16string& data, std::int32_t index) override;
  void UnloadClick(std::int32_t index) override;

  BrowserEvents PaneEvents(std::int32_t index);
  BrowserEvents LeftEvents();
  win::BrowserHostHooks PaneHooks(mainwin::PaneKind kind);
  bool FilterPaneKey(mainwin::PaneKind kind, const MSG& msg);
  bool OnBeforeNavigate(const std::u16string& address, const std::u16string& from);
  void OpenOwnLinks();
  void OnNewWindow(IDispatch** newBrowser, VARIANT_BOOL* cancel, bool third);
  void AddCurrentPage(bool favourites);  // Cmd_5, Cmd_6
  void ConnectLeftDocument();
  void CreateToolbar();

  // The tab strip as the handlers call it.
  struct StripCalls : mainwin::TabStrip {
    tabs::win::LintraTabControl* strip = nullptr;
    std::int32_t CreatTab(const std::u16string& caption) override { return strip ? strip->CreatTab(caption) : -1; }
    void SetIndex(std::int32_t index) override {
      if (strip) strip->SetIndex(static_cast<std::int16_t>(index));
    }
    bool SetCaption(std::int32_t index, const std::u16string& caption) override {
      return strip && strip->SetCaption(index, caption);
    }
    std::optional<std::u16string> GetCaption() override { return strip ? strip->GetCaption() : std::nullopt; }
  };

  std::u16string installFolder_;
  int dpi_ = 96;         // the resolution the window is drawn at
  int monitorDpi_ = 96;  // its monitor's, which can be more where the design would not fit
  HFONT font_ = nullptr;
  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HICON statusIcon_ = nullptr;  // the status bar's pictures, at their size on the screen
  UINT taskbarCreated_ = 0;
  bool shutDown_ = false;
  bool unseenDone_ = false;

  // The handlers of panes, tabs and toolbar, with the window-wide state they share (WebMax,
  // CurIndex, LeftHide, and TurnSub4 / TurnSub3 set by the command window).
  StripCalls StripCalls_;
  PaneCalls PaneCalls_{this};
  LeftCalls LeftCalls_{this};
  WindowCalls WindowCalls_{this};
  mainwin::Controller Handlers{PaneCalls_, StripCalls_, LeftCalls_, WindowCalls_};
  // The out-argument of the new-window request being handled.
  IDispatch** pendingNewBrowser_ = nullptr;
  // The answer to the last NewWindow2, for a NewWindow3 the engine raises right after it for the
  // same window; closed by the next message (kNewWindowPaired).
  struct {
    bool open = false;
    win::ComPtr<IDispatch> browser;  // null: that window was refused
  } pairedNewWindow_;
  // Links in the program's own scheme taken from the browsers, for the system shell.
  std::vector<std::u16string> ownLinks_;
  HWND lastCommandFrom_ = nullptr;
  // The left document's context-menu connection.
  win::ComPtr<IConnectionPoint> M_DomPoint;
  DWORD M_DomCookie = 0;

  SkinFrame Skin1;
  TrayIcon SysTray;
  Panel LeftPanel, HideBar, TopBar, webPanel, StatuBar;
  BrowserPane WebLeft;
  std::unique_ptr<FrmQorMess> CommandForm;  // the hidden command window, from step 8 to shut-down
  // The content panes by index; pane 0 lives as long as the window, indexes are never reused.
  std::map<std::int32_t, std::unique_ptr<BrowserPane>> Web;
  HWND Hidea = nullptr, HideB = nullptr;
  std::unique_ptr<tabs::win::LintraTabControl> LintraTab1;
  ToolbarButton Cmd_1, Cmd_2, Cmd_3, Cmd_4, Cmd_5, Cmd_6;
  HWND Label1 = nullptr, Label2 = nullptr, Label3 = nullptr, Label4 = nullptr, Label5 = nullptr;
  HWND Image1 = nullptr, Image2 = nullptr, Image3 = nullptr;
  // The volume slider and the mixer control; the relay is their handlers and outlives both.
  volume::VolumeWiring VolumeHandlers;
  volume::win::VolSlider vol1;
  std::unique_ptr<volume::win::Vol2> Vol2;
  // DFiles1 and the check that runs when it has fetched the update information.
  ShellUpdateCheck UpdateCheck;
};

}  // namespace tw::shell
