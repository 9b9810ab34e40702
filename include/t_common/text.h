/// @file
/// The library type and text conversion.
///
/// Narrow text is bytes in a code page (the library itself only produces
/// UTF-8, 65001). Conversions hand the exact length to the system, so embedded
/// NUL code units survive; an impossible conversion gives an empty string.
/// to_lower changes only what the C locale's tolower/towlower change (A-Z in the
/// default locale). Compare looks at the text before the first NUL only:
/// case-sensitive it returns exactly -1, 0 or 1 by unsigned code units, otherwise
/// _wcsicmp's sign.
#ifndef T_COMMON_TEXT_H_
#define T_COMMON_TEXT_H_

#include <string>

#include "t_common/export.h"

/// Exists only as an exported type.
class T_COMMON_API t_common {
 public:
  /// Does nothing.
  t_common();
  /// Does nothing.
  ~t_common();
  /// Does nothing; returns this object.
  t_common& operator=(const t_common&);
};

namespace common {

/// Wide text to narrow text in the code page; empty when impossible.
T_COMMON_API std::string ws2s(const std::wstring& wide, unsigned int code_page = 65001);
/// Narrow text in the code page to wide text; empty when impossible.
T_COMMON_API std::wstring s2ws(const std::string& narrow, unsigned int code_page = 65001);
/// Each byte through tolower.
T_COMMON_API std::string to_lower(const std::string& text);
/// Each code unit through towlower.
T_COMMON_API std::wstring to_lower(const std::wstring& text);
/// Compares the text before the first NUL of each: -1, 0 or 1 case-sensitive,
/// otherwise _wcsicmp's result.
T_COMMON_API int Compare(const std::wstring& a, const std::wstring& b, bool case_sensitive);

}  // namespace common

#endif  // T_COMMON_TEXT_H_
