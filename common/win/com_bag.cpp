#include "common/win/com_bag.h"

#include <ole2.h>

#include "common/win/com_dispatch.h"

namespace tw::win {

namespace {

// Reads `name` as `vt`; false when the bag has no usable value.
bool ReadAs(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, VARTYPE vt, Variant& out) {
  if (!bag) return false;
  Variant raw;
  V_VT(&raw) = vt;
  if (FAILED(bag->Read(name, &raw, log))) return false;
  if (V_VT(&raw) == vt) {
    out.Clear();
    VariantCopy(&out, &raw);
    return true;
  }
  out.Clear();
  return SUCCEEDED(VariantChangeType(&out, &raw, 0, vt));
}

HRESULT WriteVariant(IPropertyBag* bag, const wchar_t* name, VARIANT& value) {
  if (!bag) return E_POINTER;
  return bag->Write(name, &value);
}

}  // namespace

void BagReadString(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, const std::wstring& def, std::wstring& out) {
  Variant v;
  if (ReadAs(bag, log, name, VT_BSTR, v)) {
    out.assign(V_BSTR(&v) ? V_BSTR(&v) : L"", V_BSTR(&v) ? SysStringLen(V_BSTR(&v)) : 0);
  } else {
    out = def;
  }
}

void BagReadBool(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, bool def, bool& out) {
  Variant v;
  out = ReadAs(bag, log, name, VT_BOOL, v) ? V_BOOL(&v) != VARIANT_FALSE : def;
}

void BagReadInt16(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, SHORT def, SHORT& out) {
  Variant v;
  out = ReadAs(bag, log, name, VT_I2, v) ? V_I2(&v) : def;
}

void BagReadInt32(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, LONG def, LONG& out) {
  Variant v;
  out = ReadAs(bag, log, name, VT_I4, v) ? V_I4(&v) : def;
}

void BagReadColor(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, LONG def, LONG& out) {
  Variant v;
  if (ReadAs(bag, log, name, VT_I4, v)) {
    out = V_I4(&v);
  } else if (ReadAs(bag, log, name, VT_UI4, v)) {
    out = static_cast<LONG>(V_UI4(&v));  // a system colour (top bit set) kept as unsigned
  } else {
    out = def;
  }
}

void BagReadObject(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, REFIID iid, void** out) {
  if (!out) return;
  *out = nullptr;
  if (!bag) return;
  Variant v;
  V_VT(&v) = VT_UNKNOWN;
  if (FAILED(bag->Read(name, &v, log))) return;
  if (FAILED(ObjectFromVariant(v, iid, out))) *out = nullptr;
}

HRESULT BagWriteString(IPropertyBag* bag, const wchar_t* name, const std::wstring& value, const std::wstring& def) {
  if (value == def) return S_OK;
  Variant v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  if (!V_BSTR(&v)) return E_OUTOFMEMORY;
  return WriteVariant(bag, name, v);
}

HRESULT BagWriteBool(IPropertyBag* bag, const wchar_t* name, bool value, bool def) {
  if (value == def) return S_OK;
  Variant v;
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return WriteVariant(bag, name, v);
}

HRESULT BagWriteInt16(IPropertyBag* bag, const wchar_t* name, SHORT value, SHORT def) {
  if (value == def) return S_OK;
  Variant v;
  V_VT(&v) = VT_I2;
  V_I2(&v) = value;
  return WriteVariant(bag, name, v);
}

HRESULT BagWriteInt32(IPropertyBag* bag, const wchar_t* name, LONG value, LONG def) {
  if (value == def) return S_OK;
  Variant v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return WriteVariant(bag, name, v);
}

HRESULT BagWriteObject(IPropertyBag* bag, const wchar_t* name, IUnknown* object) {
  if (!object) return S_OK;
  Variant v;
  V_VT(&v) = VT_UNKNOWN;
  V_UNKNOWN(&v) = object;
  object->AddRef();
  return WriteVariant(bag, name, v);
}

HRESULT StreamWriteObject(IStream* stream, IUnknown* object) {
  if (!stream) return E_POINTER;
  if (!object) return WriteClassStm(stream, CLSID_NULL);
  IPersistStream* persist = nullptr;
  HRESULT hr = object->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
  if (FAILED(hr)) return hr;
  hr = OleSaveToStream(persist, stream);
  persist->Release();
  return hr;
}

HRESULT StreamReadObject(IStream* stream, REFIID iid, void** out) {
  if (!stream || !out) return E_POINTER;
  *out = nullptr;
  LARGE_INTEGER zero{};
  ULARGE_INTEGER start{};
  HRESULT hr = stream->Seek(zero, STREAM_SEEK_CUR, &start);
  if (FAILED(hr)) return hr;
  CLSID clsid{};
  hr = ReadClassStm(stream, &clsid);
  if (FAILED(hr)) return hr;
  if (IsEqualCLSID(clsid, CLSID_NULL)) return S_OK;
  LARGE_INTEGER back{};
  back.QuadPart = static_cast<LONGLONG>(start.QuadPart);
  hr = stream->Seek(back, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) return hr;
  return OleLoadFromStream(stream, iid, out);
}

HRESULT StreamWriteString(IStream* stream, const std::wstring& text) {
  if (!stream) return E_POINTER;
  ULONG chars = static_cast<ULONG>(text.size());
  HRESULT hr = stream->Write(&chars, sizeof chars, nullptr);
  if (FAILED(hr)) return hr;
  if (chars == 0) return S_OK;
  return stream->Write(text.data(), chars * sizeof(wchar_t), nullptr);
}

HRESULT StreamReadString(IStream* stream, std::wstring& text) {
  if (!stream) return E_POINTER;
  ULONG chars = 0, got = 0;
  HRESULT hr = stream->Read(&chars, sizeof chars, &got);
  if (FAILED(hr)) return hr;
  if (got != sizeof chars) return STG_E_READFAULT;
  // A persisted tooltip or address is short; a huge count means a damaged stream.
  if (chars > (1u << 20)) return STG_E_READFAULT;
  std::wstring buffer(chars, L'\0');
  if (chars) {
    ULONG bytes = chars * sizeof(wchar_t);
    hr = stream->Read(buffer.data(), bytes, &got);
    if (FAILED(hr)) return hr;
    if (got != bytes) return STG_E_READFAULT;
  }
  text = std::move(buffer);
  return S_OK;
}

}  // namespace tw::win
