#include "shell/main_window/win/skin_frame.h"

#include <commctrl.h>
#include <windowsx.h>

#include "common/core/line_file.h"
#include "common/win/dpi.h"
#include "common/win/file_system_win.h"
#include "common/win/text_win.h"

namespace tw::shell {
namespace {

constexpr UINT_PTR kSubclassId = 0x534B;

COLORREF Ref(const skin::Rgb& c) { return RGB(c.r, c.g, c.b); }

int HitCode(skin::Hit h) {
  switch (h) {
    case skin::Hit::Client: return HTCLIENT;
    case skin::Hit::Caption: return HTCAPTION;
    case skin::Hit::Minimize: return HTMINBUTTON;
    case skin::Hit::Maximize: return HTMAXBUTTON;
    case skin::Hit::Close: return HTCLOSE;
    case skin::Hit::Left: return HTLEFT;
    case skin::Hit::Right: return HTRIGHT;
    case skin::Hit::Top: return HTTOP;
    case skin::Hit::Bottom: return HTBOTTOM;
    case skin::Hit::TopLeft: return HTTOPLEFT;
    case skin::Hit::TopRight: return HTTOPRIGHT;
    case skin::Hit::BottomLeft: return HTBOTTOMLEFT;
    case skin::Hit::BottomRight: return HTBOTTOMRIGHT;
  }
  return HTCLIENT;
}

}  // namespace

SkinFrame::~SkinFrame() {
  if (hwnd_) RemoveWindowSubclass(hwnd_, SubclassProc, kSubclassId);
  if (captionFont_) DeleteObject(captionFont_);
}

bool SkinFrame::LoadSkin(const std::u16string& path) {
  win::Win32FileSystem fs;
  win::Win32AnsiCodec codec;
  std::string bytes;
  FileStatus st = fs.ReadAll(path, bytes, 64 * 1024);
  if (st != FileStatus::Ok) {
    error_ = std::string("skin file ") + FileStatusName(st);
    skin_.reset();
    return false;
  }
  skin::ParseResult r = skin::ParseSkin(codec.Decode(bytes));
  if (!r.skin) {
    error_ = "skin file line " + std::to_string(r.errorLine) + ": " + r.error;
    skin_.reset();
    return false;
  }
  skin_ = r.skin;
  scaled_ = skin::ForDpi(*skin_, dpi_, win::MetricForDpi(SM_CYSIZE, dpi_));
  return true;
}

void SkinFrame::SetDpi(int dpi) {
  dpi_ = dpi;
  if (captionFont_) {
    DeleteObject(captionFont_);
    captionFont_ = nullptr;
  }
  if (!skin_) return;
  scaled_ = skin::ForDpi(*skin_, dpi, win::MetricForDpi(SM_CYSIZE, dpi));
  if (hwnd_)
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void SkinFrame::ApplySkin(HWND hwnd) {
  if (!skin_ || !IsWindow(hwnd) || hwnd_) return;
  hwnd_ = hwnd;
  // The skin draws the whole frame: no system caption, but keep sizing and the system commands.
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  style &= ~(WS_CAPTION | WS_BORDER | WS_DLGFRAME);
  style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_SYSMENU;
  SetWindowLongW(hwnd, GWL_STYLE, style);
  SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

SIZE SkinFrame::FrameAt(HWND hwnd, int dpi) const {
  if (skin_ && hwnd_) {
    const skin::Skin s = skin::ForDpi(*skin_, dpi, win::MetricForDpi(SM_CYSIZE, dpi));
    return SIZE{2 * s.border, 2 * s.border + s.captionHeight};
  }
  RECT r{0, 0, 0, 0};
  win::AdjustRectForDpi(r, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)),
                        static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)), dpi);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE SkinFrame::OuterSizeFor(HWND hwnd, int clientWidth, int clientHeight) const {
  if (skin_ && hwnd_) {
    return SIZE{clientWidth + 2 * scaled_.border, clientHeight + 2 * scaled_.border + scaled_.captionHeight};
  }
  RECT r{0, 0, clientWidth, clientHeight};
  win::AdjustRectForDpi(r, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)),
                        static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)), dpi_);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT SkinFrame::WindowRectLocal(HWND hwnd) const {
  RECT r;
  GetWindowRect(hwnd, &r);
  OffsetRect(&r, -r.left, -r.top);
  return r;
}

