// Reference-counted interfaces in the platform's object model.
//
// Every interface derives from IUnknown and names its identifier with
// KV7_INTERFACE(base, "guid"); QueryInterface answers an interface and every
// interface it derives from. Objects are created with one reference held by
// the creator (MakeCom) and destroy themselves when the last reference is
// released. Reference counts are not atomic: objects live on the UI thread,
// as the system's objects always did. ComPtr holds one reference.
#pragma once

#include <type_traits>
#include <utility>

#include "kv7/platform/guid.h"
#include "kv7/platform/hresult.h"

// Declares the interface's identifier and its base, for QueryInterface.
#define KV7_INTERFACE(BaseInterface, iidText)                 \
  using Base = BaseInterface;                                 \
  static constexpr IID iid() { return kv7::MakeGuid(iidText); }

struct IUnknown {
  static constexpr IID iid() {
    return kv7::MakeGuid("00000000-0000-0000-C000-000000000046");
  }
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Late-bound automation: members are named by dispatch identifiers.
using DISPID = LONG;
inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
// A member the object does not have; a call with the wrong arguments.
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000E);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);

class VARIANT;

struct IDispatch : IUnknown {
  KV7_INTERFACE(IUnknown, "00020400-0000-0000-C000-000000000046")

  // The dispatch identifier of a member, by name ignoring case.
  virtual HRESULT GetIDsOfNames(const char16_t* name, DISPID* id) = 0;
  // Gets, puts or calls a member; a put passes the new value as the one
  // argument. *result may be null when no result is wanted.
  virtual HRESULT Invoke(DISPID id, WORD flags, const VARIANT* args, UINT argCount,
                         VARIANT* result) = 0;
};

namespace kv7 {

// Whether interface I is, or derives from, the interface with identifier riid.
template <class I>
constexpr bool InterfaceMatches(REFIID riid) {
  if (riid == I::iid()) return true;
  if constexpr (std::is_same_v<I, IUnknown>) {
    return false;
  } else {
    return InterfaceMatches<typename I::Base>(riid);
  }
}

// Implements IUnknown for a class that derives from the listed interfaces.
// The first interface also serves IUnknown.
template <class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!(TryCast<First>(riid, object) || (TryCast<Rest>(riid, object) || ...)))
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 private:
  template <class I>
  bool TryCast(REFIID riid, void** object) {
    if (!InterfaceMatches<I>(riid)) return false;
    *object = static_cast<I*>(this);
    return true;
  }

  ULONG refs_ = 0;
};

}  // namespace kv7

// A smart pointer that owns one reference to an interface.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.Get())) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // Drops the held reference and returns the address to receive a new one,
  // for out-parameters: obj->get_x(out.Put()).
  T** Put() {
    Reset();
    return &p_;
  }
  // Takes over a reference that the caller already holds.
  void Attach(T* p) {
    Reset();
    p_ = p;
  }
  // Gives up the reference to the caller without releasing it.
  [[nodiscard]] T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Stores a new reference for the caller in *out, as out-parameters require.
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }
  // Queries the held object for interface U.
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (p_ == nullptr) return E_POINTER;
    return p_->QueryInterface(U::iid(), reinterpret_cast<void**>(out->Put()));
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

namespace kv7 {

// Holds the creator's single reference to an object just made with `new`
// (for classes that make their instances themselves).
template <class T>
ComPtr<T> AdoptNew(T* made) {
  ComPtr<T> object;
  object.Attach(made);
  object->AddRef();
  return object;
}

// Creates a COM object holding the creator's single reference.
template <class T, class... Args>
ComPtr<T> MakeCom(Args&&... args) {
  return AdoptNew(new T(std::forward<Args>(args)...));
}

}  // namespace kv7
