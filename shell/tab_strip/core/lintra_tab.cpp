#include "shell/tab_strip/core/lintra_tab.h"

#include <limits>

namespace tw::tabs {
namespace {

// Tab indexes reach the tab set as 16-bit signed integers; anything else names no tab.
std::optional<std::int16_t> SetKey(std::int64_t index) {
  if (index < std::numeric_limits<std::int16_t>::min() || index > std::numeric_limits<std::int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int16_t>(index);
}

}  // namespace

std::u16string HostName(std::u16string_view url) {
  std::u16string_view rest = url;
  if (auto scheme = rest.find(u"://"); scheme != std::u16string_view::npos) rest.remove_prefix(scheme + 3);
  if (auto end = rest.find_first_of(u"/?#\\"); end != std::u16string_view::npos) rest = rest.substr(0, end);
  if (auto at = rest.rfind(u'@'); at != std::u16string_view::npos) rest.remove_prefix(at + 1);
  if (!rest.empty() && rest.front() == u'[') {
    auto close = rest.find(u']');
    return std::u16string(close == std::u16string_view::npos ? rest : rest.substr(0, close + 1));
  }
  if (auto colon = rest.find(u':'); colon != std::u16string_view::npos) rest = rest.substr(0, colon);
  return std::u16string(rest);
}

std::u16string HomeCaption(std::u16string_view product, std::u16string_view portal_base_url) {
  std::u16string caption(product);
  caption += u' ';
  caption += HostName(portal_base_url);
  return caption;
}

LintraTab::LintraTab(const TextMeasurer& measurer, LintraTabEvents& events, std::u16string home_caption,
                     TwipSize end_btn)
    : measurer_(&measurer), events_(&events), end_btn_(end_btn) {
  Slot& home = tabs_.emplace(std::int16_t{0}, Slot{TabBtn(measurer, kHeight, end_btn_), 0, true}).first->second;
  home.btn.SetCaption(std::move(home_caption));
  home.btn.SetEndVIS(false);
  home.btn.TabVis(kVbFalse);
  strip_width_ = kStripWidth;
}

const LintraTab::Slot* LintraTab::Find(std::int64_t index) const {
  auto key = SetKey(index);
  if (!key) return nullptr;
  auto it = tabs_.find(*key);
  return it == tabs_.end() ? nullptr : &it->second;
}

LintraTab::Slot* LintraTab::FindMutable(std::int64_t index) {
  return const_cast<Slot*>(Find(index));
}

bool LintraTab::SetCaption(std::int32_t index, std::u16string caption) {
  Slot* slot = FindMutable(index);
  if (!slot) return false;
  slot->btn.SetCaption(std::move(caption));
  return true;
}

bool LintraTab::SetWidth(std::int32_t mwidth) {
  // A negative viewport width is refused as a whole; neither panel moves.
  if (static_cast<std::int64_t>(mwidth) - 700 < 0) return false;
  viewport_width_ = mwidth - 700;
  ctl_panel_left_ = mwidth - 640;
  return true;
}

std::optional<std::u16string> LintraTab::GetCaption() const {
  const Slot* slot = Find(current_);
  if (!slot) return std::nullopt;
  return slot->btn.GetCaption();
}

std::optional<std::u16string> LintraTab::GetTag() const {
  const Slot* slot = Find(current_);
  if (!slot) return std::nullopt;
  return slot->btn.LoadData();
}

bool LintraTab::setvis(std::int16_t index) {
  Slot* slot = FindMutable(index);
  if (!slot) return false;
  slot->btn.TabVis(kVbTrue);
  return true;
}

std::int32_t LintraTab::ToCreatTab(std::u16string caption) {
  if (counter_ == std::numeric_limits<std::int32_t>::max()) return counter_;
  counter_ += 1;
  const std::int32_t n = counter_;
  // Past the tab set's 16-bit range no tab can be created: the counter still advances, nothing
  // is placed and no event is raised.
  auto key = SetKey(n);
  if (!key) {
    current_ = n;
    return n;
  }
  // The new tab takes element 0's design settings (top 0, height 375) and starts hidden.
  Slot& slot = tabs_.insert_or_assign(*key, Slot{TabBtn(*measurer_, kHeight, end_btn_), 0, false}).first->second;
  current_ = n;
  std::int64_t left = 0;
  for (const auto& [index, other] : tabs_) {
    if (index >= n) break;
    if (index >= 0) left += other.btn.Width() - kOverlap;
  }
  slot.left = left;
  slot.btn.SetCaption(std::move(caption));
  slot.visible = true;
  // Copies: the host's handler may change the tab while it runs.
  std::u16string shown = slot.btn.GetCaption();
  std::u16string data = slot.btn.LoadData();
  events_->Click(shown, data, n);
  return n;
}

void LintraTab::SetData(std::u16string data) {
  if (Slot* slot = FindMutable(current_)) slot->btn.SaveData(std::move(data));
}

void LintraTab::SetLooks(std::int64_t selected) {
  for (auto& [index, slot] : tabs_) {
    if (index < 0) continue;
    slot.btn.TabVis(kVbTrue);
    if (index == selected) slot.btn.TabVis(kVbFalse);
  }
}

void LintraTab::SetIndex(std::int16_t index) {
  current_ = index;
  SetLooks(index);
  ScrollIntoView(index);
}

void LintraTab::ScrollIntoView(std::int64_t index) {
  // The offset is read afresh at each step; the shift is one tab width, not an exact alignment.
  if (const Slot* slot = Find(index)) {
    const std::int64_t left = slot->left;
    const std::int64_t width = slot->btn.Width();
    if (viewport_width_ - offset_ < left + width) offset_ -= width;
    if (offset_ < 0 && left + offset_ < 0) offset_ += width;
  }
  if (offset_ > 0) offset_ = 0;
}

void LintraTab::ReLeft() {
  std::int64_t left = 0;
  for (auto& [index, slot] : tabs_) {
    if (index < 0) continue;
    slot.left = left;
    left += slot.btn.Width() - kOverlap;
  }
}

void LintraTab::TabClickProcedure(std::int32_t index) {
  SetLooks(index);
  ScrollIntoView(index);
  current_ = index;
  if (const Slot* slot = Find(index)) {
    std::u16string caption = slot->btn.GetCaption();
    std::u16string data = slot->btn.LoadData();
    events_->TabChange(caption, data, index);
  }
}

void LintraTab::TabClicked(std::int32_t index) { TabClickProcedure(index); }

bool LintraTab::TabKilled(std::int32_t index) {
  if (index == 0) return true;
  auto key = SetKey(index);
  if (!key || tabs_.erase(*key) == 0) return false;
  TabClickProcedure(0);
  ReLeft();
  events_->UnloadClick(index);
  return true;
}

void LintraTab::LeftArrowClick() {
  std::int64_t sum = 0;
  for (const auto& [index, slot] : tabs_) {
    if (index < 0) continue;
    sum += slot.btn.Width();
  }
  if (sum - viewport_width_ < 0) return;
  offset_ -= kArrowStep;
}

void LintraTab::RightArrowClick() {
  if (offset_ + kArrowStep > 0) return;
  offset_ += kArrowStep;
}

void LintraTab::StartTimerTick() {
  if (!timer_enabled_) return;
  // Disabled before the handler runs, so a handler that pumps messages cannot see a second tick.
  timer_enabled_ = false;
  TabClickProcedure(0);
}

}  // namespace tw::tabs
