// The one way the library's routines report a failing step to the program
// log: the step's own format with the failing code, "%x" for hexadecimal or
// "%d" for a signed decimal HRESULT, exactly as the client's log readers
// expect. The code comes back, so a step reads
//
//   if (FAILED(hr)) return LogFailedStep(L"Cannot get Root Folder pointer: %x", hr);
#ifndef FOUNDATION_FAILURE_LOG_H_
#define FOUNDATION_FAILURE_LOG_H_

#include <windows.h>

#include "t_base/program_log.h"

namespace common {

inline HRESULT LogFailedStep(const wchar_t* format, HRESULT code) {
  WriteProgramLogNoMask(format, code);
  return code;
}

}  // namespace common

#endif  // FOUNDATION_FAILURE_LOG_H_
