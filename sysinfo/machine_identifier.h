// How the machine identifier is composed and kept, apart from the hardware
// and the registry, plus the derivation with its source for diagnostics.
#ifndef SYSINFO_MACHINE_IDENTIFIER_H_
#define SYSINFO_MACHINE_IDENTIFIER_H_

#include <string>

#include "t_common/machine_identity.h"

namespace common {

// "<model>_<serial>" of a rewritten IDENTIFY DEVICE block, every character
// outside A-Z a-z 0-9 - replaced by X.
std::wstring DiskIdentifier(const Utils::_IDINFO& info);
// "<features>_<signature>" in decimal; empty when either is 0.
std::wstring CpuMachinePart(unsigned int features, unsigned int signature);
// "<machine part>_<VOLUME SERIAL as 8 hex digits>".
std::wstring FallbackIdentifier(const std::wstring& machine_part, unsigned long volume_serial);

// The registry form: CRC-32 of the identifier's UTF-16LE bytes as 8 lower-case
// hex digits, then the identifier.
std::wstring StoredGuidText(const std::wstring& identifier);
// The lower-cased identifier of a stored value whose check value matches;
// false for anything else (8 characters or fewer, wrong check value).
bool IdentifierFromStoredGuid(const std::wstring& stored, std::wstring* identifier);

// getGUID's identifier and whether it came from the disk or the fallback.
std::wstring DeriveMachineIdentifier(MachineIdSource* source);

}  // namespace common

#endif  // SYSINFO_MACHINE_IDENTIFIER_H_
