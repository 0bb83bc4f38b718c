#include "shell/tab_strip/win/lintra_tab_window.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "common/win/dpi.h"
#include "common/win/drawn_window.h"
#include "shell/tab_strip/win/pixels_win.h"

namespace tw::tabs::win {
namespace {

constexpr wchar_t kStripClass[] = L"TwLintraTab";
constexpr wchar_t kPanelClass[] = L"TwTabPanel";
constexpr UINT_PTR kStartTimer = 1;
constexpr UINT kStartTimerMs = 100;
// A tab's close request, handled once the close button's own message has returned.
constexpr UINT kCloseTabMessage = WM_APP + 1;

constexpr std::int32_t kCtlPanelTop = 60;
constexpr std::int32_t kCtlPanelWidth = 615;
constexpr std::int32_t kArrowWidth = 240;

void FillSolid(HDC dc, const RECT& rc, std::uint32_t rgb) {
  HBRUSH brush = CreateSolidBrush(ToColorRef(rgb));
  if (!brush) return;
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

// The default UI font at `dpi`.
HFONT CreateDefaultUiFont(int dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, tw::win::SystemDpi());
    if (HFONT font = CreateFontIndirectW(&metrics.lfMessageFont)) return font;
  }
  return nullptr;
}

}  // namespace

// Measures captions as the tabs draw them: the default UI font, one line, no prefix characters.
class LintraTabControl::Measurer : public TextMeasurer {
 public:
  Measurer(HFONT font, int dpi) : font_(font), dpi_(dpi) {}
  void Reset(HFONT font, int dpi) {
    font_ = font;
    dpi_ = dpi;
  }
  TwipSize Measure(std::u16string_view text) const override {
    HDC dc = GetDC(nullptr);
    if (!dc) return {0, 195};
    HGDIOBJ old = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{};
    std::wstring wide(text.begin(), text.end());
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {static_cast<std::int32_t>(PixelsToTwips(size.cx, dpi_)),
            static_cast<std::int32_t>(PixelsToTwips(metrics.tmHeight, dpi_))};
  }

 private:
  HFONT font_;
  int dpi_;
};

// A plain child window that paints itself with a function: TabPanel and CtlPanel.
class LintraTabControl::Panel : public tw::win::Window<Panel> {
 public:
  explicit Panel(std::function<void(HDC, const RECT&)> paint) : paint_(std::move(paint)) {}
  bool Create(HWND parent) {
    if (!RegisterClassOnce(kPanelClass, 0, nullptr)) return false;
    return CreateWindowExW(0, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 1,
                           1, parent, nullptr, GetModuleHandleW(nullptr), this) != nullptr;
  }
  void Place(const RECT& rc) {
    SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void Repaint() { InvalidateRect(hwnd_, nullptr, FALSE); }
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT answer = 0;
    if (tw::win::PaintedWindowMessage(hwnd_, msg, paint_, answer)) return answer;
    return Default(msg, wp, lp);
  }

 private:
  std::function<void(HDC, const RECT&)> paint_;
};

LintraTabControl::LintraTabControl(LintraTabEvents& host) : host_(&host) {}

LintraTabControl::~LintraTabControl() {
  access_.Disconnect();
  if (hwnd_) KillTimer(hwnd_, kStartTimer);
  tabs_.clear();
  cmd1_.reset();
  cmd2_.reset();
  tab_panel_.reset();
  ctl_panel_.reset();
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
  model_.reset();
  if (font_) DeleteObject(font_);
}

