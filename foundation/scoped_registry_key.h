// Owns an open registry key and closes it once.
#ifndef FOUNDATION_SCOPED_REGISTRY_KEY_H_
#define FOUNDATION_SCOPED_REGISTRY_KEY_H_

#include <windows.h>

#include <utility>

namespace common {

class ScopedRegistryKey {
 public:
  ScopedRegistryKey() = default;
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey(ScopedRegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  ~ScopedRegistryKey() { reset(); }

  // RegOpenKeyExW / RegCreateKeyExW; the result is the system's status code.
  LONG Open(HKEY parent, const wchar_t* subkey, REGSAM access) {
    reset();
    return ::RegOpenKeyExW(parent, subkey, 0, access, &key_);
  }
  // disposition, when given, tells whether the key was new (REG_CREATED_NEW_KEY).
  LONG Create(HKEY parent, const wchar_t* subkey, REGSAM access, DWORD* disposition = nullptr) {
    reset();
    return ::RegCreateKeyExW(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_,
                             disposition);
  }

  bool valid() const { return key_ != nullptr; }
  HKEY get() const { return key_; }
  void reset() {
    if (key_) ::RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace common

#endif  // FOUNDATION_SCOPED_REGISTRY_KEY_H_
