// Outgoing interfaces: a connection point per event interface, owned by its object, and the
// container part that finds and enumerates them. Events are fired by dispatch id.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <string>
#include <vector>

namespace tw::win {

// A connection point living inside its owner: its reference count is the owner's.
class ConnectionPoint final : public IConnectionPoint {
 public:
  // `owner` is the owning object's IUnknown; `container` its IConnectionPointContainer.
  ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, REFIID iid);
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;
  ~ConnectionPoint();

  const IID& iid() const { return iid_; }
  bool HasSinks() const { return !sinks_.empty(); }

  // Calls every connected IDispatch sink with DISPATCH_METHOD. `args` are in declared order.
  // Sinks connected or disconnected by a handler take effect from the next event.
  void Fire(DISPID id, const VARIANT* args = nullptr, UINT argCount = 0);
  // Tells every connected IPropertyNotifySink that a property changed.
  void NotifyChanged(DISPID id);
  // Drops every connection (the owner is going away).
  void DisconnectAll();

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) override;

 private:
  struct Sink {
    DWORD cookie;
    IUnknown* unknown;  // holds a reference to the interface `iid_`
  };
  std::vector<IUnknown*> Snapshot() const;

  IUnknown* owner_;
  IConnectionPointContainer* container_;
  IID iid_;
  std::vector<Sink> sinks_;
  DWORD nextCookie_ = 1;
};

// IConnectionPointContainer::FindConnectionPoint and EnumConnectionPoints over the owner's points.
HRESULT FindPoint(ConnectionPoint* const* points, UINT count, REFIID iid, IConnectionPoint** out);
HRESULT EnumPoints(ConnectionPoint* const* points, UINT count, IEnumConnectionPoints** out);

// Event arguments passed by reference, in declared order: a handler may change them. Strings are
// freed after the event (whichever one a handler left in place).
class ByRefArgs {
 public:
  ByRefArgs() = default;
  ByRefArgs(const ByRefArgs&) = delete;
  ByRefArgs& operator=(const ByRefArgs&) = delete;
  ~ByRefArgs();

  ByRefArgs& Long(LONG value);
  ByRefArgs& Short(SHORT value);
  ByRefArgs& Float(float value);
  ByRefArgs& Text(const std::wstring& value);
  // Takes ownership of an already built string.
  ByRefArgs& Text(BSTR value);

  const VARIANT* args() const { return args_; }
  UINT count() const { return count_; }

 private:
  static constexpr UINT kMax = 4;
  union Slot {
    LONG l;
    SHORT s;
    float f;
    BSTR b;
  };
  Slot* Add(VARTYPE vt);
  Slot values_[kMax]{};
  VARIANT args_[kMax]{};
  UINT count_ = 0;
};

}  // namespace tw::win