LRESULT CALLBACK SkinFrame::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<SkinFrame*>(ref);
  bool handled = false;
  LRESULT r = self->OnMessage(hwnd, msg, wp, lp, handled);
  if (handled) return r;
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
    self->hwnd_ = nullptr;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT SkinFrame::OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  const skin::Skin& s = scaled_;
  switch (msg) {
    case WM_NCCALCSIZE: {
      handled = true;
      auto* r = reinterpret_cast<RECT*>(lp);  // first rectangle in both forms of the message
      if (IsIconic(hwnd)) return 0;
      r->left += s.border;
      r->right -= s.border;
      r->top += s.border + s.captionHeight;
      r->bottom -= s.border;
      if (r->right < r->left) r->right = r->left;
      if (r->bottom < r->top) r->bottom = r->top;
      return 0;
    }
    case WM_NCPAINT:
      handled = true;
      Paint(hwnd);
      return 0;
    case WM_NCACTIVATE:
      handled = true;
      Paint(hwnd);
      return TRUE;
    case WM_SETTEXT: {
      LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
      handled = true;
      Paint(hwnd);
      return r;
    }
    case WM_SIZE:
      RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
      return 0;
    case WM_NCHITTEST: {
      handled = true;
      RECT wr;
      GetWindowRect(hwnd, &wr);
      int x = GET_X_LPARAM(lp) - wr.left, y = GET_Y_LPARAM(lp) - wr.top;
      return HitCode(skin::HitTest(s, wr.right - wr.left, wr.bottom - wr.top, x, y, !IsZoomed(hwnd)));
    }
    case WM_NCLBUTTONDOWN:
      if (wp == HTMINBUTTON || wp == HTMAXBUTTON || wp == HTCLOSE) {
        handled = true;
        pressed_ = static_cast<int>(wp);
        return 0;
      }
      return 0;
    case WM_NCLBUTTONUP:
      if (pressed_ && static_cast<int>(wp) == pressed_) {
        handled = true;
        int which = pressed_;
        pressed_ = 0;
        if (which == HTMINBUTTON) ShowWindow(hwnd, SW_MINIMIZE);
        else if (which == HTMAXBUTTON) ShowWindow(hwnd, IsZoomed(hwnd) ? SW_RESTORE : SW_MAXIMIZE);
        else PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
      }
      pressed_ = 0;
      return 0;
    case WM_NCLBUTTONDBLCLK:
      if (wp == HTCAPTION) {
        handled = true;
        ShowWindow(hwnd, IsZoomed(hwnd) ? SW_RESTORE : SW_MAXIMIZE);
        return 0;
      }
      return 0;
    default:
      return 0;
  }
}

