// The pieces of the drive queries that need no device: device paths, the
// request blocks as they go to the driver, and the rewrite of the text fields
// of an IDENTIFY DEVICE block (the device stores two characters a word, high
// byte first, padded with blanks).
#ifndef SYSINFO_DRIVE_IDENTITY_H_
#define SYSINFO_DRIVE_IDENTITY_H_

#include <string>
#include <vector>

#include "t_common/machine_identity.h"

namespace common {

constexpr unsigned long kSmartReceiveDriveData = 0x7C088;
constexpr unsigned long kScsiMiniport = 0x4D008;
constexpr unsigned long kScsiMiniportIdentify = 0x1B0501;
constexpr unsigned char kAtaIdentifyDevice = 0xEC;
constexpr size_t kSmartInputBytes = 32;    // SENDCMDINPARAMS without its data byte
constexpr size_t kSmartOutputBytes = 528;  // SENDCMDOUTPARAMS header and 512 data bytes
constexpr size_t kSmartOutputDataOffset = 16;
constexpr size_t kScsiHeaderBytes = 28;    // SRB_IO_CONTROL
constexpr size_t kScsiBlockBytes = 556;
constexpr size_t kScsiDataOffset = 44;

// Swaps each byte pair, moves the text over its leading blanks (blank-filling
// the end) and turns the trailing blanks into NULs. Width is even.
void RewriteIdentifyTextField(char* field, size_t width);
// Serial number, model number, firmware revision, in that order.
void RewriteIdentifyTextFields(Utils::_IDINFO* info);
// A rewritten field's text: up to its first NUL or its width.
std::string IdentifyFieldText(const char* field, size_t width);

std::wstring PhysicalDrivePath(int drive);  // \\.\PhysicalDrive<drive>
std::wstring ScsiPortPath(int drive);       // \\.\Scsi<drive/2>:

// SMART_RCV_DRIVE_DATA's input (32 bytes) and output (528 bytes) blocks.
std::vector<unsigned char> SmartIdentifyInput();
std::vector<unsigned char> SmartIdentifyOutput();
// IOCTL_SCSI_MINIPORT's block (556 bytes) asking target drive%2.
std::vector<unsigned char> ScsiIdentifyBlock(int drive);

}  // namespace common

#endif  // SYSINFO_DRIVE_IDENTITY_H_
