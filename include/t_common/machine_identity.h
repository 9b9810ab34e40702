/// @file
/// A stable identifier of the computer.
///
/// getGUID derives it on every call: `"<model>_<serial>"` of the first physical
/// disk's ATA IDENTIFY DEVICE data (characters outside A-Z a-z 0-9 - become X),
/// or, when the disk does not answer, `"<cpuid flags>_<cpuid signature>_<VOLSER>"`
/// (machine GUID instead of the CPUID part when CPUID says nothing). A result
/// that does not fit is cut to capacity-1 characters.
/// GetUserGuid keeps the lower-cased identifier under HKCU
/// `"Software\Brovanta\Tessaquill"` "guid" behind its CRC-32 (8 hex digits) and
/// derives it again only when the stored copy is missing or damaged. It returns
/// false only for a null or empty buffer or one without room for the identifier
/// and its NUL; an unreadable or unwritable registry just means no storing.
/// The drive functions return non-zero and the IDENTIFY DEVICE block with its
/// serial, firmware and model fields in readable order, left-aligned and
/// NUL-padded; 0 when the device cannot be opened or does not answer.
#ifndef T_COMMON_MACHINE_IDENTITY_H_
#define T_COMMON_MACHINE_IDENTITY_H_

#include "t_common/export.h"

namespace common {

/// The machine identifier, kept in the registry; see above.
T_COMMON_API bool GetUserGuid(wchar_t* buffer, unsigned long capacity);

/// Beyond the client's interface, for diagnostics (tqutil guid): GetUserGuid,
/// telling where the identifier came from.
enum class MachineIdSource {
  kRegistry,  ///< the stored value was valid
  kDisk,      ///< derived from the first physical disk
  kFallback,  ///< derived from CPUID and the volume serial
};
/// GetUserGuid, and where the identifier came from in *source.
T_COMMON_API bool GetUserGuidWithSource(wchar_t* buffer, unsigned long capacity, MachineIdSource* source);

namespace Utils {

/// The ATA IDENTIFY DEVICE block: 256 little-endian words.
struct _IDINFO {
  unsigned short wGenConfig;          ///< word 0
  unsigned short wNumCyls;            ///< word 1
  unsigned short wReserved2;          ///< word 2
  unsigned short wNumHeads;           ///< word 3
  unsigned short wReserved4[2];       ///< words 4-5
  unsigned short wNumSectorsPerTrack; ///< word 6
  unsigned short wVendorUnique[3];    ///< words 7-9
  char sSerialNumber[20];             ///< words 10-19
  unsigned short wReserved20[3];      ///< words 20-22
  char sFirmwareRev[8];               ///< words 23-26
  char sModelNumber[40];              ///< words 27-46
  unsigned short wMoreWords[209];     ///< words 47-255
};
static_assert(sizeof(_IDINFO) == 512, "IDENTIFY DEVICE data is 512 bytes");

/// The identifier derived anew, cut to capacity-1 characters.
T_COMMON_API void getGUID(wchar_t* buffer, unsigned int capacity);
/// `\\.\PhysicalDrive<drive>` through SMART_RCV_DRIVE_DATA.
T_COMMON_API int GetPhysicalDriveInfoInNT(int drive, _IDINFO* info);
/// `\\.\Scsi<drive/2>`: target drive%2, through IOCTL_SCSI_MINIPORT.
T_COMMON_API int GetIdeDriveAsScsiInfoInNT(int drive, _IDINFO* info);

}  // namespace Utils
}  // namespace common

#endif  // T_COMMON_MACHINE_IDENTITY_H_
