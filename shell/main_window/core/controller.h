// The main window's handlers for its browser panes, tab strip and toolbar, against small
// interfaces for what the window provides: new windows become panes and tabs, page titles become
// captions, the left page switches back to the changed sub-list, tabs select and close panes, and
// the left column hides and shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::mainwin {

// The content panes Web(i): an indexed set that never reuses an index.
class PaneSet {
 public:
  virtual ~PaneSet() = default;
  // Creates pane `index` hidden, in the place and size of pane 0; false when it cannot be created.
  virtual bool Create(std::int32_t index) = 0;
  virtual bool Exists(std::int32_t index) const = 0;
  virtual void Show(std::int32_t index, bool visible) = 0;
  virtual void SetRegisterAsBrowser(std::int32_t index) = 0;
  // Hands pane `index`'s browser back through the pending new-window request's out-argument.
  virtual void HandBack(std::int32_t index) = 0;
  virtual void Destroy(std::int32_t index) = 0;
  virtual void Refresh(std::int32_t index) = 0;
  virtual std::u16string LocationURL(std::int32_t index) = 0;
};

// The tab strip as the main window calls it.
class TabStrip {
 public:
  virtual ~TabStrip() = default;
  // Adds a tab; the strip raises Click for it before returning. Returns the new tab's index.
  virtual std::int32_t CreatTab(const std::u16string& caption) = 0;
  virtual void SetIndex(std::int32_t index) = 0;
  virtual bool SetCaption(std::int32_t index, const std::u16string& caption) = 0;
  // The current tab's caption; nothing when there is no current tab.
  virtual std::optional<std::u16string> GetCaption() = 0;
};

// The left pane WebLeft.
class LeftPane {
 public:
  virtual ~LeftPane() = default;
  virtual void Navigate(const std::u16string& address) = 0;
};

// The rest of the window the handlers touch.
class WindowParts {
 public:
  virtual ~WindowParts() = default;
  virtual void Layout() = 0;                        // run the layout procedure
  virtual void SetLeftPanelVisible(bool visible) = 0;
  // Which of each pair of left-column toggles is shown: Hidea/HideB and Cmd_3/Cmd_2.
  virtual void SetLeftToggles(bool leftHidden) = 0;
};

// Highest pane index: the set's index is a signed 16-bit number.
inline constexpr std::int32_t kMaxPaneIndex = 32767;

// A page title as a tab caption: nothing when it must not change the caption (an address), else
// at most 15 UTF-16 code units followed by "..." when longer (14 when the 15th would split a
// surrogate pair).
std::optional<std::u16string> CaptionForTitle(std::u16string_view title);

class Controller {
 public:
  Controller(PaneSet& panes, TabStrip& tabs, LeftPane& left, WindowParts& window)
      : panes_(panes), tabs_(tabs), left_(left), window_(window) {}

  // NewWindow2 on any pane. False when no pane index is left: the request is to be cancelled and
  // nothing else changes.
  bool OnNewWindow();
  void OnTitleChange(std::int32_t pane, std::u16string_view title);
  // DocumentComplete of the left pane. A page with frames completes each frame's document too,
  // and the last one to complete need not be the page's own: only the page's own document
  // (`topLevel`) switches the sub-list.
  void OnLeftDocumentComplete(bool topLevel = true);
  // The left pane's own page: navigated at start-up and again whenever the left pane reloads.
  void StartLeft(const std::u16string& page);
  // Reloads the left page by navigating to it again. The browser's refresh would load it too, but
  // it reports no completed document, and the switch to the changed sub-list waits for one.
  void ReloadLeft();
  // Click (a tab was added) and TabChange (a tab was selected) of the strip.
  void OnTabSelected(std::int32_t index);
  // UnloadClick: the tab was closed.
  void OnTabClosed(std::int32_t index);
  void Reload();     // Cmd_4
  void HideLeft();   // Cmd_2, HideB
  void ShowLeft();   // Cmd_3, Hidea
  // The command window deleted a record; it then reloads the left pane (ReloadLeft).
  void SetTurnSub4() { TurnSub4 = true; }
  void SetTurnSub3() { TurnSub3 = true; }
  // What Cmd_5 / Cmd_6 store: the current tab's caption and the visible pane's address.
  std::u16string CurrentCaption();
  std::u16string CurrentAddress();

  std::int32_t WebMax = 0;
  std::int32_t CurIndex = 0;
  bool LeftHide = false;
  bool TurnSub4 = false;
  bool TurnSub3 = false;

 private:
  PaneSet& panes_;
  TabStrip& tabs_;
  LeftPane& left_;
  WindowParts& window_;
  std::u16string leftPage_;
};

}  // namespace tw::mainwin
