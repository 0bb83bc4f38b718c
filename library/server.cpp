// Corvala.dll's entry points: the class objects from one table, unloading, and
// self-registration of the classes, their ProgIDs and the embedded type library: machine-wide
// (DllRegisterServer, through HKEY_CLASSES_ROOT) or for the current user only
// (DllInstall "user", under HKCU\Software\Classes, as `regsvr32 /n /i:user`).
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <initializer_list>

#include "common/win/com_object.h"
#include "common/win/com_server.h"
#include "corvala_h.h"
#include "library/corvala_classes.h"
#include "library/type_library_keys.h"

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

// The type library's own keys under a user's classes, as the platform's type library
// registration writes them: the library with its platform's path, flags and help folder, and each
// dispatch interface with the standard marshaler.
constexpr wchar_t kDispatchMarshaler[] = L"{00020420-0000-0000-C000-000000000046}";

HRESULT RegisterTypeLibUnder(HKEY root, ITypeLib* lib, const std::wstring& path, const std::wstring& folder) {
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const std::wstring version = TypeLibVersionKey(attr->wMajorVerNum, attr->wMinorVerNum);
  const std::wstring libKey = L"TypeLib\\" + win::GuidText(attr->guid) + L"\\" + version;
  wchar_t lcid[16];
  wsprintfW(lcid, L"%lx", static_cast<unsigned long>(attr->lcid));
  const WORD flags = attr->wLibFlags;
  const std::wstring libId = win::GuidText(attr->guid);
  lib->ReleaseTLibAttr(attr);

  BSTR name = nullptr;
  BSTR doc = nullptr;
  hr = lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  std::wstring title = doc && *doc ? doc : (name ? name : L"");
  SysFreeString(name);
  SysFreeString(doc);
  hr = win::SetClassesValue(libKey, nullptr, title, root);
  const wchar_t* platform = kTypeLibSysKind == SYS_WIN64 ? L"win64" : L"win32";
  if (SUCCEEDED(hr)) hr = win::SetClassesValue(libKey + L"\\" + lcid + L"\\" + platform, nullptr, path, root);
  if (SUCCEEDED(hr)) hr = win::SetClassesValue(libKey + L"\\FLAGS", nullptr, RegistryHex(flags), root);
  if (SUCCEEDED(hr)) hr = win::SetClassesValue(libKey + L"\\HELPDIR", nullptr, folder, root);
  for (const IID* iid : kInterfaces) {
    if (FAILED(hr)) break;
    ITypeInfo* info = nullptr;
    hr = lib->GetTypeInfoOfGuid(*iid, &info);
    if (FAILED(hr)) break;
    BSTR interfaceName = nullptr;
    hr = info->GetDocumentation(MEMBERID_NIL, &interfaceName, nullptr, nullptr, nullptr);
    info->Release();
    if (FAILED(hr)) break;
    const std::wstring key = L"Interface\\" + win::GuidText(*iid);
    hr = win::SetClassesValue(key, nullptr, interfaceName ? interfaceName : L"", root);
    SysFreeString(interfaceName);
    if (SUCCEEDED(hr)) hr = win::SetClassesValue(key + L"\\ProxyStubClsid", nullptr, kDispatchMarshaler, root);
    if (SUCCEEDED(hr)) hr = win::SetClassesValue(key + L"\\ProxyStubClsid32", nullptr, kDispatchMarshaler, root);
    if (SUCCEEDED(hr)) hr = win::SetClassesValue(key + L"\\TypeLib", nullptr, libId, root);
    if (SUCCEEDED(hr)) hr = win::SetClassesValue(key + L"\\TypeLib", L"Version", version, root);
  }
  return hr;
}

// Removes the interfaces, the type library and the classes from root, whatever of them is there.
HRESULT DeleteRegistration(HKEY root) {
  HRESULT result = S_OK;
  for (const IID* iid : kInterfaces) {
    HRESULT hr = win::DeleteClassesTree(L"Interface\\" + win::GuidText(*iid), root);
    if (FAILED(hr)) result = hr;
  }
  HRESULT hr = win::DeleteClassesTree(L"TypeLib\\" + win::GuidText(LIBID_Corvala), root);
  if (FAILED(hr)) result = hr;
  for (const auto& c : kClasses) {
    hr = win::UnregisterServerClass(c, root);
    if (FAILED(hr)) result = hr;
  }
  return result;
}

// The current user's own classes, HKCU\Software\Classes (never the machine's view).
HKEY OpenUserClasses() {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE | DELETE, nullptr, &h, nullptr);
  return rc == ERROR_SUCCESS ? h : nullptr;
}

HRESULT Unregister() {
  // The type library's own removal first; then whatever of its keys is left.
  UnRegisterTypeLib(LIBID_Corvala, kTypeLibMajor, kTypeLibMinor, LOCALE_NEUTRAL, kTypeLibSysKind);
  return DeleteRegistration(HKEY_CLASSES_ROOT);
}

// The classes, then the type library, under root: the machine's view (HKEY_CLASSES_ROOT, the type
// library through the platform's registration) or a user's classes. A failure takes back what
// was written.
HRESULT Register(const std::wstring& path, HKEY root) {
  const bool machine = root == HKEY_CLASSES_ROOT;
  HRESULT result = S_OK;
  for (const auto& c : kClasses) {
    if (FAILED(win::RegisterServerClass(c, path, LIBID_Corvala, L"1.0", root))) {
      result = SELFREG_E_CLASS;
      break;
    }
  }
  if (SUCCEEDED(result)) {
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (SUCCEEDED(hr)) {
      std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
      hr = machine ? RegisterTypeLib(lib, const_cast<LPOLESTR>(path.c_str()), folder.empty() ? nullptr : folder.data())
                   : RegisterTypeLibUnder(root, lib, path, folder);
      lib->Release();
    }
    if (FAILED(hr)) result = SELFREG_E_TYPELIB;
  }
  if (FAILED(result)) {
    if (machine)
      Unregister();
    else
      DeleteRegistration(root);
  }
  return result;
}

HRESULT RegisterForUser(const std::wstring& path) {
  HKEY root = OpenUserClasses();
  if (!root) return SELFREG_E_CLASS;
  HRESULT result = Register(path, root);
  RegCloseKey(root);
  return result;
}

HRESULT UnregisterForUser() {
  HKEY root = OpenUserClasses();
  if (!root) return SELFREG_E_CLASS;
  HRESULT hr = DeleteRegistration(root);
  RegCloseKey(root);
  return FAILED(hr) ? SELFREG_E_CLASS : S_OK;
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
  return path.empty() ? SELFREG_E_CLASS : corvala::Register(path, HKEY_CLASSES_ROOT);
}

STDAPI DllUnregisterServer() { return FAILED(corvala::Unregister()) ? SELFREG_E_CLASS : S_OK; }

// `regsvr32 /n /i:user` and `regsvr32 /u /n /i:user`: the same registration for the current user
// only, needing no elevation. Without a command line (`regsvr32 /i`, which passes none and calls
// DllRegisterServer or DllUnregisterServer beside it) the default, machine-wide registration.
// Any other command line is refused.
STDAPI DllInstall(BOOL install, PCWSTR commandLine) {
  if (!commandLine || !*commandLine) return install ? DllRegisterServer() : DllUnregisterServer();
  if (lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
  if (!install) return corvala::UnregisterForUser();
  const std::wstring path = win::ModulePath(corvala::Module());
  return path.empty() ? SELFREG_E_CLASS : corvala::RegisterForUser(path);
}
