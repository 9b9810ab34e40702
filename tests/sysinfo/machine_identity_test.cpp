// The machine identifier: IDENTIFY DEVICE fields and requests without a disk,
// the fallback form under Wine, GetUserGuid's value in the program's own HKCU.
#include "t_common/machine_identity.h"

#include <windows.h>
#include <cpuid.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "foundation/product_names.h"
#include "sysinfo/drive_identity.h"
#include "sysinfo/machine_identifier.h"
#include "t_common/digest.h"
#include "win/registry_key.h"

namespace {

using common::Utils::_IDINFO;

// Puts readable text into a field the way a drive sends it: blank-padded to
// the width, two characters a word with the first in the high byte.
void DeviceOrder(char* field, size_t width, std::string text) {
  text.resize(width, ' ');
  for (size_t i = 0; i < width; i += 2) {
    field[i] = text[i + 1];
    field[i + 1] = text[i];
  }
}

// A rewritten field: its text, then NULs to the width.
std::string Padded(const std::string& text, size_t width) { return text + std::string(width - text.size(), '\0'); }

const struct {
  const char* serial;  // readable, as sent before the device's padding
  const char* firmware;
  const char* model;
  const char* serial_text;  // after the rewrite
  const char* firmware_text;
  const char* model_text;
  const wchar_t* identifier;
} kRewrites[] = {
    {"QM00001", "2.5+", "QEMU HARDDISK", "QM00001", "2.5+", "QEMU HARDDISK", L"QEMUXHARDDISK_QM00001"},  // QEMU's disk
    {"     WD-WCC4N1234567", "", "", "WD-WCC4N1234567", "", "", L"_WD-WCC4N1234567"},  // right-aligned serial
    {"S3Z9NB0K123456A", "RVT04B6Q", "Samsung SSD 860 EVO 500GB", "S3Z9NB0K123456A", "RVT04B6Q",
     "Samsung SSD 860 EVO 500GB", L"SamsungXSSDX860XEVOX500GB_S3Z9NB0K123456A"},  // inner blanks stay
    {"", "", "", "", "", "", L"_"},  // all blanks
    {"ABCDEFGHIJ0123456789", "1", "M", "ABCDEFGHIJ0123456789", "1", "M", L"M_ABCDEFGHIJ0123456789"},  // full serial
    {"  SN 1", "FW", "  Model/Name:2 ", "SN 1", "FW", "Model/Name:2", L"ModelXNameX2_SNX1"},
    {"a_b.c-9", "", "\xC3\xA9t\xE9 \x7F~", "a_b.c-9", "", "\xC3\xA9t\xE9 \x7F~", L"XXtXXXX_aXbXc-9"},
};

TEST(IdentifyTextField, RewriteSwapsTrimsAndEndsWithNulsAndTouchesNothingElse) {
  for (const auto& c : kRewrites) {
    SCOPED_TRACE(c.serial);
    _IDINFO info;
    std::memset(&info, 0x3C, sizeof(info));
    DeviceOrder(info.sSerialNumber, 20, c.serial);
    DeviceOrder(info.sFirmwareRev, 8, c.firmware);
    DeviceOrder(info.sModelNumber, 40, c.model);
    common::RewriteIdentifyTextFields(&info);
    EXPECT_EQ(std::string(info.sSerialNumber, 20), Padded(c.serial_text, 20));
    EXPECT_EQ(std::string(info.sFirmwareRev, 8), Padded(c.firmware_text, 8));
    EXPECT_EQ(std::string(info.sModelNumber, 40), Padded(c.model_text, 40));
    EXPECT_EQ(common::DiskIdentifier(info), c.identifier);
    const std::string bytes(reinterpret_cast<const char*>(&info), sizeof(info));  // outside the text fields
    EXPECT_EQ(bytes.substr(0, 20) + bytes.substr(40, 6) + bytes.substr(94), std::string(20 + 6 + 418, '\x3C'));
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
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info), sizeof(info)), std::string(sizeof(info), '\x77'));
  EXPECT_EQ(common::Utils::GetPhysicalDriveInfoInNT(0, nullptr), 0);
  EXPECT_EQ(common::Utils::GetIdeDriveAsScsiInfoInNT(0, nullptr), 0);
}

