#include "common/win/com_dispatch.h"

#include <cwchar>
#include <vector>

namespace tw::win {

HRESULT IdsFromTable(const DispName* table, std::size_t count, LPOLESTR* names, UINT nameCount, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (nameCount == 0) return S_OK;
  HRESULT hr = DISP_E_UNKNOWNNAME;
  ids[0] = DISPID_UNKNOWN;
  for (std::size_t i = 0; i < count && names[0]; ++i) {
    if (_wcsicmp(names[0], table[i].name) == 0) {
      ids[0] = table[i].id;
      hr = S_OK;
      break;
    }
  }
  for (UINT i = 1; i < nameCount; ++i) {
    ids[i] = DISPID_UNKNOWN;
    hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

UINT PositionalCount(const DISPPARAMS* params) {
  if (!params || params->cArgs < params->cNamedArgs) return 0;
  return params->cArgs - params->cNamedArgs;
}

namespace {

// Copies `src` (dereferencing VT_BYREF) and coerces it to `vt`.
HRESULT Coerce(const VARIANT* src, VARTYPE vt, VARIANT* out) {
  Variant direct;
  HRESULT hr = VariantCopyInd(&direct, const_cast<VARIANT*>(src));
  if (FAILED(hr)) return hr;
  VariantClear(out);
  if (vt == VT_VARIANT) return VariantCopy(out, &direct);
  return VariantChangeType(out, &direct, 0, vt);
}

bool IsMissing(const VARIANT* v) {
  const VARIANT* d = v;
  if (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) d = V_VARIANTREF(v);
  return V_VT(d) == VT_ERROR && V_ERROR(d) == DISP_E_PARAMNOTFOUND;
}

}  // namespace

HRESULT ReadArg(const DISPPARAMS* params, UINT index, VARTYPE vt, VARIANT* out, UINT* argErr) {
  UINT positional = PositionalCount(params);
  if (index >= positional) return DISP_E_PARAMNOTFOUND;
  UINT slot = params->cArgs - 1 - index;
  if (IsMissing(&params->rgvarg[slot])) return DISP_E_PARAMNOTFOUND;
  HRESULT hr = Coerce(&params->rgvarg[slot], vt, out);
  if (FAILED(hr)) {
    if (argErr) *argErr = slot;
    return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT ReadOptionalArg(const DISPPARAMS* params, UINT index, VARTYPE vt, VARIANT* out, UINT* argErr) {
  HRESULT hr = ReadArg(params, index, vt, out, argErr);
  if (hr == DISP_E_PARAMNOTFOUND) {
    VariantClear(out);
    return S_OK;
  }
  return hr;
}

HRESULT ReadPutValue(const DISPPARAMS* params, VARTYPE vt, VARIANT* out, UINT* argErr) {
  if (!params || params->cArgs < 1 || params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
      params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
    return DISP_E_PARAMNOTOPTIONAL;
  }
  HRESULT hr = Coerce(&params->rgvarg[0], vt, out);
  if (FAILED(hr)) {
    if (argErr) *argErr = 0;
    return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT ObjectFromVariant(const VARIANT& value, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const VARIANT* v = &value;
  if (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  IUnknown* unknown = nullptr;
  switch (V_VT(v)) {
    case VT_EMPTY:
    case VT_NULL: return S_OK;
    case VT_DISPATCH: unknown = V_DISPATCH(v); break;
    case VT_UNKNOWN: unknown = V_UNKNOWN(v); break;
    case VT_DISPATCH | VT_BYREF: unknown = V_DISPATCHREF(v) ? *V_DISPATCHREF(v) : nullptr; break;
    case VT_UNKNOWN | VT_BYREF: unknown = V_UNKNOWNREF(v) ? *V_UNKNOWNREF(v) : nullptr; break;
    default: return DISP_E_TYPEMISMATCH;
  }
  if (!unknown) return S_OK;
  HRESULT hr = unknown->QueryInterface(iid, out);
  return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (n < path.size()) break;
    path.resize(path.size() * 2);
  }
  return LoadTypeLibEx(path.data(), REGKIND_NONE, out);
}

HRESULT ModuleTypeInfo(HMODULE module, REFGUID guid, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadModuleTypeLib(module, &lib);
  if (FAILED(hr)) return hr;
  hr = lib->GetTypeInfoOfGuid(guid, out);
  lib->Release();
  return hr;
}

HRESULT InvokeById(IDispatch* target, DISPID id, WORD flags, const VARIANT* args, UINT argCount,
                   VARIANT* result, EXCEPINFO* error) {
  if (!target) return E_POINTER;
  std::vector<VARIANT> reversed(argCount);
  for (UINT i = 0; i < argCount; ++i) reversed[argCount - 1 - i] = args[i];
  DISPPARAMS params{};
  params.cArgs = argCount;
  params.rgvarg = argCount ? reversed.data() : nullptr;
  DISPID named = DISPID_PROPERTYPUT;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.cNamedArgs = 1;
    params.rgdispidNamedArgs = &named;
  }
  UINT argErr = 0;
  return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, error, &argErr);
}

}  // namespace tw::win
