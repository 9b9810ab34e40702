// The identifier: its fallback form under Wine, its stored form, and the
// registry round trip of GetUserGuid (HKCU, run under the registry lock).
#include "t_common/machine_identity.h"

#include <windows.h>
#include <cpuid.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <string>

#include "foundation/product_names.h"
#include "sysinfo/machine_identifier.h"
#include "win/registry_key.h"

namespace {

const wchar_t kProductKey[] = TQ_REGISTRY_KEY;

// Bit by bit, independent of the library's table-driven CRC-32.
uint32_t ReferenceCrc32(const std::wstring& text) {
  uint32_t crc = 0xFFFFFFFFu;
  for (wchar_t unit : text) {
    for (unsigned char byte : {static_cast<unsigned char>(unit & 0xFF), static_cast<unsigned char>(unit >> 8)}) {
      crc ^= byte;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
  }
  return ~crc;
}

// The stored form: the check value in lower-case hex, then the identifier.
std::wstring WithCheckValue(const std::wstring& id) {
  wchar_t text[12];
  std::swprintf(text, 12, L"%08lx", static_cast<unsigned long>(ReferenceCrc32(id)));
  return text + id;
}

std::wstring Cased(std::wstring text, std::wint_t (*change)(std::wint_t)) {
  std::transform(text.begin(), text.end(), text.begin(), [change](wchar_t c) { return change(c); });
  return text;
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
  common::Utils::_IDINFO info = {};
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

// The product's key under HKCU (the test program's own substitute of HKCU):
// made and emptied of "guid" for each test, removed afterwards when the test made it.
class UserGuid : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD disposition = 0;
    ASSERT_EQ(key_.Create(HKEY_CURRENT_USER, kProductKey, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
    created_ = disposition == REG_CREATED_NEW_KEY;
    key_.DeleteValue(L"guid");
  }
  void TearDown() override {
    if (key_.valid()) {
      key_.DeleteValue(L"guid");
      key_.reset();
    }
    if (created_) ::RegDeleteKeyW(HKEY_CURRENT_USER, kProductKey);
  }

  void Store(const std::wstring& value) { ASSERT_EQ(key_.WriteUnterminatedString(L"guid", value), ERROR_SUCCESS); }
  // The value's text; its byte count cannot show a missing terminator, as the
  // system adds one to a REG_SZ followed by NUL in memory (Wine and NT).
  std::wstring Stored(DWORD* type = nullptr) {
    std::wstring value;
    return key_.ReadString(L"guid", &value, 0, type) == ERROR_SUCCESS ? value : L"<none>";
  }

  static std::wstring Derived() { return Cased(ExpectedFallback(), std::towlower); }

  win::RegistryKey key_;
  bool created_ = false;
};

TEST_F(UserGuid, ValidStoredValueWinsOverTheHardwareAndIsLeftAsItIs) {
  // An identifier whose check value ends in 0, so that the digit can be spelt
  // "z": characters other than hex digits count as 0.
  std::wstring id = L"id0";
  for (int i = 1; ReferenceCrc32(id) & 0xF; ++i) id = L"id" + std::to_wstring(i);
  const std::wstring valid = WithCheckValue(id);
  std::wstring z_digit = valid;
  z_digit[7] = L'z';
  for (const std::wstring& value : {valid, Cased(valid, std::towupper), z_digit}) {
    SCOPED_TRACE(std::string(value.begin(), value.end()));
    Store(value);
    wchar_t buffer[64] = {};
    ASSERT_TRUE(common::GetUserGuid(buffer, 64));
    EXPECT_EQ(std::wstring(buffer), id);
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
    EXPECT_EQ(Stored(&type), WithCheckValue(Derived()));  // check value recomputed here, no terminator
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    wchar_t again[780] = {};
    common::MachineIdSource source = common::MachineIdSource::kDisk;
    ASSERT_TRUE(common::GetUserGuidWithSource(again, 780, &source));
    EXPECT_EQ(std::wstring(again), Derived());
    EXPECT_EQ(source, common::MachineIdSource::kRegistry);
  }
}

TEST_F(UserGuid, CapacityMustExceedTheLength) {
  Store(WithCheckValue(L"abc-made-up"));  // 11 characters
  wchar_t buffer[16];
  std::wmemset(buffer, L'#', 16);
  EXPECT_FALSE(common::GetUserGuid(buffer, 11));
  EXPECT_EQ(buffer[0], L'#');
  EXPECT_TRUE(common::GetUserGuid(buffer, 12));
  EXPECT_EQ(std::wstring(buffer), L"abc-made-up");
  EXPECT_FALSE(common::GetUserGuid(nullptr, 12));
  EXPECT_FALSE(common::GetUserGuid(buffer, 0));

  // A missing value is derived and stored, even when the caller's buffer is too small.
  ::RegDeleteValueW(key_.get(), L"guid");
  std::wstring small(Derived().size(), L'#');
  EXPECT_FALSE(common::GetUserGuid(&small[0], static_cast<unsigned long>(Derived().size())));
  EXPECT_EQ(Stored(), WithCheckValue(Derived()));
}

TEST_F(UserGuid, WithoutTheProductKeyNothingIsCreated) {
  DWORD values = 0, subkeys = 0;
  ASSERT_EQ(::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  if (!created_ || values != 0 || subkeys != 0) GTEST_SKIP() << "the product key holds other settings here";
  key_.reset();
  ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, kProductKey), ERROR_SUCCESS);
  created_ = false;

  wchar_t buffer[780] = {};
  common::MachineIdSource source = common::MachineIdSource::kRegistry;
  ASSERT_TRUE(common::GetUserGuidWithSource(buffer, 780, &source));
  EXPECT_EQ(std::wstring(buffer), Derived());
  EXPECT_EQ(source, common::MachineIdSource::kFallback);
  win::RegistryKey probe;
  EXPECT_EQ(probe.Open(HKEY_CURRENT_USER, kProductKey, KEY_READ), ERROR_FILE_NOT_FOUND);
}

}  // namespace
