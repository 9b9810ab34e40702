/// @file
/// The distribution channel: the first line of ".channel" in the executable's
/// folder, read as UTF-8 on every call (CRLF reads as LF; a byte-order mark
/// stays as U+FEFF). An empty first line gives "", no file "unknow".
#ifndef T_COMMON_CHANNEL_H_
#define T_COMMON_CHANNEL_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// The channel file's first line; "unknow" when there is no file.
T_COMMON_API std::wstring GetChannel();

}  // namespace common

#endif  // T_COMMON_CHANNEL_H_
