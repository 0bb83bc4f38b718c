#include "shell/tab_strip/win/tab_btn_window.h"

#include <windowsx.h>

#include <algorithm>

#include "common/win/drawn_window.h"
#include "shell/tab_strip/win/pixels_win.h"

namespace tw::tabs::win {
namespace {

constexpr wchar_t kClassName[] = L"TwTabBtn";

// Bottom to top: the normal look, the selected look's left and middle, then (after the caption)
// the right edges.
constexpr Piece kBelowCaption[] = {Piece::kTabL, Piece::kTabM, Piece::kTabL2, Piece::kTabM2};
constexpr Piece kAboveCaption[] = {Piece::kTabR, Piece::kTabR2};

}  // namespace

PieceBitmaps::PieceBitmaps(int dpi) {
  for (Piece piece : kAllPieces) {
    int i = static_cast<int>(piece);
    images_[i] = PieceImage(piece, dpi);
    bitmaps_[i] = MakeBitmap(images_[i]);
  }
}

PieceBitmaps::~PieceBitmaps() {
  for (HBITMAP bitmap : bitmaps_) {
    if (bitmap) DeleteObject(bitmap);
  }
}

void PieceBitmaps::Draw(HDC dc, Piece piece, const RECT& dest) const {
  int i = static_cast<int>(piece);
  DrawStretched(dc, bitmaps_[i], images_[i].width, images_[i].height, dest);
}

TabBtnWindow::TabBtnWindow(std::int32_t index, const TabBtn& model, const PieceBitmaps& pieces, HFONT font, int dpi,
                           TabBtnListener& listener)
    : index_(index), model_(&model), pieces_(&pieces), font_(font), dpi_(dpi), listener_(&listener) {}

TabBtnWindow::~TabBtnWindow() {
  access_.Disconnect();
  end_btn_.reset();
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
}

bool TabBtnWindow::Create(HWND parent) {
  // The second press of a double click arrives as WM_LBUTTONDBLCLK and makes no second TabClick.
  if (!RegisterClassOnce(kClassName, CS_DBLCLKS, nullptr)) return false;
  if (!CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 1, 1, parent,
                       nullptr, GetModuleHandleW(nullptr), this)) {
    return false;
  }
  // A later tab lies over the earlier one where they overlap.
  SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const std::int32_t index = index_;
  TabBtnListener* listener = listener_;
  end_btn_ = CreateStripButton(hwnd_, ButtonArt::kClose, dpi_, [listener, index] { listener->TabKilled(index); });
  return true;
}

void TabBtnWindow::Update(std::int64_t left_twips, bool visible) {
  if (!hwnd_) return;
  RECT rc = TwipsToPixelRect(left_twips, 0, model_->Width(), model_->Height(), dpi_);
  // Window coordinates stay well inside what every window manager accepts; a tab that far off
  // the viewport is not visible anyway.
  const LONG clamped = std::clamp<LONG>(rc.left, -30000, 30000);
  rc.right += clamped - rc.left;
  rc.left = clamped;
  SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (end_btn_) {
    TwipRect end = model_->EndBtnRect();
    end_btn_->MoveTo(TwipsToPixels(end.left, dpi_), TwipsToPixels(end.top, dpi_));
    end_btn_->Show(model_->EndBtnVisible());
  }
  TwipRect label = model_->LabelRect();
  if (drawn_normal_ != model_->NormalLook()) tw::win::AccNotify(hwnd_, EVENT_OBJECT_STATECHANGE);
  if (drawn_caption_ != model_->GetCaption() || drawn_normal_ != model_->NormalLook() ||
      drawn_width_ != model_->Width() || label.left != drawn_label_.left || label.top != drawn_label_.top) {
    InvalidateRect(hwnd_, nullptr, FALSE);
  }
  // The window's name mirrors the caption, so the tab reads like any captioned window.
  if (named_caption_ != model_->GetCaption()) {
    named_caption_ = model_->GetCaption();
    SetWindowTextW(hwnd_, std::wstring(named_caption_.begin(), named_caption_.end()).c_str());
  }
  bool shown = (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
  if (shown != visible) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

std::int32_t TabBtnWindow::TwipsOf(int pixels) const {
  return static_cast<std::int32_t>(PixelsToTwips(pixels, dpi_));
}

void TabBtnWindow::Paint(HDC dc) {
  drawn_caption_ = model_->GetCaption();
  drawn_normal_ = model_->NormalLook();
  drawn_label_ = model_->LabelRect();
  drawn_width_ = model_->Width();
  auto draw_piece = [&](Piece piece) {
    if (!model_->PieceVisible(piece)) return;
    TwipRect r = model_->PieceRect(piece);
    pieces_->Draw(dc, piece, TwipsToPixelRect(r.left, r.top, r.width, r.height, dpi_));
  };
  for (Piece piece : kBelowCaption) draw_piece(piece);
  TwipRect label = model_->LabelRect();
  RECT text_rc = TwipsToPixelRect(label.left, label.top, label.width, label.height, dpi_);
  HGDIOBJ old_font = SelectObject(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  std::wstring text(drawn_caption_.begin(), drawn_caption_.end());
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &text_rc, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  SelectObject(dc, old_font);
  for (Piece piece : kAboveCaption) draw_piece(piece);
}

void TabBtnWindow::AccDescribe(tw::win::AccInfo& info) {
  info.role = ROLE_SYSTEM_PAGETAB;
  info.name.assign(model_->GetCaption().begin(), model_->GetCaption().end());
  info.state = STATE_SYSTEM_SELECTABLE | (model_->NormalLook() ? 0 : STATE_SYSTEM_SELECTED);
  info.action = L"Switch";
}

bool TabBtnWindow::AccDoDefault() {
  listener_->TabClick(index_);
  return true;
}

LRESULT TabBtnWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT answer = 0;
  // Off screen, so the caption never flickers over a half-drawn background.
  auto paint = [this](HDC dc, const RECT& client) {
    tw::win::PaintOffScreen(dc, client, [this](HDC to) { Paint(to); });
  };
  if (tw::win::DrawnWindowMessage(hwnd_, msg, wp, lp, access_, *this, paint, answer)) return answer;
  switch (msg) {
    case WM_LBUTTONDOWN:
      body_pressed_ = model_->HitTest(TwipsOf(GET_X_LPARAM(lp)), TwipsOf(GET_Y_LPARAM(lp))) == TabHit::kBody;
      if (body_pressed_) SetCapture(hwnd_);
      return 0;
    case WM_LBUTTONUP: {
      bool was_pressed = body_pressed_;
      body_pressed_ = false;
      if (GetCapture() == hwnd_) ReleaseCapture();
      if (was_pressed &&
          model_->HitTest(TwipsOf(GET_X_LPARAM(lp)), TwipsOf(GET_Y_LPARAM(lp))) == TabHit::kBody) {
        listener_->TabClick(index_);
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      body_pressed_ = false;
      return 0;
    default:
      break;
  }
  return Default(msg, wp, lp);
}

}  // namespace tw::tabs::win
