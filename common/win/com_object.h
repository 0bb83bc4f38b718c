// IUnknown written once: a class lists its interfaces in a QueryInterface table and is created
// as ComObject<Class>, which supplies reference counting and counts live objects for the
// module (DllCanUnloadNow).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace tw::win {

// Live objects and server locks of this module.
void ModuleLock();
void ModuleUnlock();
LONG ModuleLockCount();

struct QiEntry {
  const IID* iid;        // nullptr ends the table
  std::ptrdiff_t offset; // from the object to the interface
};

template <class C, class I>
std::ptrdiff_t InterfaceOffset() {
  // The usual offset computation on a non-null dummy address; only the difference is used.
  constexpr std::intptr_t base = 0x1000;
  return reinterpret_cast<std::intptr_t>(static_cast<I*>(reinterpret_cast<C*>(base))) - base;
}

// One table row: the interface's own IID, or an IID served by a base interface (for example a
// dispinterface id answered by IDispatch).
#define TW_QI_ENTRY(Class, Iface) {&__uuidof(Iface), ::tw::win::InterfaceOffset<Class, Iface>()}
#define TW_QI_ENTRY_AS(Class, iid, Iface) {&(iid), ::tw::win::InterfaceOffset<Class, Iface>()}

// Answers IUnknown with the first row. Adds a reference through the found interface.
HRESULT QueryFromTable(void* object, const QiEntry* table, REFIID iid, void** out);

// The one IUnknown: Base declares `static const QiEntry* QiTable()` and its interfaces.
template <class Base>
class ComObject final : public Base {
 public:
  template <class... Args>
  explicit ComObject(Args&&... args) : Base(std::forward<Args>(args)...) {
    ModuleLock();
  }
  ~ComObject() { ModuleUnlock(); }

  // Creates an object and returns the requested interface; the object is gone on failure.
  template <class... Args>
  static HRESULT Create(REFIID iid, void** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* object = new (std::nothrow) ComObject(std::forward<Args>(args)...);
    if (!object) return E_OUTOFMEMORY;
    object->refs_ = 1;
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    return QueryFromTable(static_cast<Base*>(this), Base::QiTable(), iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

 private:
  LONG refs_ = 0;
};

}  // namespace tw::win
