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

_IDINFO Block(const std::string& serial, const std::string& firmware, const std::string& model) {
  _IDINFO info;
  std::memset(&info, 0x3C, sizeof(info));
  DeviceOrder(info.sSerialNumber, 20, serial);
  DeviceOrder(info.sFirmwareRev, 8, firmware);
  DeviceOrder(info.sModelNumber, 40, model);
  return info;
}

std::string Field(const char* field, size_t width) { return std::string(field, width); }

TEST(IdentifyTextField, RecordedQemuBlockReadsBack) {
  // As QEMU's IDE disk sends it: "QM00001", "2.5+", "QEMU HARDDISK", left-aligned.
  _IDINFO info = {};
  std::memcpy(info.sSerialNumber, "MQ0000 1            ", 20);
  std::memcpy(info.sFirmwareRev, ".2+5    ", 8);
  std::memcpy(info.sModelNumber, "EQUMH RADDSI K                          ", 40);
  common::RewriteIdentifyTextFields(&info);
  EXPECT_EQ(Field(info.sSerialNumber, 20), std::string("QM00001") + std::string(13, '\0'));
  EXPECT_EQ(Field(info.sFirmwareRev, 8), std::string("2.5+") + std::string(4, '\0'));
  EXPECT_EQ(common::IdentifyFieldText(info.sModelNumber, 40), "QEMU HARDDISK");
  EXPECT_EQ(common::DiskIdentifier(info), L"QEMUXHARDDISK_QM00001");
}

TEST(IdentifyTextField, RightAlignedSerialMovesLeftAndLeavesNothingBehind) {
  _IDINFO info = Block("     WD-WCC4N1234567", "", "");
  common::RewriteIdentifyTextFields(&info);
  EXPECT_EQ(Field(info.sSerialNumber, 20), std::string("WD-WCC4N1234567") + std::string(5, '\0'));
  EXPECT_EQ(common::IdentifyFieldText(info.sSerialNumber, 20), "WD-WCC4N1234567");
}

TEST(IdentifyTextField, InnerBlanksStayAndBecomeXInTheIdentifier) {
  _IDINFO info = Block("S3Z9NB0K123456A", "RVT04B6Q", "Samsung SSD 860 EVO 500GB");
  common::RewriteIdentifyTextFields(&info);
  EXPECT_EQ(common::IdentifyFieldText(info.sModelNumber, 40), "Samsung SSD 860 EVO 500GB");
  EXPECT_EQ(common::IdentifyFieldText(info.sFirmwareRev, 8), "RVT04B6Q");  // fills its field
  EXPECT_EQ(common::DiskIdentifier(info), L"SamsungXSSDX860XEVOX500GB_S3Z9NB0K123456A");
}

TEST(IdentifyTextField, AllBlankFieldsBecomeEmptyAndTheIdentifierIsAnUnderscore) {
  _IDINFO info = Block("", "", "");
  common::RewriteIdentifyTextFields(&info);
  EXPECT_EQ(Field(info.sSerialNumber, 20), std::string(20, '\0'));
  EXPECT_EQ(Field(info.sModelNumber, 40), std::string(40, '\0'));
  EXPECT_EQ(Field(info.sFirmwareRev, 8), std::string(8, '\0'));
  EXPECT_EQ(common::DiskIdentifier(info), L"_");
}

TEST(IdentifyTextField, FullSerialIsTakenAsExactlyTwentyCharacters) {
  _IDINFO info = Block("ABCDEFGHIJ0123456789", "1", "M");
  common::RewriteIdentifyTextFields(&info);
  EXPECT_EQ(Field(info.sSerialNumber, 20), "ABCDEFGHIJ0123456789");
  // The firmware field follows the serial after three device words; nothing of it leaks in.
  EXPECT_EQ(common::IdentifyFieldText(info.sSerialNumber, 20), "ABCDEFGHIJ0123456789");
  EXPECT_EQ(common::DiskIdentifier(info), L"M_ABCDEFGHIJ0123456789");
}

TEST(IdentifyTextField, OtherWordsKeepTheDevicesValues) {
  _IDINFO info = Block("  SN 1", "FW", "  Model/Name:2 ");
  common::RewriteIdentifyTextFields(&info);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
  for (size_t i = 0; i < sizeof(info); ++i) {
    const bool in_text = (i >= 20 && i < 40) || (i >= 46 && i < 54) || (i >= 54 && i < 94);
    if (!in_text) {
      EXPECT_EQ(bytes[i], 0x3C) << i;
    }
  }
  EXPECT_EQ(common::IdentifyFieldText(info.sSerialNumber, 20), "SN 1");
  EXPECT_EQ(common::IdentifyFieldText(info.sModelNumber, 40), "Model/Name:2");
  EXPECT_EQ(common::DiskIdentifier(info), L"ModelXNameX2_SNX1");
}

TEST(IdentifyTextField, OddCharactersOfBothFieldsBecomeX) {
  _IDINFO info = Block("a_b.c-9", "", "\xC3\xA9t\xE9 \x7F~");
  common::RewriteIdentifyTextFields(&info);
  EXPECT_EQ(common::DiskIdentifier(info), L"XXtXXXX_aXbXc-9");
}

TEST(DriveRequests, SmartIdentifyBlocks) {
  const std::vector<unsigned char> input = common::SmartIdentifyInput();
  ASSERT_EQ(input.size(), 32u);
  for (size_t i = 0; i < input.size(); ++i) EXPECT_EQ(input[i], i == 10 ? 0xEC : 0) << i;  // command register
  const std::vector<unsigned char> output = common::SmartIdentifyOutput();
  ASSERT_EQ(output.size(), 528u);
  EXPECT_EQ(output[0], 0x00);
  EXPECT_EQ(output[1], 0x02);  // buffer size 512, little-endian
  for (size_t i = 2; i < output.size(); ++i) EXPECT_EQ(output[i], 0) << i;
  EXPECT_EQ(common::PhysicalDrivePath(0), L"\\\\.\\PhysicalDrive0");
  EXPECT_EQ(common::PhysicalDrivePath(12), L"\\\\.\\PhysicalDrive12");
}

TEST(DriveRequests, ScsiBlockAsksPortDriveHalfAndTargetDriveParity) {
  EXPECT_EQ(common::ScsiPortPath(3), L"\\\\.\\Scsi1:");
  EXPECT_EQ(common::ScsiPortPath(0), L"\\\\.\\Scsi0:");
  EXPECT_EQ(common::ScsiPortPath(5), L"\\\\.\\Scsi2:");
  const std::vector<unsigned char> block = common::ScsiIdentifyBlock(3);
  ASSERT_EQ(block.size(), 556u);
  auto dword = [&](size_t offset) {
    uint32_t value;
    std::memcpy(&value, block.data() + offset, 4);
    return value;
  };
  EXPECT_EQ(dword(0), 28u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data() + 4), 8), "SCSIDISK");
  EXPECT_EQ(dword(12), 10000u);
  EXPECT_EQ(dword(16), 0x1B0501u);
  EXPECT_EQ(dword(20), 0u);
  EXPECT_EQ(dword(24), 528u);
  EXPECT_EQ(block[28 + 10], 0xEC);  // command register
  EXPECT_EQ(block[28 + 12], 1);     // target 1
  for (size_t i = 28; i < block.size(); ++i) {
    if (i != 38 && i != 40) {
      EXPECT_EQ(block[i], 0) << i;
    }
  }
  EXPECT_EQ(common::ScsiIdentifyBlock(4)[40], 0);
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