bool LintraTabControl::Create(HWND parent, std::int32_t left, std::int32_t top, std::int32_t width,
                              std::u16string home_caption) {
  dpi_ = tw::win::WindowDpi(parent);
  font_ = CreateDefaultUiFont(dpi_);
  measurer_ = std::make_unique<Measurer>(font_, dpi_);
  pieces_ = std::make_unique<PieceBitmaps>(dpi_);
  if (!RegisterClassOnce(kStripClass, 0, nullptr)) return false;
  RECT rc = TwipsToPixelRect(left, top, width, kHeightTwips, dpi_);
  if (!CreateWindowExW(0, kStripClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rc.left,
                       rc.top, rc.right - rc.left, rc.bottom - rc.top, parent, nullptr, GetModuleHandleW(nullptr),
                       this)) {
    return false;
  }
  tab_panel_ = std::make_unique<Panel>([this](HDC dc, const RECT& client) {
    // The viewport is black where the sliding strip does not reach.
    FillSolid(dc, client, kViewportColour);
    if (!model_) return;
    RECT strip = TwipsToPixelRect(model_->Offset(), 0, model_->StripWidth(), LintraTab::kHeight, dpi_);
    strip.left = std::max(strip.left, client.left);
    strip.right = std::min(strip.right, client.right);
    strip.bottom = client.bottom;
    if (strip.left < strip.right) FillSolid(dc, strip, kStripColour);
  });
  ctl_panel_ = std::make_unique<Panel>([](HDC dc, const RECT& client) { FillSolid(dc, client, kStripColour); });
  if (!tab_panel_->Create(hwnd_) || !ctl_panel_->Create(hwnd_)) return false;
  CreateArrows();
  // Each close button measures its picture at this display's resolution.
  const PixelImage close = ArtImage(ButtonArt::kClose, ButtonLook::kNormal, dpi_);
  const TwipSize end_btn{static_cast<std::int32_t>(PixelsToTwips(close.width, dpi_)),
                         static_cast<std::int32_t>(PixelsToTwips(close.height, dpi_))};
  model_ = std::make_unique<LintraTab>(*measurer_, static_cast<LintraTabEvents&>(*this), std::move(home_caption),
                                       end_btn);
  Sync();
  SetTimer(hwnd_, kStartTimer, kStartTimerMs, nullptr);
  return true;
}

void LintraTabControl::SetDpi(int dpi) {
  if (!hwnd_ || dpi == dpi_) return;
  dpi_ = dpi;
  tabs_.clear();  // made again by Sync, with the new font and pictures
  HFONT old = font_;
  font_ = CreateDefaultUiFont(dpi_);
  measurer_->Reset(font_, dpi_);
  if (old) DeleteObject(old);
  pieces_ = std::make_unique<PieceBitmaps>(dpi_);
  CreateArrows();
  Sync();
}

void LintraTabControl::CreateArrows() {
  cmd1_ = CreateStripButton(ctl_panel_->hwnd(), ButtonArt::kLeftArrow, dpi_, [this] {
    if (!model_) return;
    model_->LeftArrowClick();
    Sync();
  });
  cmd2_ = CreateStripButton(ctl_panel_->hwnd(), ButtonArt::kRightArrow, dpi_, [this] {
    if (!model_) return;
    model_->RightArrowClick();
    Sync();
  });
  if (cmd1_) {
    cmd1_->MoveTo(0, 0);
    cmd1_->Show(true);
  }
  if (cmd2_) {
    cmd2_->MoveTo(TwipsToPixels(kArrowWidth, dpi_), 0);
    cmd2_->Show(true);
  }
}

void LintraTabControl::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  if (!hwnd_) return;
  RECT rc = TwipsToPixelRect(left, top, std::max(width, 0), std::max(height, 0), dpi_);
  SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool LintraTabControl::SetCaption(std::int32_t index, std::u16string caption) {
  if (!model_) return false;
  bool done = model_->SetCaption(index, std::move(caption));
  Sync();
  return done;
}

bool LintraTabControl::SetWidth(std::int32_t mwidth) {
  if (!model_) return false;
  bool done = model_->SetWidth(mwidth);
  Sync();
  return done;
}

bool LintraTabControl::setvis(std::int16_t index) {
  if (!model_) return false;
  bool done = model_->setvis(index);
  Sync();
  return done;
}

std::int32_t LintraTabControl::ToCreatTab(std::u16string caption) {
  if (!model_) return 0;
  std::int32_t index = model_->ToCreatTab(std::move(caption));
  Sync();
  return index;
}

