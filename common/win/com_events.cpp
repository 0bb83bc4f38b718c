#include "common/win/com_events.h"

#include <olectl.h>

#include <new>

#include "common/win/com_object.h"

namespace tw::win {

namespace {

// The unknown behind one listed item, for its references.
inline IUnknown* Unknown(const CONNECTDATA& c) { return c.pUnk; }
inline IUnknown* Unknown(IConnectionPoint* p) { return p; }

// An enumerator over a copy (with references) of what it lists.
template <class Interface, class Item>
class Enumerator : public Interface {
 public:
  explicit Enumerator(std::vector<Item> items, ULONG pos = 0) : items_(std::move(items)), pos_(pos) {
    for (auto& item : items_) Unknown(item)->AddRef();
  }
  virtual ~Enumerator() {
    for (auto& item : items_) Unknown(item)->Release();
  }
  static const QiEntry* QiTable() {
    static const QiEntry table[] = {TW_QI_ENTRY(Enumerator, Interface), {nullptr, 0}};
    return table;
  }
  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      out[n] = items_[pos_++];
      Unknown(out[n])->AddRef();
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    ULONG left = static_cast<ULONG>(items_.size()) - pos_;
    if (count > left) {
      pos_ = static_cast<ULONG>(items_.size());
      return S_FALSE;
    }
    pos_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    pos_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** out) override {
    return ComObject<Enumerator>::Create(__uuidof(Interface), reinterpret_cast<void**>(out), items_, pos_);
  }

 private:
  std::vector<Item> items_;
  ULONG pos_;
};

using ConnectionEnum = Enumerator<IEnumConnections, CONNECTDATA>;
using PointEnum = Enumerator<IEnumConnectionPoints, IConnectionPoint*>;

}  // namespace

ConnectionPoint::ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, REFIID iid)
    : owner_(owner), container_(container), iid_(iid) {}

ConnectionPoint::~ConnectionPoint() { DisconnectAll(); }

void ConnectionPoint::DisconnectAll() {
  std::vector<Sink> sinks;
  sinks.swap(sinks_);
  for (auto& s : sinks) s.unknown->Release();
}

std::vector<IUnknown*> ConnectionPoint::Snapshot() const {
  std::vector<IUnknown*> out;
  out.reserve(sinks_.size());
  for (const auto& s : sinks_) {
    s.unknown->AddRef();
    out.push_back(s.unknown);
  }
  return out;
}

void ConnectionPoint::Fire(DISPID id, const VARIANT* args, UINT argCount) {
  if (sinks_.empty()) return;
  std::vector<VARIANT> reversed(argCount);
  for (UINT i = 0; i < argCount; ++i) reversed[argCount - 1 - i] = args[i];
  for (IUnknown* unknown : Snapshot()) {
    // Each sink gets its own copy: a handler may change by-value arguments it was given.
    std::vector<VARIANT> copy(reversed);
    DISPPARAMS params{copy.empty() ? nullptr : copy.data(), nullptr, argCount, 0};
    auto* sink = static_cast<IDispatch*>(unknown);
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    unknown->Release();
  }
}

void ConnectionPoint::NotifyChanged(DISPID id) {
  for (IUnknown* unknown : Snapshot()) {
    static_cast<IPropertyNotifySink*>(unknown)->OnChanged(id);
    unknown->Release();
  }
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = container_;
  container_->AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  IUnknown* typed = nullptr;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&typed))) || !typed) {
    // Event interfaces are dispinterfaces: a sink that offers only IDispatch is accepted.
    if (IsEqualIID(iid_, IID_IPropertyNotifySink) ||
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&typed))) || !typed) {
      return CONNECT_E_CANNOTCONNECT;
    }
  }
  DWORD c = nextCookie_++;
  sinks_.push_back({c, typed});
  *cookie = c;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie == cookie) {
      IUnknown* unknown = it->unknown;
      sinks_.erase(it);
      unknown->Release();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (!out) return E_POINTER;
  std::vector<CONNECTDATA> items;
  for (const auto& s : sinks_) items.push_back(CONNECTDATA{s.unknown, s.cookie});
  return ComObject<ConnectionEnum>::Create(IID_IEnumConnections, reinterpret_cast<void**>(out), std::move(items));
}

HRESULT FindPoint(ConnectionPoint* const* points, UINT count, REFIID iid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (UINT i = 0; i < count; ++i) {
    if (IsEqualIID(points[i]->iid(), iid)) {
      *out = points[i];
      points[i]->AddRef();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EnumPoints(ConnectionPoint* const* points, UINT count, IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  std::vector<IConnectionPoint*> items(points, points + count);
  return ComObject<PointEnum>::Create(IID_IEnumConnectionPoints, reinterpret_cast<void**>(out), std::move(items));
}

ByRefArgs::~ByRefArgs() {
  for (UINT i = 0; i < count_; ++i) {
    if (V_VT(&args_[i]) == (VT_BSTR | VT_BYREF)) SysFreeString(values_[i].b);
  }
}

ByRefArgs::Slot* ByRefArgs::Add(VARTYPE vt) {
  if (count_ == kMax) return nullptr;  // no event of the library carries more
  VARIANT& v = args_[count_];
  VariantInit(&v);
  V_VT(&v) = static_cast<VARTYPE>(vt | VT_BYREF);
  Slot* slot = &values_[count_++];
  V_BYREF(&v) = slot;
  return slot;
}

ByRefArgs& ByRefArgs::Long(LONG value) {
  if (Slot* slot = Add(VT_I4)) slot->l = value;
  return *this;
}

ByRefArgs& ByRefArgs::Short(SHORT value) {
  if (Slot* slot = Add(VT_I2)) slot->s = value;
  return *this;
}

ByRefArgs& ByRefArgs::Float(float value) {
  if (Slot* slot = Add(VT_R4)) slot->f = value;
  return *this;
}

ByRefArgs& ByRefArgs::Text(const std::wstring& value) {
  return Text(SysAllocStringLen(value.data(), static_cast<UINT>(value.size())));
}

ByRefArgs& ByRefArgs::Text(BSTR value) {
  if (Slot* slot = Add(VT_BSTR)) {
    slot->b = value;
  } else {
    SysFreeString(value);
  }
  return *this;
}

}  // namespace tw::win
