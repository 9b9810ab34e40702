// The 32-bit system folder's path for a path inside the 64-bit one.
#ifndef FOUNDATION_WOW64_PATH_H_
#define FOUNDATION_WOW64_PATH_H_

namespace common {

// Rewrites ...:\windows\system32[\...] to ...:\windows\SysWow64[\...] (other
// paths are copied). False for null arguments, capacity 0 or a source that
// does not fit.
bool ConvertToSysWow64Path(const wchar_t* source, wchar_t* destination, unsigned int capacity);

}  // namespace common

#endif  // FOUNDATION_WOW64_PATH_H_
