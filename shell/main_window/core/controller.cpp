#include "shell/main_window/core/controller.h"

namespace tw::mainwin {

namespace {
constexpr char16_t kProductName[] = u"Tarnwick";
}

std::optional<std::u16string> CaptionForTitle(std::u16string_view title) {
  if (title.find(u"http") != std::u16string_view::npos) return std::nullopt;
  if (title.size() > 15) {
    // A cut between the halves of a surrogate pair would leave a broken character: cut before it.
    std::size_t cut = (title[14] >= 0xD800 && title[14] <= 0xDBFF) ? 14 : 15;
    return std::u16string(title.substr(0, cut)) + u"...";
  }
  return std::u16string(title);
}

bool Controller::OnNewWindow() {
  if (WebMax >= kMaxPaneIndex) return false;
  std::int32_t n = WebMax + 1;
  // The index is taken only once its pane exists, so pane n and tab n stay together.
  if (!panes_.Create(n)) return false;
  WebMax = n;
  panes_.SetRegisterAsBrowser(n);
  panes_.HandBack(n);
  panes_.Show(n, true);
  tabs_.CreatTab(kProductName);  // its Click selects pane n before it returns
  panes_.Show(0, false);
  tabs_.SetIndex(n);
  return true;
}

void Controller::OnTitleChange(std::int32_t pane, std::u16string_view title) {
  if (pane == 0) return;
  auto caption = CaptionForTitle(title);
  if (!caption) return;
  tabs_.SetCaption(pane, *caption);
}

void Controller::OnLeftDocumentComplete(bool topLevel) {
  if (!topLevel) return;
  if (TurnSub4) {
    left_.Navigate(u"javascript:turnit('sub4')");
    TurnSub4 = false;
  } else if (TurnSub3) {
    left_.Navigate(u"javascript:turnit('sub3')");
    TurnSub3 = false;
  }
}

void Controller::StartLeft(const std::u16string& page) {
  leftPage_ = page;
  left_.Navigate(page);
}

void Controller::ReloadLeft() {
  if (!leftPage_.empty()) left_.Navigate(leftPage_);
}

void Controller::OnTabSelected(std::int32_t index) {
  // Panes that do not exist are skipped.
  for (std::int32_t i = 0; i <= WebMax; ++i)
    if (panes_.Exists(i)) panes_.Show(i, false);
  CurIndex = index;
  if (panes_.Exists(index)) panes_.Show(index, true);
}

void Controller::OnTabClosed(std::int32_t index) {
  if (index == 0 || !panes_.Exists(index)) return;  // pane 0 lives as long as the window
  panes_.Destroy(index);
}

void Controller::Reload() {
  if (panes_.Exists(CurIndex)) panes_.Refresh(CurIndex);
}

void Controller::HideLeft() {
  LeftHide = true;
  window_.Layout();
  window_.SetLeftToggles(true);
}

void Controller::ShowLeft() {
  LeftHide = false;
  window_.SetLeftPanelVisible(true);
  window_.Layout();
  window_.SetLeftToggles(false);
}

std::u16string Controller::CurrentCaption() { return tabs_.GetCaption().value_or(std::u16string()); }

std::u16string Controller::CurrentAddress() {
  return panes_.Exists(CurIndex) ? panes_.LocationURL(CurIndex) : std::u16string();
}

}  // namespace tw::mainwin