unsigned long Crc32(std::wstring text) {
  return common::GetCRC32(&text[0], static_cast<unsigned long>(text.size() * sizeof(wchar_t)));
}

// The stored form: the check value in lower-case hex, then the identifier.
std::wstring WithCheckValue(const std::wstring& id) {
  wchar_t text[12];
  std::swprintf(text, 12, L"%08lx", Crc32(id));
  return text + id;
}

std::wstring ExpectedFallback() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  __get_cpuid(1, &eax, &ebx, &ecx, &edx);
  DWORD serial = 0;
  if (!::GetVolumeInformationW(nullptr, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) serial = 0;
  wchar_t text[64];
  std::swprintf(text, 64, L"%u_%u_%08lX", edx, eax, static_cast<unsigned long>(serial));
  return text;
}

// The decimal and hex forms are checked with Wine's own CPU and volume below;
// these are the cases Wine never gives.
TEST(MachineIdentifier, FallbackParts) {
  EXPECT_EQ(common::CpuMachinePart(0, 591594u), L"");
  EXPECT_EQ(common::CpuMachinePart(3219913727u, 0), L"");
  EXPECT_EQ(common::FallbackIdentifier(L"{6f1c-guid}", 0xAB), L"{6f1c-guid}_000000AB");
  EXPECT_EQ(common::FallbackIdentifier(L"", 0), L"_00000000");
}

TEST(GetGuid, WithoutAnAnsweringDiskIsCpuidAndVolumeSerialCutToTheBuffer) {
  _IDINFO info = {};
  ASSERT_EQ(common::Utils::GetPhysicalDriveInfoInNT(0, &info), 0) << "a disk answered IDENTIFY DEVICE here";
  wchar_t buffer[780];
  std::wmemset(buffer, L'#', 780);
  common::Utils::getGUID(buffer, 780);
  EXPECT_EQ(std::wstring(buffer), ExpectedFallback());
  for (size_t i = std::wcslen(buffer); i < 780; ++i) ASSERT_EQ(buffer[i], L'\0') << i;
  common::MachineIdSource source = common::MachineIdSource::kRegistry;
  EXPECT_EQ(common::DeriveMachineIdentifier(&source), ExpectedFallback());
  EXPECT_EQ(source, common::MachineIdSource::kFallback);

  std::wmemset(buffer, L'#', 16);
  common::Utils::getGUID(buffer, 8);
  EXPECT_EQ(std::wstring(buffer), ExpectedFallback().substr(0, 7));
  EXPECT_EQ(buffer[8], L'#');
  common::Utils::getGUID(nullptr, 8);
  common::Utils::getGUID(buffer, 0);
  EXPECT_EQ(buffer[8], L'#');
}

// The product's key, made for each test without "guid" and removed afterwards.
class UserGuid : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(key_.Create(HKEY_CURRENT_USER, TQ_REGISTRY_KEY, KEY_ALL_ACCESS), ERROR_SUCCESS); }
  void TearDown() override {
    key_.reset();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, TQ_REGISTRY_KEY);
  }

  void Store(const std::wstring& value) { ASSERT_EQ(key_.WriteUnterminatedString(L"guid", value), ERROR_SUCCESS); }
  // The text only: the system adds a missing terminator to a REG_SZ it reads.
  std::wstring Stored(DWORD* type = nullptr) {
    std::wstring value;
    return key_.ReadString(L"guid", &value, 0, type) == ERROR_SUCCESS ? value : L"<none>";
  }

  static std::wstring Derived() {
    std::wstring id = ExpectedFallback();
    ::_wcslwr(&id[0]);
    return id;
  }

  win::RegistryKey key_;
};

