// Small helpers for talking COM from C++: owned interface pointers, BSTRs
// and VARIANTs, and UTF-8/UTF-16 conversion. Nothing here throws on its own
// except the conversions' std::bad_alloc.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace lczs::win {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
std::string narrow_bstr(BSTR s);  // uses the length prefix; null gives ""

// An owned reference to a COM interface.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to p.
  explicit ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
  ComPtr(const ComPtr& o) : p_(o.p_) { if (p_) p_->AddRef(); }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
  ~ComPtr() { reset(); }

  // Adopts a reference the caller already owns.
  static ComPtr adopt(T* p) { ComPtr c; c.p_ = p; return c; }

  void reset() { if (p_) std::exchange(p_, nullptr)->Release(); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and returns the slot.
  T** put() { reset(); return &p_; }
  T* detach() { return std::exchange(p_, nullptr); }

  template <class U>
  ComPtr<U> query(REFIID iid) const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
    return out;
  }

 private:
  T* p_ = nullptr;
};

// The IUnknown identity of an object (for comparing two references).
IUnknown* identity(IUnknown* p);

// An owned VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant& o) { VariantInit(&v_); VariantCopy(&v_, const_cast<VARIANT*>(&o.v_)); }
  Variant(Variant&& o) noexcept { v_ = o.v_; VariantInit(&o.v_); }
  Variant& operator=(Variant o) noexcept { std::swap(v_, o.v_); return *this; }
  ~Variant() { VariantClear(&v_); }

  static Variant empty() { return {}; }
  static Variant missing();  // an omitted optional argument
  static Variant i4(long v);
  static Variant r8(double v);
  static Variant boolean(bool b);
  static Variant str(std::string_view utf8);
  static Variant dispatch(IDispatch* d);  // takes a new reference
  static Variant error(SCODE s);

  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARTYPE vt() const { return v_.vt; }
  VARIANT detach() { VARIANT out = v_; VariantInit(&v_); return out; }

 private:
  VARIANT v_;
};

// RAII for CoInitialize in a scope.
class ComApartment {
 public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() { if (SUCCEEDED(hr_)) CoUninitialize(); }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT hr_;
};

}  // namespace lczs::win
