// The machine identifier: IDENTIFY DEVICE fields and requests without a disk,
// the fallback form under Wine, GetUserGuid's value in the program's own HKCU.
#include "t_common/machine_identity.h"

#include <windows.h>
#include <cpuid.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "foundation/product_names.h"
#include "sysinfo/drive_identity.h"
#include "sysinfo/machine_identifier.h"
#include "t_common/digest.h"
#include "win/registry_key.h"

namespace {

using common::MachineIdSource;
using common::Utils::_IDINFO;

// A field as a drive sends it: blank-padded to the width, two characters a word, the first in the high byte.
void DeviceOrder(char* field, size_t width, std::string text) {
  text.resize(width, ' ');
  for (size_t i = 0; i < width; i += 2) std::swap(text[i], text[i + 1]);
  std::memcpy(field, text.data(), width);
}

// Readable text as sent before the device's padding, the field texts after the rewrite, the identifier.
const struct {
  const char *serial, *firmware, *model, *serial_text, *firmware_text, *model_text;
  const wchar_t* identifier;
} kRewrites[] = {
    {"QM00001", "2.5+", "QEMU HARDDISK", "QM00001", "2.5+", "QEMU HARDDISK", L"QEMUXHARDDISK_QM00001"},  // QEMU's disk
    {"     WD-WCC4N1234567", "", "", "WD-WCC4N1234567", "", "", L"_WD-WCC4N1234567"},  // right-aligned serial
    {"", "", "", "", "", "", L"_"},                                                    // all blanks
    {"ABCDEFGHIJ0123456789", "1", "M", "ABCDEFGHIJ0123456789", "1", "M", L"M_ABCDEFGHIJ0123456789"},  // full serial
    {"  SN 1", "FW", "  Model/Name:2 ", "SN 1", "FW", "Model/Name:2", L"ModelXNameX2_SNX1"},
    {"a_b.c-9", "", "\xC3\xA9t\xE9 \x7F~", "a_b.c-9", "", "\xC3\xA9t\xE9 \x7F~", L"XXtXXXX_aXbXc-9"},
};

// Swapped, trimmed, ended with NULs; nothing outside the text fields touched.
TEST(IdentifyTextField, RewriteSwapsTrimsAndEndsWithNulsAndTouchesNothingElse) {
  const auto padded = [](const std::string& text, size_t width) { return text + std::string(width - text.size(), 0); };
  for (const auto& c : kRewrites) {
    SCOPED_TRACE(c.serial);
    _IDINFO info;
    std::memset(&info, 0x3C, sizeof(info));
    DeviceOrder(info.sSerialNumber, 20, c.serial);
    DeviceOrder(info.sFirmwareRev, 8, c.firmware);
    DeviceOrder(info.sModelNumber, 40, c.model);
    common::RewriteIdentifyTextFields(&info);
    EXPECT_EQ(std::string(info.sSerialNumber, 20), padded(c.serial_text, 20));
    EXPECT_EQ(std::string(info.sFirmwareRev, 8), padded(c.firmware_text, 8));
    EXPECT_EQ(std::string(info.sModelNumber, 40), padded(c.model_text, 40));
    EXPECT_EQ(common::DiskIdentifier(info), c.identifier);
    const std::string bytes(reinterpret_cast<const char*>(&info), sizeof(info));
    EXPECT_EQ(bytes.substr(0, 20) + bytes.substr(40, 6) + bytes.substr(94), std::string(20 + 6 + 418, '\x3C'));
  }
}

// The drive number picks the port and the target; devices that are not there fail and leave the record.
TEST(DriveQueries, PortAndTargetOfTheDriveAndAbsentDevices) {
  EXPECT_EQ(common::PhysicalDrivePath(12), L"\\\\.\\PhysicalDrive12");
  EXPECT_EQ(common::ScsiPortPath(5), L"\\\\.\\Scsi2:");
  EXPECT_EQ(common::ScsiIdentifyBlock(3).at(28 + 12), 1);
  EXPECT_EQ(common::ScsiIdentifyBlock(4).at(28 + 12), 0);
  _IDINFO info;
  std::memset(&info, 0x77, sizeof(info));
  using common::Utils::GetIdeDriveAsScsiInfoInNT, common::Utils::GetPhysicalDriveInfoInNT;
  EXPECT_EQ(GetPhysicalDriveInfoInNT(97, &info) + GetIdeDriveAsScsiInfoInNT(97, &info), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info), sizeof(info)), std::string(sizeof(info), '\x77'));
  EXPECT_EQ(GetPhysicalDriveInfoInNT(0, nullptr) + GetIdeDriveAsScsiInfoInNT(0, nullptr), 0);
}

