#include "common/win/com_server.h"

#include <vector>

#include "common/win/com_object.h"

namespace tw::win {

namespace {

class ClassFactory : public IClassFactory {
 public:
  explicit ClassFactory(CreateFn create) : create_(create) {}
  virtual ~ClassFactory() = default;
  static const QiEntry* QiTable() {
    static const QiEntry table[] = {TW_QI_ENTRY(ClassFactory, IClassFactory), {nullptr, 0}};
    return table;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      ModuleLock();
    } else {
      ModuleUnlock();
    }
    return S_OK;
  }

 private:
  CreateFn create_;
};

}  // namespace

HRESULT GetClassObjectFromTable(const ServerClass* classes, std::size_t count, REFCLSID clsid, REFIID iid,
                                void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (IsEqualCLSID(clsid, *classes[i].clsid)) {
      return ComObject<ClassFactory>::Create(iid, out, classes[i].create);
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  int n = StringFromGUID2(guid, text, 40);
  return n > 0 ? std::wstring(text, static_cast<std::size_t>(n - 1)) : std::wstring();
}

std::wstring ModulePath(HMODULE module) {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) return std::wstring(path.data(), n);
    path.resize(path.size() * 2);
  }
}

HRESULT SetClassesValue(const std::wstring& key, const wchar_t* valueName, const std::wstring& value, HKEY root) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &h,
                            nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  rc = RegSetValueExW(h, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return HRESULT_FROM_WIN32(rc);
}

HRESULT DeleteClassesTree(const std::wstring& key, HKEY root) {
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WRITE | DELETE, &h);
  if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  // Children first, then the key itself.
  for (;;) {
    wchar_t child[256];
    DWORD len = 256;
    rc = RegEnumKeyExW(h, 0, child, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    HRESULT hr = DeleteClassesTree(key + L"\\" + child, root);
    if (FAILED(hr)) {
      RegCloseKey(h);
      return hr;
    }
  }
  RegCloseKey(h);
  rc = RegDeleteKeyW(root, key.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT RegisterServerClass(const ServerClass& c, const std::wstring& modulePath, REFGUID typeLib,
                            const wchar_t* typeLibVersion, HKEY root) {
  const std::wstring clsidKey = L"CLSID\\" + GuidText(*c.clsid);
  HRESULT hr = SetClassesValue(clsidKey, nullptr, c.description, root);
  if (SUCCEEDED(hr)) hr = SetClassesValue(clsidKey + L"\\InprocServer32", nullptr, modulePath, root);
  if (SUCCEEDED(hr)) hr = SetClassesValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment", root);
  if (SUCCEEDED(hr)) hr = SetClassesValue(clsidKey + L"\\ProgID", nullptr, c.progId, root);
  if (SUCCEEDED(hr)) hr = SetClassesValue(clsidKey + L"\\TypeLib", nullptr, GuidText(typeLib), root);
  if (SUCCEEDED(hr)) hr = SetClassesValue(clsidKey + L"\\Version", nullptr, typeLibVersion, root);
  if (SUCCEEDED(hr) && c.control) {
    hr = SetClassesValue(clsidKey + L"\\Control", nullptr, L"", root);
    if (SUCCEEDED(hr)) hr = SetClassesValue(clsidKey + L"\\MiscStatus", nullptr, L"0", root);
    if (SUCCEEDED(hr)) {
      hr = SetClassesValue(clsidKey + L"\\MiscStatus\\1", nullptr, std::to_wstring(c.miscStatus), root);
    }
  }
  if (SUCCEEDED(hr)) hr = SetClassesValue(c.progId, nullptr, c.description, root);
  if (SUCCEEDED(hr)) hr = SetClassesValue(std::wstring(c.progId) + L"\\CLSID", nullptr, GuidText(*c.clsid), root);
  return hr;
}

HRESULT UnregisterServerClass(const ServerClass& c, HKEY root) {
  HRESULT a = DeleteClassesTree(L"CLSID\\" + GuidText(*c.clsid), root);
  HRESULT b = DeleteClassesTree(c.progId, root);
  return FAILED(a) ? a : b;
}

}  // namespace tw::win
