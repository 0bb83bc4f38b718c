// Corvala.dll's entry points: the class objects from one table, unloading, and
// self-registration of the classes, their ProgIDs and the embedded type library.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <initializer_list>

#include "common/win/com_object.h"
#include "common/win/com_server.h"
#include "corvala_h.h"
#include "library/corvala_classes.h"

namespace tw::corvala {

namespace {

HMODULE g_module = nullptr;

const win::ServerClass kClasses[] = {
    {&CLSID_Cmd_, L"Corvala.Cmd_", L"Corvala.Cmd_", CreateImageButton, true, kImageButtonMiscStatus},
    {&CLSID_DFiles, L"Corvala.DFiles", L"Corvala.DFiles", CreateDownloadControl, true, kDownloadControlMiscStatus},
};
constexpr std::size_t kClassCount = sizeof kClasses / sizeof kClasses[0];

// The interfaces the type library registers; removed with it.
const IID* const kInterfaces[] = {&DIID__Cmd_, &DIID___Cmd_, &DIID__DFiles, &DIID___DFiles};

constexpr WORD kTypeLibMajor = 1;
constexpr WORD kTypeLibMinor = 0;
// The type library registers under the platform of the server that holds it.
#ifdef _WIN64
constexpr SYSKIND kTypeLibSysKind = SYS_WIN64;
#else
constexpr SYSKIND kTypeLibSysKind = SYS_WIN32;
#endif

HRESULT Unregister() {
  HRESULT result = S_OK;
  // The type library's own removal first; then whatever of its keys is left.
  UnRegisterTypeLib(LIBID_Corvala, kTypeLibMajor, kTypeLibMinor, LOCALE_NEUTRAL, kTypeLibSysKind);
  for (const IID* iid : kInterfaces) {
    HRESULT hr = win::DeleteClassesTree(L"Interface\\" + win::GuidText(*iid));
    if (FAILED(hr)) result = hr;
  }
  HRESULT hr = win::DeleteClassesTree(L"TypeLib\\" + win::GuidText(LIBID_Corvala));
  if (FAILED(hr)) result = hr;
  for (const auto& c : kClasses) {
    hr = win::UnregisterServerClass(c);
    if (FAILED(hr)) result = hr;
  }
  return result;
}

}  // namespace

HMODULE Module() { return g_module; }

}  // namespace tw::corvala

using namespace tw;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    corvala::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return win::GetClassObjectFromTable(corvala::kClasses, corvala::kClassCount, clsid, iid, out);
}

STDAPI DllCanUnloadNow() {
  if (win::ModuleLockCount() != 0) return S_FALSE;
  for (const wchar_t* name : {corvala::kImageButtonWindowClass, corvala::kDownloadControlWindowClass}) {
    UnregisterClassW(name, corvala::Module());
  }
  return S_OK;
}

STDAPI DllRegisterServer() {
  const std::wstring path = win::ModulePath(corvala::Module());
  if (path.empty()) return SELFREG_E_CLASS;
  for (const auto& c : corvala::kClasses) {
    if (FAILED(win::RegisterServerClass(c, path, LIBID_Corvala, L"1.0"))) {
      corvala::Unregister();
      return SELFREG_E_CLASS;
    }
  }
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
  if (SUCCEEDED(hr)) {
    std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    hr = RegisterTypeLib(lib, const_cast<LPOLESTR>(path.c_str()), folder.empty() ? nullptr : folder.data());
    lib->Release();
  }
  if (FAILED(hr)) {
    corvala::Unregister();
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() { return FAILED(corvala::Unregister()) ? SELFREG_E_CLASS : S_OK; }
