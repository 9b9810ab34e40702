#include "commands.h"

namespace tqutil {

const std::vector<const Command*>& AllCommands() {
  static const std::vector<const Command*> commands = {
      &kConfigCommand,
      &kDigestCommand,
      &kExpandCommand,
      &kGuidCommand,
      &kHolidaysCommand,
      &kLaunchCommand,
      &kLinkCommand,
      &kMarketCommand,
      &kMutexCommand,
      &kOsCommand,
      &kPathsCommand,
      &kPinCommand,
      &kProcCommand,
      &kShortcutCommand,
      &kStatusCommand,
      &kStoreCommand,
      &kSymbolCommand,
      &kTaskCommand,
  };
  return commands;
}

const std::vector<StatusSection>& AllStatusSections() {
  static const std::vector<StatusSection> sections = {
      kLibraryStatus, kFoldersStatus, kSpecialFoldersStatus, kStoreStatus,
      kMarketStatus,  kOsStatus,      kGuidStatus,           kConfigStatus,
  };
  return sections;
}

}  // namespace tqutil