// The stored form: the check value of the identifier's UTF-16LE bytes in lower-case hex, then the identifier.
std::wstring WithCheckValue(std::wstring id) {
  wchar_t text[12];
  std::swprintf(text, 12, L"%08lx", common::GetCRC32(&id[0], static_cast<unsigned long>(id.size() * sizeof(wchar_t))));
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

// Wine's disks do not answer; the parts Wine never gives are checked on their own.
TEST(GetGuid, WithoutAnAnsweringDiskIsCpuidAndVolumeSerialCutToTheBuffer) {
  _IDINFO info = {};
  ASSERT_EQ(common::Utils::GetPhysicalDriveInfoInNT(0, &info), 0) << "a disk answered IDENTIFY DEVICE here";
  wchar_t buffer[780];
  std::wmemset(buffer, L'#', 780);
  common::Utils::getGUID(buffer, 780);
  EXPECT_EQ(std::wstring(buffer), ExpectedFallback());
  for (size_t i = std::wcslen(buffer); i < 780; ++i) ASSERT_EQ(buffer[i], L'\0') << i;
  std::wmemset(buffer, L'#', 16);
  common::Utils::getGUID(buffer, 8);
  EXPECT_EQ(std::wstring(buffer), ExpectedFallback().substr(0, 7));
  common::Utils::getGUID(nullptr, 8);
  common::Utils::getGUID(buffer + 8, 0);
  EXPECT_EQ(buffer[8], L'#');
  EXPECT_EQ(common::CpuMachinePart(0, 591594u) + common::CpuMachinePart(3219913727u, 0), L"");
  EXPECT_EQ(common::FallbackIdentifier(L"{6f1c-guid}", 0xAB), L"{6f1c-guid}_000000AB");
}

// The product's key, made for each test without "guid" and removed afterwards.
class UserGuid : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(key_.Create(HKEY_CURRENT_USER, TQ_REGISTRY_KEY, KEY_ALL_ACCESS), ERROR_SUCCESS); }
  void TearDown() override {
    key_.reset();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, TQ_REGISTRY_KEY);
  }
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

// A stored value whose check value matches wins over the hardware and stays; any other is replaced.
TEST_F(UserGuid, ValidStoredValueIsKeptAndAnyOtherReplacedByTheDerivedOne) {
  // An identifier whose check value ends in 0, spelt "z" below: characters other than hex digits count as 0.
  std::wstring id = L"id0";
  for (int i = 1; WithCheckValue(id)[7] != L'0'; ++i) id = L"id" + std::to_wstring(i);
  const std::wstring valid = WithCheckValue(id);
  std::wstring upper = valid, z_digit = valid, damaged_id = valid, damaged_check = valid;
  ::_wcsupr(&upper[0]);
  z_digit[7] = L'z';
  damaged_id.back() = L'q';
  damaged_check[0] = damaged_check[0] == L'0' ? L'1' : L'0';
  const std::wstring overlong = WithCheckValue(std::wstring(400, L'a'));  // over the 780 bytes read
  const std::pair<std::wstring, bool> kCases[] = {{valid, true}, {upper, true}, {z_digit, true}, {damaged_id, false},
      {damaged_check, false}, {valid.substr(0, 8), false}, {L"1234567", false}, {L"", false}, {overlong, false}};
  for (const auto& [value, kept] : kCases) {
    SCOPED_TRACE(std::string(value.begin(), value.end()));
    ASSERT_EQ(key_.WriteUnterminatedString(L"guid", value), ERROR_SUCCESS);
    wchar_t buffer[780] = {};
    MachineIdSource source = MachineIdSource::kDisk;
    ASSERT_TRUE(common::GetUserGuidWithSource(buffer, 780, &source));
    EXPECT_EQ(std::wstring(buffer), kept ? id : Derived());
    EXPECT_EQ(source, kept ? MachineIdSource::kRegistry : MachineIdSource::kFallback);
    DWORD type = 0;
    EXPECT_EQ(Stored(&type), kept ? value : WithCheckValue(Derived()));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  }
}

// Without a buffer nothing happens; the identifier needs its length plus one,
// and a missing value is stored even when the caller's buffer is too small for it.
TEST_F(UserGuid, BadOrSmallBuffersFailAndAMissingValueIsStoredAnyway) {
  wchar_t none[16] = {};
  EXPECT_FALSE(common::GetUserGuid(nullptr, 12));
  EXPECT_FALSE(common::GetUserGuid(none, 0));
  EXPECT_EQ(Stored(), L"<none>");
  std::wstring buffer(Derived().size() + 1, L'#');
  const auto exact = static_cast<unsigned long>(Derived().size());
  EXPECT_FALSE(common::GetUserGuid(&buffer[0], exact));
  EXPECT_EQ(Stored(), WithCheckValue(Derived()));
  EXPECT_FALSE(common::GetUserGuid(&buffer[0], exact));  // now read back from the registry
  EXPECT_EQ(buffer[0], L'#');
  ASSERT_TRUE(common::GetUserGuid(&buffer[0], exact + 1));
  EXPECT_EQ(std::wstring(buffer.c_str()), Derived());
}

TEST_F(UserGuid, WithoutTheProductKeyNothingIsCreated) {
  key_.reset();
  ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, TQ_REGISTRY_KEY), ERROR_SUCCESS);
  wchar_t buffer[780] = {};
  ASSERT_TRUE(common::GetUserGuid(buffer, 780));
  EXPECT_EQ(std::wstring(buffer), Derived());
  win::RegistryKey probe;
  EXPECT_EQ(probe.Open(HKEY_CURRENT_USER, TQ_REGISTRY_KEY, KEY_READ), ERROR_FILE_NOT_FOUND);
}

}  // namespace