void LintraTabControl::SetData(std::u16string data) {
  if (model_) model_->SetData(std::move(data));
}

void LintraTabControl::SetIndex(std::int16_t index) {
  if (!model_) return;
  model_->SetIndex(index);
  Sync();
}

void LintraTabControl::ReLeft() {
  if (!model_) return;
  model_->ReLeft();
  Sync();
}

void LintraTabControl::Sync() {
  if (!model_ || !hwnd_) return;
  const int height = TwipsToPixels(LintraTab::kHeight, dpi_);
  tab_panel_->Place({0, 0, TwipsToPixels(model_->ViewportWidth(), dpi_), height});
  tab_panel_->Repaint();
  ctl_panel_->Place(TwipsToPixelRect(model_->CtlPanelLeft(), kCtlPanelTop, kCtlPanelWidth, LintraTab::kHeight, dpi_));

  for (auto it = tabs_.begin(); it != tabs_.end();) {
    it = model_->Find(it->first) ? std::next(it) : tabs_.erase(it);
  }
  for (const auto& [index, slot] : model_->Tabs()) {
    auto& window = tabs_[index];
    if (!window) {
      window = std::make_unique<TabBtnWindow>(index, slot.btn, *pieces_, font_, dpi_,
                                              static_cast<TabBtnListener&>(*this));
      if (!window->Create(tab_panel_->hwnd())) {
        window.reset();
        tabs_.erase(index);
        continue;
      }
    }
    window->Update(slot.left + model_->Offset(), slot.visible);
  }
}

void LintraTabControl::Click(const std::u16string& caption, const std::u16string& data, std::int32_t index) {
  Sync();
  host_->Click(caption, data, index);
}

void LintraTabControl::TabChange(const std::u16string& caption, const std::u16string& data, std::int32_t index) {
  Sync();
  host_->TabChange(caption, data, index);
}

void LintraTabControl::UnloadClick(std::int32_t index) {
  Sync();
  host_->UnloadClick(index);
}

void LintraTabControl::TabClick(std::int32_t index) {
  if (!model_) return;
  model_->TabClicked(index);
  Sync();
}

void LintraTabControl::TabKilled(std::int32_t index) {
  PostMessageW(hwnd_, kCloseTabMessage, static_cast<WPARAM>(index), 0);
}

std::vector<HWND> LintraTabControl::AccChildren(HWND) {
  std::vector<std::pair<LONG, HWND>> shown;
  for (const auto& [index, tab] : tabs_) {
    RECT r{};
    if (tab->hwnd() && IsWindowVisible(tab->hwnd()) && GetWindowRect(tab->hwnd(), &r)) shown.push_back({r.left, tab->hwnd()});
  }
  std::sort(shown.begin(), shown.end());
  std::vector<HWND> out;
  for (const auto& s : shown) out.push_back(s.second);
  for (const auto* arrow : {cmd1_.get(), cmd2_.get()})
    if (arrow && arrow->hwnd() && IsWindowVisible(arrow->hwnd())) out.push_back(arrow->hwnd());
  return out;
}

LRESULT LintraTabControl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT answer = 0;
  auto paint = [](HDC dc, const RECT& client) { FillSolid(dc, client, kStripColour); };
  if (tw::win::DrawnWindowMessage(hwnd_, msg, wp, lp, access_, *this, paint, answer)) return answer;
  switch (msg) {
    case WM_TIMER:
      if (wp == kStartTimer) {
        KillTimer(hwnd_, kStartTimer);
        if (model_) model_->StartTimerTick();
        return 0;
      }
      break;
    case kCloseTabMessage:
      if (model_) {
        // A tab that is already gone (a second click before this message) is ignored.
        (void)model_->TabKilled(static_cast<std::int32_t>(wp));
        Sync();
      }
      return 0;
    default:
      break;
  }
  return Default(msg, wp, lp);
}

}  // namespace tw::tabs::win
