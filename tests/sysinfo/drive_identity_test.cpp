// IDENTIFY DEVICE text fields and the request blocks, without a disk.
#include "sysinfo/drive_identity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "sysinfo/machine_identifier.h"

namespace {

using common::Utils::_IDINFO;

// Puts readable text into a field the way a drive sends it: blank-padded to
// the width, two characters a word with the first in the high byte.
void DeviceOrder(char* field, size_t width, const std::string& readable) {
  std::string padded = readable;
  padded.resize(width, ' ');
  for (size_t i = 0; i < width; i += 2) {
    field[i] = padded[i + 1];
    field[i + 1] = padded[i];
  }
}

// A rewritten field: its text, then NULs to the width.
std::string Field(const char* field, size_t width) { return std::string(field, width); }
std::string Padded(const std::string& text, size_t width) { return text + std::string(width - text.size(), '\0'); }

TEST(IdentifyTextField, RecordedQemuBlockReadsBack) {
  // As QEMU's IDE disk sends it: "QM00001", "2.5+", "QEMU HARDDISK", left-aligned.
  _IDINFO info = {};
  std::memcpy(info.sSerialNumber, "MQ0000 1            ", 20);
  std::memcpy(info.sFirmwareRev, ".2+5    ", 8);
  std::memcpy(info.sModelNumber, "EQUMH RADDSI K                          ", 40);
  common::RewriteIdentifyTextFields(&info);
  EXPECT_EQ(Field(info.sSerialNumber, 20), Padded("QM00001", 20));
  EXPECT_EQ(Field(info.sFirmwareRev, 8), Padded("2.5+", 8));
  EXPECT_EQ(common::IdentifyFieldText(info.sModelNumber, 40), "QEMU HARDDISK");
  EXPECT_EQ(common::DiskIdentifier(info), L"QEMUXHARDDISK_QM00001");
}

struct RewriteCase {
  const char* serial;  // readable, as sent before the device's padding
  const char* firmware;
  const char* model;
  const char* serial_text;  // after the rewrite
  const char* firmware_text;
  const char* model_text;
  const wchar_t* identifier;
};

const RewriteCase kRewrites[] = {
    {"     WD-WCC4N1234567", "", "", "WD-WCC4N1234567", "", "", L"_WD-WCC4N1234567"},  // right-aligned serial
    {"S3Z9NB0K123456A", "RVT04B6Q", "Samsung SSD 860 EVO 500GB", "S3Z9NB0K123456A", "RVT04B6Q",
     "Samsung SSD 860 EVO 500GB", L"SamsungXSSDX860XEVOX500GB_S3Z9NB0K123456A"},  // inner blanks stay
    {"", "", "", "", "", "", L"_"},  // all blanks
    {"ABCDEFGHIJ0123456789", "1", "M", "ABCDEFGHIJ0123456789", "1", "M", L"M_ABCDEFGHIJ0123456789"},  // full serial
    {"  SN 1", "FW", "  Model/Name:2 ", "SN 1", "FW", "Model/Name:2", L"ModelXNameX2_SNX1"},
    {"a_b.c-9", "", "\xC3\xA9t\xE9 \x7F~", "a_b.c-9", "", "\xC3\xA9t\xE9 \x7F~", L"XXtXXXX_aXbXc-9"},
};

TEST(IdentifyTextField, RewriteSwapsTrimsAndEndsWithNulsAndTouchesNothingElse) {
  for (const RewriteCase& c : kRewrites) {
    SCOPED_TRACE(c.serial);
    _IDINFO info;
    std::memset(&info, 0x3C, sizeof(info));
    DeviceOrder(info.sSerialNumber, 20, c.serial);
    DeviceOrder(info.sFirmwareRev, 8, c.firmware);
    DeviceOrder(info.sModelNumber, 40, c.model);
    common::RewriteIdentifyTextFields(&info);
    EXPECT_EQ(Field(info.sSerialNumber, 20), Padded(c.serial_text, 20));
    EXPECT_EQ(Field(info.sFirmwareRev, 8), Padded(c.firmware_text, 8));
    EXPECT_EQ(Field(info.sModelNumber, 40), Padded(c.model_text, 40));
    EXPECT_EQ(common::DiskIdentifier(info), c.identifier);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
    for (size_t i = 0; i < sizeof(info); ++i) {
      const bool in_text = (i >= 20 && i < 40) || (i >= 46 && i < 94);
      if (!in_text) {
        ASSERT_EQ(bytes[i], 0x3C) << i;
      }
    }
  }
}

// The blocks' layout is pinned where they are built; the drive decides the
// device and the target within the block.
TEST(DriveRequests, TheDriveNumberPicksThePortAndTheTarget) {
  EXPECT_EQ(common::PhysicalDrivePath(12), L"\\\\.\\PhysicalDrive12");
  EXPECT_EQ(common::ScsiPortPath(0), L"\\\\.\\Scsi0:");
  EXPECT_EQ(common::ScsiPortPath(5), L"\\\\.\\Scsi2:");
  EXPECT_EQ(common::ScsiIdentifyBlock(3).at(28 + 12), 1);
  EXPECT_EQ(common::ScsiIdentifyBlock(4).at(28 + 12), 0);
}

TEST(DriveQueries, AbsentDevicesFailAndLeaveTheRecord) {
  _IDINFO info;
  std::memset(&info, 0x77, sizeof(info));
  EXPECT_EQ(common::Utils::GetPhysicalDriveInfoInNT(97, &info), 0);
  EXPECT_EQ(common::Utils::GetIdeDriveAsScsiInfoInNT(97, &info), 0);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
  for (size_t i = 0; i < sizeof(info); ++i) ASSERT_EQ(bytes[i], 0x77) << i;
  EXPECT_EQ(common::Utils::GetPhysicalDriveInfoInNT(0, nullptr), 0);
  EXPECT_EQ(common::Utils::GetIdeDriveAsScsiInfoInNT(0, nullptr), 0);
}

}  // namespace
