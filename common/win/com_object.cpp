#include "common/win/com_object.h"

namespace tw::win {

namespace {
LONG g_moduleLocks = 0;
}

void ModuleLock() { InterlockedIncrement(&g_moduleLocks); }
void ModuleUnlock() { InterlockedDecrement(&g_moduleLocks); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&g_moduleLocks, 0, 0); }

HRESULT QueryFromTable(void* object, const QiEntry* table, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!table || !table->iid) return E_NOINTERFACE;
  const QiEntry* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    found = table;
  } else {
    for (const QiEntry* e = table; e->iid; ++e) {
      if (IsEqualIID(iid, *e->iid)) {
        found = e;
        break;
      }
    }
  }
  if (!found) return E_NOINTERFACE;
  auto* unknown = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + found->offset);
  unknown->AddRef();
  *out = unknown;
  return S_OK;
}

}  // namespace tw::win
