/// @file
/// Test mode: a file "ovktest" in the executable's folder (a folder of that
/// name counts too). Whether it exists is decided once per process, by the
/// first call; a thread that calls while that first call is still looking gets
/// false. The test values read section "test" of that file, looked for anew
/// on every call, and give the caller's default when test mode is off, the
/// file is gone or the key is missing. Bool and Int take the leading decimal
/// digits (GetPrivateProfileIntW): "no" reads as false whatever the default.
#ifndef T_COMMON_TEST_MODE_H_
#define T_COMMON_TEST_MODE_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// True when the test file exists, as decided by the process's first call.
T_COMMON_API bool IsTestMode();
/// A test value read as a number, non-zero meaning true.
T_COMMON_API bool GetTestValueBool(const wchar_t* key, bool default_value);
/// A test value read as a number.
T_COMMON_API int GetTestValueInt(const wchar_t* key, int default_value);
/// A test value as text, at most 259 characters. A null default reads as empty.
T_COMMON_API std::wstring GetTestValueString(const wchar_t* key, const wchar_t* default_value);

}  // namespace common

#endif  // T_COMMON_TEST_MODE_H_
