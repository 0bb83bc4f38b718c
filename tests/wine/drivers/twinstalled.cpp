// Test driver: looks at what the installer package left in the system. Prints key=value lines
// (UTF-8).
//
//   twinstalled progid <ProgID>         CLSIDFromProgID, the registered server, CoCreateInstance
//                                       for IDispatch, and its type information
//   twinstalled typelib <libid> <major> <minor>   LoadRegTypeLib and the registered path
//   twinstalled tree <key> [HKCU|HKLM]  every key and value under a key of HKEY_CLASSES_ROOT (or
//                                       the root named), one line each: "key=<path>" or
//                                       "value=<path>|<name>|<data>"
//   twinstalled trees <HKCR|HKLM|HKCU> <key>...   the same for several keys of one root
//   twinstalled exists <HKCR|HKLM|HKCU> <key>     exists=1/0
//   twinstalled products <UpgradeCode>  the installed products of that upgrade code with their
//                                       version and installation folder
//   twinstalled open <target>           ShellExecuteW "open" on a file or address; result=
//   twinstalled shortcut <file.lnk>     the shortcut's target= and workdir= (IShellLinkW)
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include "tests/wine/drivers/driver_support.h"

namespace {

using twd::GuidText;
using twd::Out;
using twd::Utf8;

void Line(const char* key, const std::wstring& value) { Out(std::string(key) + "=" + Utf8(value) + "\n"); }

void Hr(const char* key, HRESULT hr) {
  char buf[64];
  snprintf(buf, sizeof buf, "%s=0x%08lx\n", key, static_cast<unsigned long>(hr));
  Out(buf);
}

std::wstring DefaultValue(HKEY root, const std::wstring& key) {
  wchar_t buf[1024] = {};
  LONG size = sizeof buf;
  if (RegQueryValueW(root, key.c_str(), buf, &size) != ERROR_SUCCESS) return L"";
  return buf;
}

int ProgId(const wchar_t* progId) {
  HRESULT hr = CoInitialize(nullptr);
  CLSID clsid{};
  hr = CLSIDFromProgID(progId, &clsid);
  Hr("progid_hr", hr);
  if (FAILED(hr)) return 1;
  Line("clsid", GuidText(clsid));
  Line("server", DefaultValue(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(clsid) + L"\\InprocServer32"));
  IDispatch* disp = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&disp));
  Hr("create_hr", hr);
  if (SUCCEEDED(hr)) {
    ITypeInfo* info = nullptr;
    hr = disp->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    Hr("typeinfo_hr", hr);
    if (SUCCEEDED(hr)) {
      BSTR name = nullptr;
      if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) && name) {
        Line("interface", name);
        SysFreeString(name);
      }
      info->Release();
    }
    disp->Release();
  }
  CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 1;
}

int TypeLib(const wchar_t* libid, int major, int minor) {
  GUID g{};
  if (FAILED(CLSIDFromString(libid, &g))) return 2;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadRegTypeLib(g, static_cast<WORD>(major), static_cast<WORD>(minor), LOCALE_NEUTRAL, &lib);
  Hr("load_hr", hr);
  if (lib) lib->Release();
  BSTR path = nullptr;
  if (SUCCEEDED(QueryPathOfRegTypeLib(g, static_cast<WORD>(major), static_cast<WORD>(minor), LOCALE_NEUTRAL,
                                      &path))) {
    Line("path", path);
    SysFreeString(path);
  }
  return SUCCEEDED(hr) ? 0 : 1;
}

