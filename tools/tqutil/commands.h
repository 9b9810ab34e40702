// Every command of tqutil and every section of `tqutil status`. Each is
// defined in its family's file; commands.cpp lists them in one table, so
// nothing registers itself at start-up.
#ifndef TOOLS_TQUTIL_COMMANDS_H_
#define TOOLS_TQUTIL_COMMANDS_H_

#include "command.h"

namespace tqutil {

extern const Command kStatusCommand;
extern const Command kPathsCommand;
extern const Command kStoreCommand;
extern const Command kMarketCommand;
extern const Command kHolidaysCommand;
extern const Command kSymbolCommand;
extern const Command kDigestCommand;
extern const Command kConfigCommand;
extern const Command kExpandCommand;
extern const Command kOsCommand;
extern const Command kGuidCommand;
extern const Command kTaskCommand;
extern const Command kProcCommand;
extern const Command kLaunchCommand;
extern const Command kMutexCommand;
extern const Command kLinkCommand;
extern const Command kShortcutCommand;
extern const Command kPinCommand;

extern const StatusSection kLibraryStatus;
extern const StatusSection kFoldersStatus;
extern const StatusSection kSpecialFoldersStatus;
extern const StatusSection kStoreStatus;
extern const StatusSection kMarketStatus;
extern const StatusSection kOsStatus;
extern const StatusSection kGuidStatus;
extern const StatusSection kConfigStatus;

// tqutil launch --standard-user, beside the task command it goes with.
int LaunchAsStandardUser(const std::wstring& path, const wchar_t* parameters);

// In the order of --help.
const std::vector<const Command*>& AllCommands();
// In the order `tqutil status` prints them.
const std::vector<StatusSection>& AllStatusSections();

}  // namespace tqutil

#endif  // TOOLS_TQUTIL_COMMANDS_H_
