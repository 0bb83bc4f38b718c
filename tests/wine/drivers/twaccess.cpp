// Reads a running window's accessible tree as a screen reader does (AccessibleObjectFromWindow,
// AccessibleChildren) and can invoke one object's default action.
//   twaccess tree <hwnd>          one record per object: depth, role, name, state, value
//   twaccess do <hwnd> <name>     the default action of the first object named <name>
#include <windows.h>
#include <oleacc.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/wine/drivers/driver_support.h"

namespace {

std::wstring Text(IAccessible* acc, VARIANT child, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
  BSTR s = nullptr;
  std::wstring out;
  if (SUCCEEDED((acc->*get)(child, &s)) && s) out.assign(s, SysStringLen(s));
  SysFreeString(s);
  return out;
}

long Number(IAccessible* acc, VARIANT child, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) {
  VARIANT v;
  VariantInit(&v);
  long out = -1;
  if (SUCCEEDED((acc->*get)(child, &v)) && V_VT(&v) == VT_I4) out = V_I4(&v);
  VariantClear(&v);
  return out;
}

VARIANT Self(long id) { return twd::Number<VT_I4>(id); }

using Visit = std::function<bool(IAccessible*, long, int)>;
bool Walk(IAccessible* acc, long id, int depth, const Visit& visit);

bool WalkWindow(HWND hwnd, int depth, const Visit& visit) {
  IAccessible* acc = nullptr;
  if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                        reinterpret_cast<void**>(&acc))) || !acc)
    return true;
  bool go = Walk(acc, CHILDID_SELF, depth, visit);
  acc->Release();
  return go;
}

bool Described(IAccessible* acc) {
  VARIANT role;
  VariantInit(&role);
  const bool ok = SUCCEEDED(acc->get_accRole(Self(CHILDID_SELF), &role)) && V_VT(&role) == VT_I4;
  VariantClear(&role);
  return ok;
}

// Calls `visit(object, child id, depth)` for every object under `acc`, depth first; stops when
// `visit` says so. Where a window's standard object lists its child windows only as numbers it
// cannot describe, or as window objects it cannot describe (Wine's do both), the child windows'
// client objects are read in their place, as the platform's window objects would give them.
bool Walk(IAccessible* acc, long id, int depth, const Visit& visit) {
  if (!visit(acc, id, depth)) return false;
  if (id != CHILDID_SELF || depth > 24) return true;
  long count = 0;
  if (FAILED(acc->get_accChildCount(&count))) count = 0;
  std::vector<VARIANT> kids(static_cast<std::size_t>(count > 0 ? count : 0));
  long got = 0;
  if (count > 0 && FAILED(AccessibleChildren(acc, 0, count, kids.data(), &got))) got = 0;
  bool go = true, objects = false;
  for (long i = 0; i < got; ++i) {
    if (go && V_VT(&kids[i]) == VT_DISPATCH && V_DISPATCH(&kids[i])) {
      objects = true;
      IAccessible* child = nullptr;
      if (SUCCEEDED(V_DISPATCH(&kids[i])->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&child)))) {
        HWND w = nullptr;
        if (!Described(child) && SUCCEEDED(WindowFromAccessibleObject(child, &w)) && w) {
          go = WalkWindow(w, depth + 1, visit);
        } else {
          go = Walk(child, CHILDID_SELF, depth + 1, visit);
        }
        child->Release();
      }
    } else if (go && V_VT(&kids[i]) == VT_I4) {
      VARIANT role;
      VariantInit(&role);
      if (SUCCEEDED(acc->get_accRole(kids[i], &role)) && V_VT(&role) == VT_I4)
        go = Walk(acc, V_I4(&kids[i]), depth + 1, visit);
      VariantClear(&role);
    }
    VariantClear(&kids[i]);
  }
  HWND hwnd = nullptr;
  if (go && !objects && SUCCEEDED(WindowFromAccessibleObject(acc, &hwnd)) && hwnd) {
    for (HWND c = GetWindow(hwnd, GW_CHILD); go && c; c = GetWindow(c, GW_HWNDNEXT))
      if (IsWindowVisible(c)) go = WalkWindow(c, depth + 1, visit);
  }
  return go;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  CoInitialize(nullptr);
  HWND hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(_wcstoi64(argv[2], nullptr, 0)));
  IAccessible* root = nullptr;
  HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&root));
  if (FAILED(hr) || !root) {
    twd::PutHex("error", static_cast<unsigned long>(hr));
    return 1;
  }
  const std::wstring verb = argv[1];
  int rc = 0;
  if (verb == L"tree") {
    Walk(root, CHILDID_SELF, 0, [](IAccessible* acc, long id, int depth) {
      VARIANT child = Self(id);
      twd::PutInt("depth", depth);
      twd::PutInt("role", Number(acc, child, &IAccessible::get_accRole));
      twd::PutHex("state", static_cast<unsigned long>(Number(acc, child, &IAccessible::get_accState)));
      twd::Put("name", twd::Utf8(Text(acc, child, &IAccessible::get_accName)));
      twd::Put("value", twd::Utf8(Text(acc, child, &IAccessible::get_accValue)));
      twd::Put("action", twd::Utf8(Text(acc, child, &IAccessible::get_accDefaultAction)));
      HWND w = nullptr;
      wchar_t cls[64] = {};
      if (id == CHILDID_SELF && SUCCEEDED(WindowFromAccessibleObject(acc, &w)) && w) GetClassNameW(w, cls, 64);
      twd::Put("class", twd::Utf8(cls));
      twd::Out("\n");
      return true;
    });
  } else if (verb == L"do" && argc > 3) {
    const std::wstring name = argv[3];
    hr = E_FAIL;
    Walk(root, CHILDID_SELF, 0, [&](IAccessible* acc, long id, int) {
      if (Text(acc, Self(id), &IAccessible::get_accName) != name) return true;
      hr = acc->accDoDefaultAction(Self(id));
      return false;
    });
    twd::PutHex("result", static_cast<unsigned long>(hr));
    rc = SUCCEEDED(hr) ? 0 : 1;
  } else {
    rc = 2;
  }
  root->Release();
  CoUninitialize();
  return rc;
}
