// The strip's buttons as Corvala.Cmd_ instances: the control is hosted in place, given the three
// pictures by reference and sized to its picture by InitCtlSet; only its Click event is used.
#include <windows.h>
#include <ole2.h>

#include "common/win/ax_host.h"
#include "common/win/image_button_host.h"
#include "shell/tab_strip/win/pixels_win.h"
#include "shell/tab_strip/win/strip_button.h"

namespace tw::tabs::win {
namespace {

namespace cmd = tw::win::cmd_button;

class CmdButton final : public StripButton {
 public:
  CmdButton(int width, int height, std::function<void()> on_click)
      : width_(width), height_(height), on_click_(std::move(on_click)) {}

  HRESULT Create(HWND parent, ButtonArt art, int dpi) {
    RECT rc{0, 0, width_, height_};
    HRESULT hr = cmd::Create(host_, parent, rc, [this] {
      if (on_click_) on_click_();
    });
    if (FAILED(hr)) return hr;
    const ButtonLook looks[] = {ButtonLook::kNormal, ButtonLook::kOver, ButtonLook::kDown};
    const DISPID ids[] = {cmd::kPicture, cmd::kPicturePoint, cmd::kPictureDown};
    for (int i = 0; i < 3; ++i) {
      hr = cmd::PutPicture(host_, ids[i], MakeBitmap(ArtImage(art, looks[i], dpi)));
      if (FAILED(hr)) return hr;
    }
    hr = host_.Call(cmd::kInitCtlSet);
    cmd::SetCaption(host_, ArtName(art));
    return hr;
  }

  HWND hwnd() const override { return host_.hwnd(); }
  void MoveTo(int x, int y) override {
    if (x == x_ && y == y_) return;
    x_ = x;
    y_ = y;
    host_.Move(x, y, width_, height_);
  }
  void Show(bool visible) override {
    if (host_.visible() != visible) host_.Show(visible);
  }

 private:
  int width_;
  int height_;
  int x_ = 0;
  int y_ = 0;
  std::function<void()> on_click_;
  tw::win::AxHost host_;
};

}  // namespace

std::unique_ptr<StripButton> CreateCmdButton(HWND parent, ButtonArt art, int dpi, std::function<void()> on_click) {
  // The control snaps to its picture, which shows at its own pixel size: the picture is drawn at
  // the size the screen's resolution asks for.
  const PixelImage picture = ArtImage(art, ButtonLook::kNormal, dpi);
  auto button = std::make_unique<CmdButton>(picture.width, picture.height, std::move(on_click));
  if (FAILED(button->Create(parent, art, dpi))) return nullptr;
  return button;
}

}  // namespace tw::tabs::win
