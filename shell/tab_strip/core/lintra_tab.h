// The tab strip: an indexed set of tabs on a long sliding strip behind a clipping viewport, two
// arrow buttons that slide the strip, and three events for the host. Tab indexes are stable: tab 0
// (the home tab) exists from the start and cannot be closed, every new tab gets the next index and
// a closed tab's index is never given out again, so the set has holes.
//
// Positions are twips. The offset is the sliding strip's left edge inside the viewport, 0 or less.
// Procedures that walk the tab set skip missing tabs; the few calls that name one tab report a
// missing tab to the caller (false or no value) instead of failing.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "shell/tab_strip/core/tab_btn.h"

namespace tw::tabs {

// The host's side. Handlers run synchronously inside the operation that raises them and may call
// back into the strip.
class LintraTabEvents {
 public:
  virtual ~LintraTabEvents() = default;
  // A tab was added (raised at the end of CreatTab, for the new tab).
  virtual void Click(const std::u16string& caption, const std::u16string& data, std::int32_t index) = 0;
  // A tab was selected: by the user, once at start-up for tab 0, and for tab 0 when a tab is closed.
  virtual void TabChange(const std::u16string& caption, const std::u16string& data, std::int32_t index) = 0;
  // A tab has been closed.
  virtual void UnloadClick(std::int32_t index) = 0;
};

// "Tarnwick 127.0.0.1": the product name, one blank, the host name of the portal's base URL.
std::u16string HomeCaption(std::u16string_view product, std::u16string_view portal_base_url);
// The host name of an address: without scheme, user information, port and path.
std::u16string HostName(std::u16string_view url);

class LintraTab {
 public:
  struct Slot {
    TabBtn btn;
    std::int64_t left = 0;
    bool visible = false;
  };

  static constexpr std::int32_t kOverlap = 15;            // adjacent tabs share one pixel column
  static constexpr std::int32_t kArrowStep = 1000;
  static constexpr std::int64_t kStripWidth = 1000000;
  static constexpr std::int32_t kHeight = 375;

  // `end_btn` is the size of each tab's close button (its picture's size at the display's resolution).
  LintraTab(const TextMeasurer& measurer, LintraTabEvents& events, std::u16string home_caption,
            TwipSize end_btn = TabBtn::kEndBtnSize);
  LintraTab(const LintraTab&) = delete;
  LintraTab& operator=(const LintraTab&) = delete;

  // The host interface, in the control's order.
  [[nodiscard]] bool SetCaption(std::int32_t index, std::u16string caption);
  [[nodiscard]] bool SetWidth(std::int32_t mwidth);
  std::optional<std::u16string> GetCaption() const;
  std::optional<std::u16string> GetTag() const;
  [[nodiscard]] bool setvis(std::int16_t index);
  std::int32_t CreatTab(std::u16string caption) { return ToCreatTab(std::move(caption)); }
  std::int32_t ToCreatTab(std::u16string caption);
  void SetData(std::u16string data);
  void SetIndex(std::int16_t index);
  void ReLeft();

  // What the children report.
  void TabClicked(std::int32_t index);
  // False when the named tab does not exist (the close request is then ignored).
  [[nodiscard]] bool TabKilled(std::int32_t index);
  void LeftArrowClick();
  void RightArrowClick();
  // Timer1: the first tick selects tab 0 once; later ticks do nothing.
  void StartTimerTick();
  bool StartTimerEnabled() const { return timer_enabled_; }

  // State for the view and for tests.
  std::int32_t Counter() const { return counter_; }
  std::int32_t CurrentIndex() const { return current_; }
  std::int64_t Offset() const { return offset_; }
  std::int64_t StripWidth() const { return strip_width_; }
  std::int32_t ViewportWidth() const { return viewport_width_; }
  std::int32_t CtlPanelLeft() const { return ctl_panel_left_; }
  const std::map<std::int16_t, Slot>& Tabs() const { return tabs_; }
  const Slot* Find(std::int64_t index) const;

 private:
  Slot* FindMutable(std::int64_t index);
  void TabClickProcedure(std::int32_t index);
  void SetLooks(std::int64_t selected);
  void ScrollIntoView(std::int64_t index);

  const TextMeasurer* measurer_;
  LintraTabEvents* events_;
  TwipSize end_btn_;
  std::map<std::int16_t, Slot> tabs_;
  std::int32_t counter_ = 0;
  std::int32_t current_ = 0;
  std::int64_t offset_ = 0;
  std::int64_t strip_width_ = 8655;
  std::int32_t viewport_width_ = 8655;
  std::int32_t ctl_panel_left_ = 8760;
  bool timer_enabled_ = true;
};

}  // namespace tw::tabs
