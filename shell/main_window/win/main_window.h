// Form1: the shell's main window. Owns every child for its whole life and the window-wide state
// the handlers share; runs start-up when created and shut-down when closed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "common/win/window.h"
#include "shell/command_window/win/command_window.h"
#include "shell/main_window/core/layout.h"
#include "shell/main_window/win/browser_pane.h"
#include "shell/main_window/win/panel.h"
#include "shell/main_window/win/skin_frame.h"
#include "shell/main_window/win/tray_icon.h"
#include "shell/volume/core/volume_wiring.h"
#include "shell/volume/win/vol2.h"
#include "shell/volume/win/vol_slider.h"
#include "updater/win/shell_update_check.h"

namespace tw::shell {

// Fixed texts of the window.
inline constexpr char16_t kProductName[] = u"Tarnwick";
inline constexpr char16_t kCaption[] = u"欢迎使用Tarnwick - 让您轻松享受丰富多彩的游戏世界";

class MainWindow : public win::Window<MainWindow>, private CommandWindowHost {
 public:
  MainWindow();
  ~MainWindow() override;

  // Creates the window and its children and runs start-up; the window is then shown.
  bool Create(int showCommand);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  // Makes `window` a layered window whose pixels of exactly `colorKey` (0x00BBGGRR) are see-through.
  static void AlphaWindow(std::uint32_t colorKey, HWND window);

  const std::u16string& installFolder() const { return installFolder_; }

  // Menu command ids of the tray menu, and the ids of the clickable status-bar labels.
  enum : int { kMaxSize = 101, kMiniSize = 102, kCloseMe = 103 };
  enum : int { kLabel1 = 201, kLabel2, kLabel3, kLabel4, kLabel5 };

 private:
  void CreateChildren();
  void StartUp();
  void ShutDown();
  void Layout();
  void ApplyLayout(const layout::Result& r);
  void Center();
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
  void SyncVolumeSlider();       // step 9: the slider takes the mixer's volume

  // What the hidden command window asks for after it rewrote a list file.
  void SetTurnSub4() override { TurnSub4 = true; }
  void SetTurnSub3() override { TurnSub3 = true; }
  void RefreshWebLeft() override { WebLeft.Refresh(); }

  std::u16string installFolder_;
  int dpi_ = 96;
  HFONT font_ = nullptr;
  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
  UINT taskbarCreated_ = 0;
  bool shutDown_ = false;

  // Window-wide state shared by the handlers.
  std::int32_t WebMax = 0;
  std::int32_t CurIndex = 0;
  bool LeftHide = false;
  // Set by the command window; the left pane's next completed load switches to that sub-list.
  bool TurnSub4 = false;
  bool TurnSub3 = false;

  SkinFrame Skin1;
  TrayIcon SysTray;
  Panel LeftPanel, HideBar, TopBar, webPanel, StatuBar;
  BrowserPane WebLeft;
  std::unique_ptr<FrmQorMess> CommandForm;  // the hidden command window, from step 8 to shut-down
  // The content panes by index; pane 0 lives as long as the window, indexes are never reused.
  std::map<std::int32_t, std::unique_ptr<BrowserPane>> Web;
  HWND Hidea = nullptr, HideB = nullptr;
  HWND Label1 = nullptr, Label2 = nullptr, Label3 = nullptr, Label4 = nullptr, Label5 = nullptr;
  HWND Image1 = nullptr, Image2 = nullptr, Image3 = nullptr;
  // The volume slider and the mixer control; the relay is their handlers and outlives both.
  volume::VolumeWiring VolumeHandlers;
  volume::win::VolSlider vol1;
  std::unique_ptr<volume::win::Vol2> Vol2;
  // DFiles1 and the check that runs when it has fetched the update information.
  updater::ShellUpdateCheck UpdateCheck;
};

}  // namespace tw::shell
