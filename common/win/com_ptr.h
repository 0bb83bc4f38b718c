// A small owning holder for COM interface pointers.
#pragma once

#include <unknwn.h>

#include <memory>
#include <utility>

namespace tw::win {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference.
  explicit ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
  ComPtr(const ComPtr& o) : p_(o.p_) { if (p_) p_->AddRef(); }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& o) {
    if (this != std::addressof(o)) {
      T* old = p_;
      p_ = o.p_;
      if (p_) p_->AddRef();
      if (old) old->Release();
    }
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != std::addressof(o)) {
      Reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }

  // Adopts a reference the caller already owns.
  void Attach(T* p) {
    Reset();
    p_ = p;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held first, so nothing leaks.
  T** operator&() {
    Reset();
    return &p_;
  }
  T** Put() { return &*this; }

  template <class U>
  HRESULT As(ComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(&out));
  }
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, reinterpret_cast<void**>(&out));
  }

 private:
  T* p_ = nullptr;
};

// Propagates a failed HRESULT to the caller.
#define TW_RINOK(expr)            \
  do {                            \
    HRESULT tw_hr_ = (expr);      \
    if (FAILED(tw_hr_)) return tw_hr_; \
  } while (0)

}  // namespace tw::win
