#include "sysinfo/drive_identity.h"

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "win/scoped_handle.h"

namespace common {
namespace {

static_assert(SMART_RCV_DRIVE_DATA == kSmartReceiveDriveData, "SMART_RCV_DRIVE_DATA");
static_assert(IOCTL_SCSI_MINIPORT == kScsiMiniport, "IOCTL_SCSI_MINIPORT");
static_assert(sizeof(SENDCMDINPARAMS) - 1 == kSmartInputBytes, "SENDCMDINPARAMS");
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == kSmartOutputDataOffset, "SENDCMDOUTPARAMS");
static_assert(sizeof(SRB_IO_CONTROL) == kScsiHeaderBytes, "SRB_IO_CONTROL");
static_assert(kScsiDataOffset == kScsiHeaderBytes + kSmartOutputDataOffset, "SCSI data offset");
static_assert(kScsiBlockBytes == kScsiHeaderBytes + kSmartOutputBytes, "SCSI block");
static_assert(offsetof(Utils::_IDINFO, sSerialNumber) == 20 && offsetof(Utils::_IDINFO, sFirmwareRev) == 46 &&
                  offsetof(Utils::_IDINFO, sModelNumber) == 54,
              "IDENTIFY DEVICE text fields");

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr WORD kIdentifyDataBytes = sizeof(Utils::_IDINFO);

win::ScopedHandle OpenDevice(const std::wstring& path) {
  return win::ScopedHandle(::CreateFileW(path.c_str(), kReadWrite, kShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr));
}

void FillIdentifyCommand(SENDCMDINPARAMS* command, BYTE drive_number) {
  command->irDriveRegs.bCommandReg = kAtaIdentifyDevice;
  command->bDriveNumber = drive_number;
}

}  // namespace

void RewriteIdentifyTextField(char* field, size_t width) {
  for (size_t i = 0; i + 1 < width; i += 2) std::swap(field[i], field[i + 1]);
  size_t leading = 0;
  while (leading < width && field[leading] == ' ') ++leading;
  std::memmove(field, field + leading, width - leading);
  std::memset(field + width - leading, ' ', leading);
  for (size_t i = width; i > 0 && field[i - 1] == ' '; --i) field[i - 1] = '\0';
}

void RewriteIdentifyTextFields(Utils::_IDINFO* info) {
  RewriteIdentifyTextField(info->sSerialNumber, sizeof(info->sSerialNumber));
  RewriteIdentifyTextField(info->sModelNumber, sizeof(info->sModelNumber));
  RewriteIdentifyTextField(info->sFirmwareRev, sizeof(info->sFirmwareRev));
}

std::string IdentifyFieldText(const char* field, size_t width) {
  const void* end = std::memchr(field, '\0', width);
  return std::string(field, end ? static_cast<const char*>(end) - field : width);
}

std::wstring PhysicalDrivePath(int drive) {
  wchar_t path[40];
  std::swprintf(path, 40, L"\\\\.\\PhysicalDrive%d", drive);
  return path;
}

std::wstring ScsiPortPath(int drive) {
  wchar_t path[40];
  std::swprintf(path, 40, L"\\\\.\\Scsi%d:", drive / 2);
  return path;
}

std::vector<unsigned char> SmartIdentifyInput() {
  std::vector<unsigned char> block(sizeof(SENDCMDINPARAMS));
  FillIdentifyCommand(reinterpret_cast<SENDCMDINPARAMS*>(block.data()), 0);
  block.resize(kSmartInputBytes);
  return block;
}

std::vector<unsigned char> SmartIdentifyOutput() {
  std::vector<unsigned char> block(kSmartOutputBytes);
  reinterpret_cast<SENDCMDOUTPARAMS*>(block.data())->cBufferSize = kIdentifyDataBytes;
  return block;
}

std::vector<unsigned char> ScsiIdentifyBlock(int drive) {
  std::vector<unsigned char> block(kScsiBlockBytes);
  auto* header = reinterpret_cast<SRB_IO_CONTROL*>(block.data());
  header->HeaderLength = kScsiHeaderBytes;
  std::memcpy(header->Signature, "SCSIDISK", 8);
  header->Timeout = 10000;
  header->ControlCode = kScsiMiniportIdentify;
  header->ReturnCode = 0;
  header->Length = kSmartOutputBytes;
  FillIdentifyCommand(reinterpret_cast<SENDCMDINPARAMS*>(block.data() + kScsiHeaderBytes),
                      static_cast<BYTE>(drive % 2));
  return block;
}

namespace Utils {

int GetPhysicalDriveInfoInNT(int drive, _IDINFO* info) {
  if (!info) return 0;
  const win::ScopedHandle device = OpenDevice(PhysicalDrivePath(drive));
  if (!device) return 0;
  std::vector<unsigned char> input = SmartIdentifyInput();
  std::vector<unsigned char> output = SmartIdentifyOutput();
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(device.get(), kSmartReceiveDriveData, input.data(), kSmartInputBytes,
                                    output.data(), kSmartOutputBytes, &returned, nullptr);
  std::memcpy(info, output.data() + kSmartOutputDataOffset, sizeof(*info));
  if (!ok) return 0;
  RewriteIdentifyTextFields(info);
  return ok;
}

int GetIdeDriveAsScsiInfoInNT(int drive, _IDINFO* info) {
  if (!info) return 0;
  const win::ScopedHandle device = OpenDevice(ScsiPortPath(drive));
  if (!device) return 0;
  std::vector<unsigned char> block = ScsiIdentifyBlock(drive);
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(device.get(), kScsiMiniport, block.data(), kScsiHeaderBytes + kSmartInputBytes,
                                    block.data(), kScsiBlockBytes, &returned, nullptr);
  std::memcpy(info, block.data() + kScsiDataOffset, sizeof(*info));
  if (info->sModelNumber[0] == 0 || !ok) return 0;
  RewriteIdentifyTextFields(info);
  return ok;
}

}  // namespace Utils
}  // namespace common
