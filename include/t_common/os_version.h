/// @file
/// Which Windows the process runs on.
///
/// The OS version code condenses the native version numbers: bits 8-15 name the
/// family (compare code & kOsFamilyMask with the kOsFamily values), bits 0-7 the
/// edition, bit 19 (kOsVersion64Bit) a 64-bit system. The architecture is always
/// the native one, so a 32-bit process on 64-bit Windows sees "_x64" and
/// ", 64-bit". Text functions return 0 and leave the buffer untouched when it is
/// null or below its minimum capacity (descriptions 256, short tags 20) or when
/// no version can be read. The Is...OrLater answers are cached once known.
#ifndef T_COMMON_OS_VERSION_H_
#define T_COMMON_OS_VERSION_H_

#include <windows.h>

#include "t_common/export.h"

namespace common {

constexpr unsigned long kOsFamilyMask = 0xFF00;  ///< the bits of a code that name the family
constexpr unsigned long kOsFamilyWin32s = 0x0100;  ///< Win32s
constexpr unsigned long kOsFamilyWin95 = 0x0200;  ///< Windows 95
constexpr unsigned long kOsFamilyWin98 = 0x0300;  ///< Windows 98
constexpr unsigned long kOsFamilyWinMe = 0x0400;  ///< Windows Me
constexpr unsigned long kOsFamilyNt3 = 0x1000;  ///< Windows NT 3
constexpr unsigned long kOsFamilyNt4 = 0x1100;  ///< Windows NT 4
constexpr unsigned long kOsFamily2000 = 0x1200;  ///< Windows 2000
constexpr unsigned long kOsFamilyXp = 0x1300;  ///< XP Professional x64 included
constexpr unsigned long kOsFamily2003 = 0x1400;  ///< Server 2003
constexpr unsigned long kOsFamilyVista = 0x1500;  ///< and Server 2008, 2008 R2
constexpr unsigned long kOsFamilyWin7 = 0x1600;  ///< Windows 7
constexpr unsigned long kOsFamilyWin8 = 0x1700;  ///< Windows 8
constexpr unsigned long kOsFamilyWin81 = 0x1800;  ///< Windows 8.1
constexpr unsigned long kOsFamilyWin10 = 0x1900;  ///< 6.4 and 10.0
constexpr unsigned long kOsFamilyNtAbove6 = 0x2000;  ///< NT versions above those
constexpr unsigned long kOsVersion64Bit = 0x80000;  ///< set in a code for a 64-bit system

/// GetVersionExW/A that read the native version (ntdll) for the 276/284 and
/// 148/156 byte records, so compatibility shims cannot lower it. Other sizes go
/// straight to the system. On failure the wide form writes `"1_<error>"` or
/// `"2_<error>"` (hex) over the record when the record's size field leaves room.
///@{
T_COMMON_API int BV_GetVersionExW(OSVERSIONINFOW* info);
T_COMMON_API int BV_GetVersionExA(OSVERSIONINFOA* info);
///@}

/// 1 and the code and build (each output may be null), 0 when no version could
/// be read.
T_COMMON_API int BV_GetOSVersion(unsigned long* code, unsigned long* build);

/// "Microsoft Windows 7 Ultimate, 64-bit Service Pack 1 (Build 7601)".
///@{
T_COMMON_API int BV_GetOSVersionDescW(wchar_t* buffer, unsigned long capacity);
T_COMMON_API int BV_GetOSVersionDescA(char* buffer, unsigned long capacity);
///@}
/// "win7_x64", "win2008_r2_x64", "winxp_x64"; the A forms use the ANSI code page.
///@{
T_COMMON_API int BV_GetMiniOSVersionDescW(wchar_t* buffer, unsigned long capacity);
T_COMMON_API int BV_GetMiniOSVersionDescA(char* buffer, unsigned long capacity);
///@}

/// True on Windows XP or later.
T_COMMON_API bool IsXpOrLater();
/// True on Windows Vista or later.
T_COMMON_API bool IsVistaOrLater();
/// True on Windows 7 or later; false on Server 2008 R2 (family kOsFamilyVista).
T_COMMON_API bool IsWin7OrLater();
/// True on Windows 8 or later.
T_COMMON_API bool IsWin8OrLater();

/// True when the process runs on 64-bit Windows; false whenever it cannot tell.
T_COMMON_API bool IsX64System();

}  // namespace common

#endif  // T_COMMON_OS_VERSION_H_
