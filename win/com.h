// COM ownership: the calling thread's initialisation, an interface pointer, a
// BSTR and a VARIANT. Declare them in acquisition order so that scope exit
// releases in reverse, as COM expects.
#ifndef WIN_COM_H_
#define WIN_COM_H_

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace win {

// Initialises COM on this thread and undoes exactly what it did: a call that
// succeeded (S_OK, or S_FALSE when the thread already had the same model) is
// balanced by CoUninitialize; RPC_E_CHANGED_MODE leaves the thread as it was.
class ScopedComInitializer {
 public:
  // Initialises later, through Initialize(), or never.
  ScopedComInitializer() = default;
  explicit ScopedComInitializer(DWORD model) { Initialize(model); }
  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;
  ~ScopedComInitializer() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }

  HRESULT Initialize(DWORD model = COINIT_APARTMENTTHREADED) {
    if (SUCCEEDED(hr_)) return hr_;
    hr_ = ::CoInitializeEx(nullptr, model);
    return hr_;
  }
  // True when this object brought COM up on a thread that had none.
  bool initialized_by_this_call() const { return hr_ == S_OK; }
  // True when COM is usable on this thread (also when another model was set).
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_ = CO_E_NOTINITIALIZED;
};

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    reset();
    ptr_ = std::exchange(other.ptr_, nullptr);
    return *this;
  }
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
    if (ptr_) std::exchange(ptr_, nullptr)->Release();
  }
  template <typename Other>
  HRESULT As(ComPtr<Other>* other) const {
    return ptr_ ? ptr_->QueryInterface(__uuidof(Other), other->put_void()) : E_POINTER;
  }

 private:
  Interface* ptr_ = nullptr;
};

class ScopedBstr {
 public:
  ScopedBstr() = default;
  // A null text gives a null BSTR, which COM reads as an empty string.
  explicit ScopedBstr(const wchar_t* text) : bstr_(text ? ::SysAllocString(text) : nullptr) {}
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr() { reset(); }

  BSTR get() const { return bstr_; }
  BSTR* receive() {
    reset();
    return &bstr_;
  }
  void reset() {
    if (bstr_) ::SysFreeString(std::exchange(bstr_, nullptr));
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

  VARIANT* receive() {
    ::VariantClear(&variant_);
    return &variant_;
  }
  const VARIANT& get() const { return variant_; }

 private:
  VARIANT variant_;
};

}  // namespace win

#endif  // WIN_COM_H_
