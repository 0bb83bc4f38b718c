#include "common/win/image_button_host.h"

#include <olectl.h>

#include "common/win/com_ptr.h"

namespace tw::win::cmd_button {

HRESULT Create(AxHost& host, HWND parent, const RECT& rc, std::function<void()> onClick) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"Corvala.Cmd_", &clsid);
  if (FAILED(hr)) return hr;
  return host.Create(parent, rc, clsid, kEvents, [onClick = std::move(onClick)](DISPID id, DISPPARAMS*) {
    if (id == kEventClick && onClick) onClick();
  });
}

HRESULT PutPicture(AxHost& host, DISPID id, HBITMAP bitmap) {
  if (!bitmap) return E_OUTOFMEMORY;
  PICTDESC desc{};
  desc.cbSizeofstruct = sizeof desc;
  desc.picType = PICTYPE_BITMAP;
  desc.bmp.hbitmap = bitmap;
  ComPtr<IPictureDisp> picture;
  HRESULT hr = OleCreatePictureIndirect(&desc, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&picture));
  if (FAILED(hr)) {
    DeleteObject(bitmap);
    return hr;
  }
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_DISPATCH;
  V_DISPATCH(&value) = picture.Get();
  return host.Invoke(id, DISPATCH_PROPERTYPUTREF, &value, 1, nullptr);
}

void SetCaption(AxHost& host, const std::wstring& caption) {
  ComPtr<IOleWindow> window;
  HWND hwnd = nullptr;
  if (host.control() &&
      SUCCEEDED(host.control()->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window))) &&
      SUCCEEDED(window->GetWindow(&hwnd)) && hwnd)
    SetWindowTextW(hwnd, caption.c_str());
}

}  // namespace tw::win::cmd_button
