// COM ownership: an interface pointer, a BSTR, a VARIANT, and the thread's
// COM initialisation. Declare them in acquisition order so that scope exit
// releases in reverse.
#ifndef FOUNDATION_SCOPED_COM_H_
#define FOUNDATION_SCOPED_COM_H_

#include <windows.h>
#include <oleauto.h>
#include <objbase.h>

#include <utility>

namespace common {

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ~ComPtr() { reset(); }

  Interface* get() const { return ptr_; }
  Interface* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For calls that hand out a new reference; releases what was held.
  Interface** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (ptr_) ptr_->Release();
    ptr_ = nullptr;
  }
  template <typename Other>
  HRESULT As(ComPtr<Other>& other) const {
    return ptr_ ? ptr_->QueryInterface(__uuidof(Other), other.put_void()) : E_POINTER;
  }

 private:
  Interface* ptr_ = nullptr;
};

class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(const wchar_t* text) : bstr_(text ? ::SysAllocString(text) : nullptr) {}
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr() { reset(); }

  BSTR get() const { return bstr_; }
  BSTR* put() {
    reset();
    return &bstr_;
  }
  void reset() {
    if (bstr_) ::SysFreeString(bstr_);
    bstr_ = nullptr;
  }

 private:
  BSTR bstr_ = nullptr;
};

class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&variant_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { ::VariantClear(&variant_); }

  VARIANT* get() { return &variant_; }
  const VARIANT& ref() const { return variant_; }

 private:
  VARIANT variant_;
};

// Initialises COM on this thread when it was not, and undoes only what it did.
class ScopedComInitializer {
 public:
  explicit ScopedComInitializer(DWORD model = COINIT_APARTMENTTHREADED)
      : hr_(::CoInitializeEx(nullptr, model)) {}
  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;
  ~ScopedComInitializer() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  // True when COM is usable on this thread (also when another model was set).
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

}  // namespace common

#endif  // FOUNDATION_SCOPED_COM_H_
