// An in-process server's plumbing: one class factory driven by a table of classes, and the
// registry entries of self-registration (written under a classes root, removed whole): the
// machine's view HKEY_CLASSES_ROOT, or an open HKCU\Software\Classes for one user's own.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <string>

namespace tw::win {

using CreateFn = HRESULT (*)(REFIID iid, void** out);

struct ServerClass {
  const CLSID* clsid;
  const wchar_t* progId;       // "Library.Class"
  const wchar_t* description;  // default value of the class key
  CreateFn create;
  bool control;                // an ActiveX control: "Control" and "MiscStatus" entries
  DWORD miscStatus;            // OLEMISC_* flags of a control
};

// DllGetClassObject over a class table.
HRESULT GetClassObjectFromTable(const ServerClass* classes, std::size_t count, REFCLSID clsid, REFIID iid,
                                void** out);

std::wstring GuidText(REFGUID guid);
std::wstring ModulePath(HMODULE module);

// Classes root helpers. Setting creates the key; deleting removes the key and everything under it
// and succeeds when it is already gone.
HRESULT SetClassesValue(const std::wstring& key, const wchar_t* valueName, const std::wstring& value,
                        HKEY root = HKEY_CLASSES_ROOT);
HRESULT DeleteClassesTree(const std::wstring& key, HKEY root = HKEY_CLASSES_ROOT);

// Writes CLSID\{id} (InprocServer32 with apartment threading, ProgID, TypeLib, Version and for a
// control Control, MiscStatus) and the ProgID key. Unregistering removes exactly these keys.
HRESULT RegisterServerClass(const ServerClass& c, const std::wstring& modulePath, REFGUID typeLib,
                            const wchar_t* typeLibVersion, HKEY root = HKEY_CLASSES_ROOT);
HRESULT UnregisterServerClass(const ServerClass& c, HKEY root = HKEY_CLASSES_ROOT);

}  // namespace tw::win