TEST_F(UserGuid, ValidStoredValueWinsOverTheHardwareAndIsLeftAsItIs) {
  // An identifier whose check value ends in 0, so that the digit can be spelt
  // "z": characters other than hex digits count as 0.
  std::wstring id = L"id0";
  for (int i = 1; Crc32(id) & 0xF; ++i) id = L"id" + std::to_wstring(i);
  const std::wstring valid = WithCheckValue(id);
  std::wstring upper = valid, z_digit = valid;
  ::_wcsupr(&upper[0]);
  z_digit[7] = L'z';
  for (const std::wstring& value : {valid, upper, z_digit}) {
    SCOPED_TRACE(std::string(value.begin(), value.end()));
    Store(value);
    std::wstring buffer(id.size() + 1, L'#');  // the capacity must exceed the length
    EXPECT_FALSE(common::GetUserGuid(&buffer[0], static_cast<unsigned long>(id.size())));
    EXPECT_EQ(buffer[0], L'#');
    ASSERT_TRUE(common::GetUserGuid(&buffer[0], static_cast<unsigned long>(buffer.size())));
    EXPECT_EQ(std::wstring(buffer.c_str()), id);
    EXPECT_EQ(Stored(), value);
  }
}

TEST_F(UserGuid, DamagedShortOrOverlongValuesAreReplacedAndTheReplacementReturnedAgain) {
  const std::wstring valid = WithCheckValue(L"abc-made-up");
  std::wstring damaged_id = valid, damaged_check = valid;
  damaged_id[12] = L'q';
  damaged_check[0] = damaged_check[0] == L'0' ? L'1' : L'0';
  const std::wstring overlong = WithCheckValue(std::wstring(400, L'a'));  // over the 780 bytes read
  for (const std::wstring& bad : {damaged_id, damaged_check, valid.substr(0, 8), std::wstring(L"1234567"),
                                  std::wstring(), overlong}) {
    SCOPED_TRACE(std::string(bad.begin(), bad.end()));
    Store(bad);
    wchar_t buffer[780] = {};
    ASSERT_TRUE(common::GetUserGuid(buffer, 780));
    EXPECT_EQ(std::wstring(buffer), Derived());
    DWORD type = 0;
    EXPECT_EQ(Stored(&type), WithCheckValue(Derived()));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    wchar_t again[780] = {};
    common::MachineIdSource source = common::MachineIdSource::kDisk;
    ASSERT_TRUE(common::GetUserGuidWithSource(again, 780, &source));
    EXPECT_EQ(std::wstring(again), Derived());
    EXPECT_EQ(source, common::MachineIdSource::kRegistry);
  }
}

// Without a buffer nothing happens; a missing value is derived and stored even
// when the caller's buffer is too small for it.
TEST_F(UserGuid, BadBuffersFailAndAMissingValueIsStoredAnyway) {
  wchar_t buffer[16] = {};
  EXPECT_FALSE(common::GetUserGuid(nullptr, 12));
  EXPECT_FALSE(common::GetUserGuid(buffer, 0));
  EXPECT_EQ(Stored(), L"<none>");
  std::wstring small(Derived().size(), L'#');
  EXPECT_FALSE(common::GetUserGuid(&small[0], static_cast<unsigned long>(small.size())));
  EXPECT_EQ(Stored(), WithCheckValue(Derived()));
}

TEST_F(UserGuid, WithoutTheProductKeyNothingIsCreated) {
  key_.reset();
  ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, TQ_REGISTRY_KEY), ERROR_SUCCESS);
  wchar_t buffer[780] = {};
  common::MachineIdSource source = common::MachineIdSource::kRegistry;
  ASSERT_TRUE(common::GetUserGuidWithSource(buffer, 780, &source));
  EXPECT_EQ(std::wstring(buffer), Derived());
  EXPECT_EQ(source, common::MachineIdSource::kFallback);
  win::RegistryKey probe;
  EXPECT_EQ(probe.Open(HKEY_CURRENT_USER, TQ_REGISTRY_KEY, KEY_READ), ERROR_FILE_NOT_FOUND);
}

}  // namespace