void SkinFrame::Paint(HWND hwnd) {
  const skin::Skin& s = scaled_;
  if (!captionFont_) {
    // The caption font of the system, at the window's resolution.
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    ncm.lfCaptionFont.lfHeight = MulDiv(ncm.lfCaptionFont.lfHeight, dpi_, win::SystemDpi());
    ncm.lfCaptionFont.lfWeight = FW_BOLD;
    ncm.lfCaptionFont.lfCharSet = DEFAULT_CHARSET;
    captionFont_ = CreateFontIndirectW(&ncm.lfCaptionFont);
  }
  HDC dc = GetWindowDC(hwnd);
  if (!dc) return;
  RECT wr = WindowRectLocal(hwnd);
  int w = wr.right, h = wr.bottom;
  skin::FrameLayout f = skin::LayoutFrame(s, w, h);

  // Paint only the frame: exclude the client area.
  RECT client{f.client.left, f.client.top, f.client.right, f.client.bottom};
  ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);

  HBRUSH frame = CreateSolidBrush(Ref(s.frameColor));
  FillRect(dc, &wr, frame);
  DeleteObject(frame);
  RECT cap{f.caption.left, f.caption.top, f.caption.right, f.caption.bottom};
  HBRUSH capBrush = CreateSolidBrush(Ref(s.captionColor));
  FillRect(dc, &cap, capBrush);
  DeleteObject(capBrush);

  // Title.
  wchar_t title[512] = {};
  InternalGetWindowText(hwnd, title, 512);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, Ref(s.captionTextColor));
  HGDIOBJ oldFont = SelectObject(dc, captionFont_ ? captionFont_ : GetStockObject(DEFAULT_GUI_FONT));
  RECT text = cap;
  text.left += MulDiv(8, dpi_, 96);
  if (!f.buttons.empty()) text.right = f.buttons.front().second.left - MulDiv(4, dpi_, 96);
  DrawTextW(dc, title, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
  SelectObject(dc, oldFont);

  // Rounded corners: outside the quarter circles the window is painted in the transparent colour.
  if (s.corner > 0 && !IsZoomed(hwnd)) {
    int r = s.corner;
    HBRUSH key = CreateSolidBrush(Ref(s.transparent));
    HBRUSH fr = CreateSolidBrush(Ref(s.captionColor));
    HPEN framePen = CreatePen(PS_SOLID, 1, Ref(s.captionColor));
    HGDIOBJ op = SelectObject(dc, framePen);
    HGDIOBJ ob = SelectObject(dc, fr);
    struct Corner { int x, y; };
    const Corner corners[] = {{0, 0}, {w - r, 0}, {0, h - r}, {w - r, h - r}};
    for (const Corner& c : corners) {
      RECT sq{c.x, c.y, c.x + r, c.y + r};
      FillRect(dc, &sq, key);
    }
    // Quarter discs back in the frame's colours (the top ones sit in the caption band).
    Ellipse(dc, 0, 0, 2 * r + 1, 2 * r + 1);
    Ellipse(dc, w - 2 * r - 1, 0, w, 2 * r + 1);
    SelectObject(dc, ob);
    DeleteObject(fr);
    HBRUSH frameB = CreateSolidBrush(Ref(s.frameColor));
    HPEN frameP = CreatePen(PS_SOLID, 1, Ref(s.frameColor));
    SelectObject(dc, frameB);
    SelectObject(dc, frameP);
    Ellipse(dc, 0, h - 2 * r - 1, 2 * r + 1, h);
    Ellipse(dc, w - 2 * r - 1, h - 2 * r - 1, w, h);
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(frameB);
    DeleteObject(frameP);
    DeleteObject(framePen);
    DeleteObject(key);
  }
  // The buttons last: a large corner would otherwise cut into the close button.
  // Buttons: a light square with a glyph.
  HBRUSH btn = CreateSolidBrush(Ref(s.buttonColor));
  HPEN pen = CreatePen(PS_SOLID, MulDiv(2, dpi_, 96), Ref(s.frameColor));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  for (const auto& [kind, rc] : f.buttons) {
    RECT r{rc.left, rc.top, rc.right, rc.bottom};
    FillRect(dc, &r, btn);
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2, d = (r.right - r.left) / 4;
    switch (kind) {
      case skin::FrameButton::Minimize:
        MoveToEx(dc, cx - d, cy + d, nullptr);
        LineTo(dc, cx + d + 1, cy + d);
        break;
      case skin::FrameButton::Maximize: {
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, cx - d, cy - d, cx + d + 1, cy + d + 1);
        SelectObject(dc, oldBrush);
        break;
      }
      case skin::FrameButton::Close:
        MoveToEx(dc, cx - d, cy - d, nullptr);
        LineTo(dc, cx + d + 1, cy + d + 1);
        MoveToEx(dc, cx + d, cy - d, nullptr);
        LineTo(dc, cx - d - 1, cy + d + 1);
        break;
    }
  }
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  DeleteObject(btn);

  ReleaseDC(hwnd, dc);
}

}  // namespace tw::shell
