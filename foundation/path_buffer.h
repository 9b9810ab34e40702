// Copies into a caller's buffer: at most capacity-1 characters and a NUL;
// capacity 0 leaves the buffer untouched. Cutting is silent.
#ifndef FOUNDATION_PATH_BUFFER_H_
#define FOUNDATION_PATH_BUFFER_H_

#include <cwchar>

namespace common {

inline void CopyToCallerBuffer(const wchar_t* text, wchar_t* buffer, unsigned int capacity) {
  if (!buffer || capacity == 0) return;
  const size_t length = std::wcslen(text);
  const size_t count = length < capacity - 1 ? length : capacity - 1;
  std::wmemcpy(buffer, text, count);
  buffer[count] = L'\0';
}

}  // namespace common

#endif  // FOUNDATION_PATH_BUFFER_H_
