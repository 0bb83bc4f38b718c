// IDispatch from a table: names map to dispatch ids, Invoke switches on the id and reads its
// arguments through these helpers (DISPPARAMS holds them in reverse order, possibly by reference).
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <string>

namespace tw::win {

// An owned VARIANT, empty and with its value zeroed: a caller that sets only the type before a
// read that fails (a property bag without the value) must leave nothing for VariantClear to free.
// VariantInit alone sets only the type on older systems.
class Variant : public VARIANT {
 public:
  Variant() : VARIANT() { VariantInit(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(this); }
  void Clear() { VariantClear(this); }
};

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* text) : s_(SysAllocString(text)) {}
  explicit Bstr(const std::wstring& text)
      : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(s_); }
  BSTR Get() const { return s_; }
  BSTR Detach() {
    BSTR s = s_;
    s_ = nullptr;
    return s;
  }

 private:
  BSTR s_ = nullptr;
};

struct DispName {
  const wchar_t* name;
  DISPID id;
};

// GetIDsOfNames from a table (names compare without regard to case). Only the member name is
// known; further names (parameters) are reported as unknown.
HRESULT IdsFromTable(const DispName* table, std::size_t count, LPOLESTR* names, UINT nameCount, DISPID* ids);

// Number of positional arguments.
UINT PositionalCount(const DISPPARAMS* params);

// Reads positional argument `index` (0 = first declared) coerced to `vt` into `out`.
// Fails with DISP_E_PARAMNOTFOUND when it is missing and sets *argErr on a type mismatch.
HRESULT ReadArg(const DISPPARAMS* params, UINT index, VARTYPE vt, VARIANT* out, UINT* argErr);
// Like ReadArg, but a missing or VT_ERROR/DISP_E_PARAMNOTFOUND argument leaves `out` empty.
HRESULT ReadOptionalArg(const DISPPARAMS* params, UINT index, VARTYPE vt, VARIANT* out, UINT* argErr);

// The value of a property put or put-by-reference (the DISPID_PROPERTYPUT argument).
HRESULT ReadPutValue(const DISPPARAMS* params, VARTYPE vt, VARIANT* out, UINT* argErr);

// An object argument (VT_DISPATCH or VT_UNKNOWN, possibly by reference) queried for `iid`.
// Nothing (empty, null or a null object) gives *out = nullptr and S_OK.
HRESULT ObjectFromVariant(const VARIANT& value, REFIID iid, void** out);

// Loads the type library embedded in a module (resource 1) without registering it.
HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** out);
HRESULT ModuleTypeInfo(HMODULE module, REFGUID guid, ITypeInfo** out);

// Client side: calls a member by dispatch id; `args` are in declared order.
HRESULT InvokeById(IDispatch* target, DISPID id, WORD flags, const VARIANT* args, UINT argCount,
                   VARIANT* result, EXCEPINFO* error = nullptr);

}  // namespace tw::win
