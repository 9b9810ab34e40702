#include "calendar/local_time.h"

#include <time.h>

namespace common {

bool BreakDownLocalTime(__int64 time, std::tm& fields) {
  const __time64_t value = time;
  return _localtime64_s(&fields, &value) == 0;
}

__int64 MakeLocalTime(std::tm& fields) {
  fields.tm_isdst = -1;
  return _mktime64(&fields);
}

}  // namespace common
