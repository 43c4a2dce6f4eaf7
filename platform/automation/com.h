#pragma once
// A small component object model: reference-counted objects reached through
// interfaces identified by IIDs, dispatch by id, connection points for
// events, class factories, and the control-site contract between a control
// and its host.

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"
#include "platform/automation/type_info.h"
#include "platform/automation/variant.h"
#include "platform/user/canvas.h"
#include "platform/user/message_loop.h"

namespace platform {

extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IConnectionPointContainer;
extern const IID IID_IConnectionPoint;
extern const IID IID_IClassFactory;
extern const IID IID_IPersistPropertyBag;
extern const IID IID_IOleControl;
extern const IID IID_IPropertyPage;
extern const IID IID_IProvideClassInfo;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyPut = 4 };

class IDispatch : public IUnknown {
 public:
  // The description of the interface this object dispatches.
  virtual const InterfaceDesc* GetTypeInfo() = 0;
  virtual HRESULT GetIDOfName(std::string_view name, DISPID* id) = 0;
  virtual HRESULT Invoke(DISPID id, InvokeKind kind, std::span<const Variant> args, Variant* result) = 0;

 protected:
  ~IDispatch() = default;
};

class IConnectionPoint : public IUnknown {
 public:
  virtual IID GetConnectionInterface() = 0;
  virtual HRESULT Advise(IDispatch* sink, std::uint32_t* cookie) = 0;
  virtual HRESULT Unadvise(std::uint32_t cookie) = 0;

 protected:
  ~IConnectionPoint() = default;
};

class IConnectionPointContainer : public IUnknown {
 public:
  virtual HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// Named values the host stores for a control.
class IPropertyBag {
 public:
  virtual std::optional<Variant> Read(std::string_view name) = 0;
  virtual void Write(std::string_view name, const Variant& value) = 0;

 protected:
  ~IPropertyBag() = default;
};

class IPersistPropertyBag : public IUnknown {
 public:
  // Resets the persistent properties to their defaults.
  virtual HRESULT InitNew() = 0;
  virtual HRESULT Load(IPropertyBag& bag) = 0;
  virtual HRESULT Save(IPropertyBag& bag, bool clearDirty) = 0;
  virtual bool IsDirty() = 0;

 protected:
  ~IPersistPropertyBag() = default;
};

// What the host offers the control it sites.
class IControlSite {
 public:
  // The container's user-mode ambient: true when running, false in design.
  virtual bool AmbientUserMode() = 0;
  // A property changed (design-mode notification).
  virtual void OnControlPropertyChanged(DISPID id) = 0;

 protected:
  ~IControlSite() = default;
};

class IOleControl : public IUnknown {
 public:
  virtual void SetClientSite(IControlSite* site) = 0;
  // The control's own window (created on the host's thread).
  virtual HWND Window() = 0;
  // A paint request for the control's rectangle.
  virtual void Draw(Canvas& canvas, const Rect& bounds) = 0;

 protected:
  ~IOleControl() = default;
};

// The class an object belongs to, with its default and source interfaces.
class IProvideClassInfo : public IUnknown {
 public:
  virtual const CoClassDesc* GetClassInfo() = 0;

 protected:
  ~IProvideClassInfo() = default;
};

class IPropertyPage : public IUnknown {
 public:
  virtual std::string Caption() = 0;
  virtual std::string Text() = 0;

 protected:
  ~IPropertyPage() = default;
};

// Owning interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() {
    if (p_) p_->Release();
  }
  // Takes over a reference the caller already holds.
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  // Takes a reference of its own.
  static ComPtr Share(T* p) {
    if (p) p->AddRef();
    return Attach(p);
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: releases what is held and hands out the slot.
  void** Out() {
    *this = nullptr;
    return reinterpret_cast<void**>(&p_);
  }
  template <typename U>
  ComPtr<U> As(const IID& iid) const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, out.Out());
    return out;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace platform
