#include "common/win/ax_control.h"

#include <ole2.h>

#include <algorithm>

namespace tw::win {

namespace {

bool IsNumber(AxKind kind) { return kind == AxKind::Color || kind == AxKind::Bool || kind == AxKind::Int16; }

LONG Checked(const AxStorage::Entry& e, LONG value) { return e.valid && !e.valid(value) ? e.def : value; }

HRESULT ReadDword(IStream* stream, DWORD& value) {
  ULONG got = 0;
  TW_RINOK(stream->Read(&value, sizeof value, &got));
  return got == sizeof value ? S_OK : E_FAIL;
}

HRESULT WriteDword(IStream* stream, DWORD value) { return stream->Write(&value, sizeof value, nullptr); }

int LastSlot(const AxStorage::Entry* entries, std::size_t n) {
  int last = -1;
  for (std::size_t i = 0; i < n; ++i) last = std::max(last, entries[i].streamSlot);
  return last;
}

}  // namespace

ComPtr<IFontDisp> AmbientFontCopy(IOleClientSite* site) {
  ComPtr<IFontDisp> result;
  IDispatch* ambient = nullptr;
  if (site && SUCCEEDED(site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient)))) {
    Variant v;
    if (SUCCEEDED(InvokeById(ambient, DISPID_AMBIENT_FONT, DISPATCH_PROPERTYGET, nullptr, 0, &v))) {
      ComPtr<IFont> font;
      if (SUCCEEDED(ObjectFromVariant(v, IID_IFont, reinterpret_cast<void**>(&font))) && font) {
        ComPtr<IFont> copy;
        if (SUCCEEDED(font->Clone(&copy)) && copy) copy.As(IID_IFontDisp, result);
      }
    }
    ambient->Release();
  }
  if (!result) {
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(L"MS Sans Serif"), {{80000, 0}}, FW_NORMAL,
                  DEFAULT_CHARSET, FALSE, FALSE, FALSE};
    OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&result));
  }
  return result;
}

HRESULT InPlaceWindowRect(IOleInPlaceSite* site, HWND& parent, LPCRECT pos, RECT& rc) {
  HRESULT hr = S_OK;
  if (!parent) hr = site->GetWindow(&parent);
  if (pos) {
    rc = *pos;
  } else if (SUCCEEDED(hr)) {
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    hr = site->GetWindowContext(&frame, &document, &rc, &clip, &info);
  }
  return hr;
}

HRESULT CreateAxWindow(const AxClass& c, WNDPROC proc, HWND parent, const RECT& pos, DWORD style, void* param) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(c.module(), c.windowClass, &wc)) {
    wc.style = c.classStyle;
    wc.lpfnWndProc = proc;
    wc.hInstance = c.module();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = c.windowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
      return HRESULT_FROM_WIN32(GetLastError());
  }
  HWND hwnd = CreateWindowExW(0, c.windowClass, nullptr, WS_CHILD | WS_CLIPSIBLINGS | style, pos.left, pos.top,
                              pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, c.module(), param);
  if (hwnd) return S_OK;
  DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

void AxStorage::Defaults(const Entry* entries, std::size_t n, std::vector<AxValue>& out) {
  out.assign(n, AxValue{});
  for (std::size_t i = 0; i < n; ++i) out[i].number = entries[i].def;
}

void AxStorage::ReadBag(const Entry* entries, std::size_t n, IPropertyBag* bag, IErrorLog* log,
                        std::vector<AxValue>& out) {
  Defaults(entries, n, out);
  for (std::size_t i = 0; i < n; ++i) {
    const Entry& e = entries[i];
    AxValue& v = out[i];
    switch (e.kind) {
      case AxKind::Color:
        BagReadColor(bag, log, e.bagName, e.def, v.number);
        break;
      case AxKind::Bool: {
        bool b = false;
        BagReadBool(bag, log, e.bagName, e.def != 0, b);
        v.number = b ? 1 : 0;
        break;
      }
      case AxKind::Int16: {
        SHORT s = 0;
        BagReadInt16(bag, log, e.bagName, static_cast<SHORT>(e.def), s);
        v.number = s;
        break;
      }
      case AxKind::Text:
        BagReadString(bag, log, e.bagName, L"", v.text);
        break;
      case AxKind::Object:
        BagReadObject(bag, log, e.bagName, *e.iid, reinterpret_cast<void**>(&v.object));
        break;
    }
    if (IsNumber(e.kind)) v.number = Checked(e, v.number);
  }
}

HRESULT AxStorage::WriteBag(const Entry* entries, std::size_t n, IPropertyBag* bag,
                            const std::vector<AxValue>& values) {
  for (std::size_t i = 0; i < n; ++i) {
    const Entry& e = entries[i];
    const AxValue& v = values[i];
    switch (e.kind) {
      case AxKind::Color: TW_RINOK(BagWriteInt32(bag, e.bagName, v.number, e.def)); break;
      case AxKind::Bool: TW_RINOK(BagWriteBool(bag, e.bagName, v.number != 0, e.def != 0)); break;
      case AxKind::Int16:
        TW_RINOK(BagWriteInt16(bag, e.bagName, static_cast<SHORT>(v.number), static_cast<SHORT>(e.def)));
        break;
      case AxKind::Text: TW_RINOK(BagWriteString(bag, e.bagName, v.text, L"")); break;
      case AxKind::Object: TW_RINOK(BagWriteObject(bag, e.bagName, v.object.Get())); break;
    }
  }
  return S_OK;
}

HRESULT AxStorage::ReadStream(const Entry* entries, std::size_t n, IStream* stream, std::vector<AxValue>& out) {
  Defaults(entries, n, out);
  const int last = LastSlot(entries, n);
  for (int slot = 0; slot <= last; ++slot) {
    bool flagsRead = false;
    DWORD flags = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const Entry& e = entries[i];
      if (e.streamSlot != slot) continue;
      AxValue& v = out[i];
      if (e.flagBit) {
        if (!flagsRead) TW_RINOK(ReadDword(stream, flags));
        flagsRead = true;
        v.number = (flags & e.flagBit) != 0 ? 1 : 0;
      } else if (IsNumber(e.kind)) {
        DWORD d = 0;
        TW_RINOK(ReadDword(stream, d));
        v.number = e.kind == AxKind::Bool ? (d != 0 ? 1 : 0) : Checked(e, static_cast<LONG>(d));
      } else if (e.kind == AxKind::Text) {
        TW_RINOK(StreamReadString(stream, v.text));
      } else {
        TW_RINOK(StreamReadObject(stream, *e.iid, reinterpret_cast<void**>(&v.object)));
      }
    }
  }
  return S_OK;
}

HRESULT AxStorage::WriteStream(const Entry* entries, std::size_t n, IStream* stream,
                               const std::vector<AxValue>& values) {
  const int last = LastSlot(entries, n);
  for (int slot = 0; slot <= last; ++slot) {
    bool isFlags = false;
    DWORD flags = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const Entry& e = entries[i];
      if (e.streamSlot != slot) continue;
      const AxValue& v = values[i];
      if (e.flagBit) {
        isFlags = true;
        if (v.number) flags |= e.flagBit;
      } else if (IsNumber(e.kind)) {
        TW_RINOK(WriteDword(stream, static_cast<DWORD>(v.number)));
      } else if (e.kind == AxKind::Text) {
        TW_RINOK(StreamWriteString(stream, v.text));
      } else {
        TW_RINOK(StreamWriteObject(stream, v.object.Get()));
      }
    }
    if (isFlags) TW_RINOK(WriteDword(stream, flags));
  }
  return S_OK;
}

}  // namespace tw::win
