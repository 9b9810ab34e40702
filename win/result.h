// How the library's internal functions report failure: they return the code of
// the call that failed, as an HRESULT (Win32 codes through HRESULT_FROM_WIN32),
// and the exported functions that promise only a bool turn it into one with
// ReportResult, leaving the thread's last error as the failing call set it.
//
//   HRESULT OpenThing(...) {
//     if (!::SomeCall(...)) return win::LastErrorAsHresult();
//     ...
//   }
//   bool ExportedThing(...) { return win::ReportResult(OpenThing(...)); }
#ifndef WIN_RESULT_H_
#define WIN_RESULT_H_

#include <windows.h>

namespace win {

// The thread's last error as an HRESULT; E_FAIL when a call failed without one.
inline HRESULT LastErrorAsHresult() {
  const DWORD error = ::GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// True for a success code. On failure the last error becomes the Win32 code
// inside a FACILITY_WIN32 result, or the HRESULT itself for any other.
inline bool ReportResult(HRESULT result) {
  if (SUCCEEDED(result)) return true;
  ::SetLastError(HRESULT_FACILITY(result) == FACILITY_WIN32 ? static_cast<DWORD>(HRESULT_CODE(result))
                                                            : static_cast<DWORD>(result));
  return false;
}

}  // namespace win

#endif  // WIN_RESULT_H_