void Tree(HKEY root, const std::wstring& path) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return;
  Line("key", path);
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLen = 512, type = 0, size = 0;
    BYTE data[4096];
    size = sizeof data;
    if (RegEnumValueW(h, i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::wstring text;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      text.assign(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
    } else if (type == REG_DWORD) {
      text = L"#" + std::to_wstring(*reinterpret_cast<const DWORD*>(data));
    } else {
      text = L"?type" + std::to_wstring(type);
    }
    Line("value", path + L"|" + name + L"|" + text);
  }
  for (DWORD i = 0;; ++i) {
    wchar_t child[512];
    DWORD len = 512;
    if (RegEnumKeyExW(h, i, child, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Tree(root, path + L"\\" + child);
  }
  RegCloseKey(h);
}

HKEY Root(const std::wstring& name) {
  return name == L"HKLM" ? HKEY_LOCAL_MACHINE : name == L"HKCU" ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
}

int Exists(const std::wstring& rootName, const wchar_t* key) {
  HKEY root = Root(rootName);
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExW(root, key, 0, KEY_READ, &h);
  if (rc == ERROR_SUCCESS) RegCloseKey(h);
  Out(rc == ERROR_SUCCESS ? "exists=1\n" : "exists=0\n");
  return 0;
}

// msi.dll is loaded at run time: the driver needs two of its functions only.
int Products(const wchar_t* upgradeCode) {
  HMODULE msi = LoadLibraryW(L"msi.dll");
  if (!msi) return 2;
  using EnumRelated = UINT(WINAPI*)(LPCWSTR, DWORD, DWORD, LPWSTR);
  using GetInfo = UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
  auto enumRelated = reinterpret_cast<EnumRelated>(reinterpret_cast<void*>(GetProcAddress(msi, "MsiEnumRelatedProductsW")));
  auto getInfo = reinterpret_cast<GetInfo>(reinterpret_cast<void*>(GetProcAddress(msi, "MsiGetProductInfoW")));
  if (!enumRelated || !getInfo) return 2;
  for (DWORD i = 0;; ++i) {
    wchar_t code[39] = {};
    if (enumRelated(upgradeCode, 0, i, code) != ERROR_SUCCESS) break;
    Line("product", code);
    for (const wchar_t* prop : {L"VersionString", L"InstallLocation", L"ProductName"}) {
      wchar_t value[1024] = {};
      DWORD len = 1024;
      if (getInfo(code, prop, value, &len) == ERROR_SUCCESS) Line(Utf8(prop).c_str(), value);
    }
    Out("\n");
  }
  return 0;
}

int Shortcut(const wchar_t* file) {
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link));
  if (SUCCEEDED(hr)) {
    IPersistFile* persist = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
    if (SUCCEEDED(hr)) {
      hr = persist->Load(file, STGM_READ);
      persist->Release();
    }
    if (SUCCEEDED(hr)) {
      wchar_t path[MAX_PATH] = {};
      if (SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH))) Line("target", path);
      wchar_t dir[MAX_PATH] = {};
      if (SUCCEEDED(link->GetWorkingDirectory(dir, MAX_PATH))) Line("workdir", dir);
    }
    link->Release();
  }
  Hr("load_hr", hr);
  CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring cmd = argv[1];
  if (cmd == L"progid" && argc >= 3) return ProgId(argv[2]);
  if (cmd == L"typelib" && argc >= 5) return TypeLib(argv[2], _wtoi(argv[3]), _wtoi(argv[4]));
  if (cmd == L"tree" && argc >= 3) {
    Tree(Root(argc >= 4 ? argv[3] : L"HKCR"), argv[2]);
    return 0;
  }
  if (cmd == L"trees" && argc >= 4) {
    for (int i = 3; i < argc; ++i) Tree(Root(argv[2]), argv[i]);
    return 0;
  }
  if (cmd == L"exists" && argc >= 4) return Exists(argv[2], argv[3]);
  if (cmd == L"products" && argc >= 3) return Products(argv[2]);
  if (cmd == L"shortcut" && argc >= 3) return Shortcut(argv[2]);
  if (cmd == L"open" && argc >= 3) {
    INT_PTR r = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", argv[2], nullptr, nullptr, SW_SHOWNORMAL));
    Out("result=" + std::to_string(static_cast<long long>(r)) + "\n");
    return r > 32 ? 0 : 1;
  }
  return 2;
}
