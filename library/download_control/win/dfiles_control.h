// Corvala.DFiles: the download control as an ActiveX control. The behaviour is the core's
// (library/download_control/core); this class serves its dispatch interface and events, stores
// its properties in the container's property bag or stream, and draws the progress bar.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include "common/win/com_events.h"
#include "common/win/com_object.h"
#include "common/win/com_ptr.h"
#include "common/win/text_win.h"
#include "library/download_control/core/dfiles.h"
#include "library/download_control/core/dfiles_settings.h"
#include "library/download_control/win/url_transfer.h"

namespace tw::corvala {

// Dispatch ids of _DFiles and __DFiles.
namespace dfiles_id {
inline constexpr DISPID kProperty = 0x68030000;
inline constexpr DISPID kMethod = 0x60030000;
inline constexpr DISPID kShowProgress = kProperty + 0;
inline constexpr DISPID kRenameOnRedirect = kProperty + 1;
inline constexpr DISPID kFailOnRedirect = kProperty + 2;
inline constexpr DISPID kSaveFilePath = kProperty + 3;
inline constexpr DISPID kSaveFileName = kProperty + 4;
inline constexpr DISPID kFileUrl = kProperty + 5;
inline constexpr DISPID kFileSize = kProperty + 6;
inline constexpr DISPID kRedirectFile = kProperty + 7;
inline constexpr DISPID kMIMEType = kProperty + 8;
inline constexpr DISPID kConnectionAddress = kProperty + 9;
inline constexpr DISPID kCacheFile = kProperty + 10;
inline constexpr DISPID kBytesRead = kProperty + 11;
inline constexpr DISPID kForeColor = kProperty + 12;
inline constexpr DISPID kBeginDownload = kMethod + 25;
inline constexpr DISPID kCancelDownload = kMethod + 28;
inline constexpr DISPID kSetFileName = kMethod + 31;
// Events.
inline constexpr DISPID kDLProgress = 1;
inline constexpr DISPID kDLCanceled = 2;
inline constexpr DISPID kDLError = 3;
inline constexpr DISPID kDLComplete = 4;
inline constexpr DISPID kDLConnected = 5;
inline constexpr DISPID kDLRedirect = 6;
inline constexpr DISPID kDLCacheFile = 7;
inline constexpr DISPID kDLMIMEType = 8;
inline constexpr DISPID kDLFileSize = 9;
inline constexpr DISPID kDLBeginDownload = 10;
inline constexpr DISPID kGetHtml = 11;
}  // namespace dfiles_id

class DFilesControl : public IDispatch,
                      public IOleObject,
                      public IOleInPlaceObject,
                      public IOleControl,
                      public IPersistPropertyBag,
                      public IPersistStreamInit,
                      public IProvideClassInfo2,
                      public IConnectionPointContainer,
                      private download::DFilesEvents {
 public:
  DFilesControl();
  DFilesControl(const DFilesControl&) = delete;
  DFilesControl& operator=(const DFilesControl&) = delete;
  virtual ~DFilesControl();

  static const win::QiEntry* QiTable();

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* error,
                      UINT* argErr) override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** out) override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return OLEOBJ_E_NOVERBS; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* out) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO*) override { return E_NOTIMPL; }
  STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

  // IPersist, IPersistPropertyBag, IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
  STDMETHODIMP IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** out) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* out) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

 private:
  // Events of the core, fired to the container's sinks with arguments by reference.
  void DLProgress(float percent, std::int32_t bytesRead, std::int32_t totalBytes) override;
  void DLCanceled() override;
  void DLError(download::DLErrorKind kind, const std::u16string& text) override;
  void DLComplete(std::int32_t bytes) override;
  void DLConnected(const std::u16string& address) override;
  void DLRedirect(const std::u16string& address) override;
  void DLCacheFile(const std::u16string& fileName) override;
  void DLMIMEType(const std::u16string& mimeType) override;
  void DLFileSize(std::int32_t bytes) override;
  void DLBeginDownload() override;
  void GetHtml(const download::ContentText& content) override;
  void Repaint() override;
  void ShowCriticalMessage(const std::u16string& text, const std::u16string& title) override;

  HRESULT GetProperty(DISPID id, VARIANT* result);
  HRESULT PutProperty(DISPID id, DISPPARAMS* params, UINT* argErr);
  void FireText(DISPID id, const std::u16string& text);
  void FireNone(DISPID id);
  void FireMouse(DISPID id, WPARAM wp, LPARAM lp);
  void Changed(DISPID id);
  void ApplySettings(const download::DFilesSettings& s);
  download::DFilesSettings CurrentSettings() const;
  void TakeAmbientFont();
  HRESULT CreateControlWindow(HWND parent, const RECT& pos);
  void DestroyControlWindow();
  void Paint();
  void ApplyBorder();

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  IUnknown* Self() { return static_cast<IDispatch*>(this); }

  UrlTransfer transfer_;
  TempFileWriter files_;
  win::Win32AnsiCodec codec_;
  download::DFiles core_;

  win::ConnectionPoint events_;
  win::ConnectionPoint propertyNotify_;
  win::ComPtr<IOleClientSite> site_;
  win::ComPtr<IOleInPlaceSite> inPlaceSite_;
  win::ComPtr<IFontDisp> font_;

  HWND hwnd_ = nullptr;
  OLE_COLOR backColor_ = download::kDefaultBackColor;
  OLE_COLOR foreColor_ = download::kDefaultForeColor;
  bool enabled_ = true;
  std::int16_t borderStyle_ = 1;
  SIZEL extent_{2540, 508};  // HIMETRIC
  bool dirty_ = false;
  bool mouseDown_ = false;
};

}  // namespace tw::corvala
