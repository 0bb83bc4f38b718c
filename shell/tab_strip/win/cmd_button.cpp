// The strip's buttons as Corvala.Cmd_ instances: the control is hosted in place, given the three
// pictures by reference and sized to its picture by InitCtlSet; only its Click event is used.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include "common/win/ax_host.h"
#include "common/win/com_ptr.h"
#include "common/win/image_button_host.h"
#include "shell/tab_strip/win/pixels_win.h"
#include "shell/tab_strip/win/strip_button.h"

namespace tw::tabs::win {
namespace {

// The image button's published dispatch ids and its event interface.
constexpr DISPID kDispPictureDown = 0x68030000;
constexpr DISPID kDispPicturePoint = 0x68030001;
constexpr DISPID kDispPicture = 0x68030003;
constexpr DISPID kDispInitCtlSet = 0x60030013;
constexpr DISPID kEventClick = 1;
// __Cmd_
constexpr IID kImageButtonEvents = {0x6C380CAA, 0xF192, 0x4717, {0x88, 0x4E, 0x6B, 0xC4, 0xF5, 0x5F, 0xFA, 0x38}};

class CmdButton final : public StripButton {
 public:
  CmdButton(int width, int height, std::function<void()> on_click)
      : width_(width), height_(height), on_click_(std::move(on_click)) {}

  HRESULT Create(HWND parent, ButtonArt art, int dpi) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Corvala.Cmd_", &clsid);
    if (FAILED(hr)) return hr;
    RECT rc{0, 0, width_, height_};
    hr = host_.Create(parent, rc, clsid, kImageButtonEvents, [this](DISPID id, DISPPARAMS*) {
      if (id == kEventClick && on_click_) on_click_();
    });
    if (FAILED(hr)) return hr;
    const ButtonLook looks[] = {ButtonLook::kNormal, ButtonLook::kOver, ButtonLook::kDown};
    const DISPID ids[] = {kDispPicture, kDispPicturePoint, kDispPictureDown};
    for (int i = 0; i < 3; ++i) {
      PICTDESC desc{};
      desc.cbSizeofstruct = sizeof desc;
      desc.picType = PICTYPE_BITMAP;
      desc.bmp.hbitmap = MakeBitmap(ArtImage(art, looks[i], dpi));
      if (!desc.bmp.hbitmap) return E_OUTOFMEMORY;
      tw::win::ComPtr<IPictureDisp> picture;
      hr = OleCreatePictureIndirect(&desc, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&picture));
      if (FAILED(hr)) {
        DeleteObject(desc.bmp.hbitmap);
        return hr;
      }
      VARIANT value;
      VariantInit(&value);
      V_VT(&value) = VT_DISPATCH;
      V_DISPATCH(&value) = picture.Get();
      hr = host_.Invoke(ids[i], DISPATCH_PROPERTYPUTREF, &value, 1, nullptr);
      if (FAILED(hr)) return hr;
    }
    hr = host_.Call(kDispInitCtlSet);
    tw::win::cmd_button::SetCaption(host_, ArtName(art));
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
