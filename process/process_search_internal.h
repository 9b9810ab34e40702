// The pause between the passes of TerminateApp and TerminateAppIgnoreSelf,
// replaceable so that tests can count pauses instead of timing them.
#ifndef PROCESS_PROCESS_SEARCH_INTERNAL_H_
#define PROCESS_PROCESS_SEARCH_INTERNAL_H_

#include <windows.h>

namespace common {
namespace process_search_internal {

using PauseFunction = void (*)(DWORD milliseconds);

// Installs pause (null restores Sleep) and returns the one it replaces.
PauseFunction SetPauseForTesting(PauseFunction pause);

}  // namespace process_search_internal
}  // namespace common

#endif  // PROCESS_PROCESS_SEARCH_INTERNAL_H_
