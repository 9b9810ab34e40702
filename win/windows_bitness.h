// Two different questions about 64 bits, each answered in one place:
// IsWindows64Bit() is the operating system's width, whatever this process's;
// IsWow64Process() is true only for a 32-bit process on 64-bit Windows (the
// one case where registry views and the system folder are redirected).
#ifndef WIN_WINDOWS_BITNESS_H_
#define WIN_WINDOWS_BITNESS_H_

namespace win {

bool IsWindows64Bit();
bool IsWow64Process();

}  // namespace win

#endif  // WIN_WINDOWS_BITNESS_H_
