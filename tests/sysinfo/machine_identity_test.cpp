// The identifier: its fallback form under Wine, its stored form, and the
// registry round trip of GetUserGuid (HKCU, run under the registry lock).
#include "t_common/machine_identity.h"

#include <windows.h>
#include <cpuid.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "sysinfo/machine_identifier.h"

namespace {

const wchar_t kProductKey[] = L"Software\\Brovanta\\Tessaquill";

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

std::wstring Hex8(uint32_t value) {
  wchar_t text[12];
  std::swprintf(text, 12, L"%08lx", static_cast<unsigned long>(value));
  return text;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
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

TEST(MachineIdentifier, StoredFormIsTheCheckValueThenTheIdentifier) {
  for (const std::wstring id : {L"_", L"abc", L"3219913727_591594_5a000000", L"qemuxharddisk_qm00001"}) {
    EXPECT_EQ(common::StoredGuidText(id), Hex8(ReferenceCrc32(id)) + id);
  }
  EXPECT_EQ(common::StoredGuidText(L"123456789"), Hex8(ReferenceCrc32(L"123456789")) + L"123456789");
}

TEST(MachineIdentifier, StoredValueIsCheckedCaseInsensitively) {
  const std::wstring stored = Hex8(ReferenceCrc32(L"abc-made-up")) + L"abc-made-up";
  std::wstring id;
  ASSERT_TRUE(common::IdentifierFromStoredGuid(stored, &id));
  EXPECT_EQ(id, L"abc-made-up");
  id.clear();
  ASSERT_TRUE(common::IdentifierFromStoredGuid(Upper(stored), &id));
  EXPECT_EQ(id, L"abc-made-up");

  std::wstring damaged = stored;
  damaged[10] = L'x';
  EXPECT_FALSE(common::IdentifierFromStoredGuid(damaged, &id));
  damaged = stored;
  damaged[0] = damaged[0] == L'0' ? L'1' : L'0';
  EXPECT_FALSE(common::IdentifierFromStoredGuid(damaged, &id));
  EXPECT_FALSE(common::IdentifierFromStoredGuid(stored.substr(0, 8), &id));
  EXPECT_FALSE(common::IdentifierFromStoredGuid(L"", &id));
}

TEST(MachineIdentifier, NonHexCheckDigitsCountAsZero) {
  // Find an identifier whose check value ends in 0, then spell that digit "z".
  std::wstring id;
  for (int i = 0;; ++i) {
    id = L"id" + std::to_wstring(i);
    if ((ReferenceCrc32(id) & 0xF) == 0) break;
  }
  std::wstring stored = Hex8(ReferenceCrc32(id)) + id;
  stored[7] = L'z';
  std::wstring parsed;
  ASSERT_TRUE(common::IdentifierFromStoredGuid(stored, &parsed));
  EXPECT_EQ(parsed, id);
}

TEST(MachineIdentifier, FallbackParts) {
  EXPECT_EQ(common::CpuMachinePart(3219913727u, 591594u), L"3219913727_591594");
  EXPECT_EQ(common::CpuMachinePart(0, 591594u), L"");
  EXPECT_EQ(common::CpuMachinePart(3219913727u, 0), L"");
  EXPECT_EQ(common::FallbackIdentifier(L"1_2", 0xAB), L"1_2_000000AB");
  EXPECT_EQ(common::FallbackIdentifier(L"{6f1c-guid}", 0xFFFFFFFFul), L"{6f1c-guid}_FFFFFFFF");
  EXPECT_EQ(common::FallbackIdentifier(L"", 0), L"_00000000");
}

TEST(GetGuid, WithoutAnAnsweringDiskIsCpuidAndVolumeSerial) {
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
}

TEST(GetGuid, SmallBufferGetsTheCutIdentifier) {
  wchar_t buffer[16];
  std::wmemset(buffer, L'#', 16);
  common::Utils::getGUID(buffer, 8);
  EXPECT_EQ(std::wstring(buffer), ExpectedFallback().substr(0, 7));
  EXPECT_EQ(buffer[8], L'#');
  common::Utils::getGUID(nullptr, 8);
  common::Utils::getGUID(buffer, 0);
  EXPECT_EQ(buffer[8], L'#');
}

// HKCU "Software\Brovanta\Tessaquill": the key made and emptied of "guid"
// for each test, removed afterwards when the test made it.
class UserGuid : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD disposition = 0;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                &disposition),
              ERROR_SUCCESS);
    created_ = disposition == REG_CREATED_NEW_KEY;
    ::RegDeleteValueW(key_, L"guid");
  }
  void TearDown() override {
    if (key_) {
      ::RegDeleteValueW(key_, L"guid");
      ::RegCloseKey(key_);
    }
    if (created_) ::RegDeleteKeyW(HKEY_CURRENT_USER, kProductKey);
  }

  void Store(const std::wstring& value) {
    ASSERT_EQ(::RegSetValueExW(key_, L"guid", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  // The value's text. Its byte count cannot tell whether the writer counted a
  // terminator: the system adds one to a REG_SZ whose next character in
  // memory is NUL (Wine does, saying NT does too).
  std::wstring Stored(DWORD* type = nullptr) {
    DWORD bytes = 0;
    if (::RegQueryValueExW(key_, L"guid", nullptr, type, nullptr, &bytes) != ERROR_SUCCESS) return L"<none>";
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    ::RegQueryValueExW(key_, L"guid", nullptr, nullptr, reinterpret_cast<BYTE*>(&value[0]), &bytes);
    return value.substr(0, value.find(L'\0'));
  }

  static std::wstring Derived() { return Lower(ExpectedFallback()); }

  HKEY key_ = nullptr;
  bool created_ = false;
};

TEST_F(UserGuid, FirstCallDerivesAndStores) {
  wchar_t buffer[780] = {};
  ASSERT_TRUE(common::GetUserGuid(buffer, 780));
  EXPECT_EQ(std::wstring(buffer), Derived());
  DWORD type = 0;
  const std::wstring stored = Stored(&type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored, Hex8(ReferenceCrc32(Derived())) + Derived());

  wchar_t again[780] = {};
  common::MachineIdSource source = common::MachineIdSource::kDisk;
  ASSERT_TRUE(common::GetUserGuidWithSource(again, 780, &source));
  EXPECT_EQ(std::wstring(again), Derived());
  EXPECT_EQ(source, common::MachineIdSource::kRegistry);
}

TEST_F(UserGuid, ValidStoredValueWinsOverTheHardware) {
  Store(Hex8(ReferenceCrc32(L"abc-made-up")) + L"abc-made-up");
  wchar_t buffer[64] = {};
  ASSERT_TRUE(common::GetUserGuid(buffer, 64));
  EXPECT_EQ(std::wstring(buffer), L"abc-made-up");
}

TEST_F(UserGuid, UpperCasedCopyIsAcceptedAndLeftAsItIs) {
  const std::wstring upper = Upper(Hex8(ReferenceCrc32(L"abc-made-up")) + L"abc-made-up");
  Store(upper);
  wchar_t buffer[64] = {};
  ASSERT_TRUE(common::GetUserGuid(buffer, 64));
  EXPECT_EQ(std::wstring(buffer), L"abc-made-up");
  EXPECT_EQ(Stored(), upper);
}

TEST_F(UserGuid, DamagedOrShortValuesAreReplaced) {
  const std::wstring valid = Hex8(ReferenceCrc32(L"abc-made-up")) + L"abc-made-up";
  std::wstring damaged = valid;
  damaged[12] = L'q';
  for (const std::wstring& bad : {damaged, valid.substr(0, 8), std::wstring(L"1234567"), std::wstring()}) {
    SCOPED_TRACE(std::string(bad.begin(), bad.end()));
    Store(bad);
    wchar_t buffer[780] = {};
    ASSERT_TRUE(common::GetUserGuid(buffer, 780));
    EXPECT_EQ(std::wstring(buffer), Derived());
    EXPECT_EQ(Stored(), Hex8(ReferenceCrc32(Derived())) + Derived());
  }
}

TEST_F(UserGuid, ValueLongerThan780BytesCountsAsUnread) {
  const std::wstring id(400, L'a');
  Store(Hex8(ReferenceCrc32(id)) + id);
  wchar_t buffer[780] = {};
  ASSERT_TRUE(common::GetUserGuid(buffer, 780));
  EXPECT_EQ(std::wstring(buffer), Derived());
}

TEST_F(UserGuid, CapacityMustExceedTheLength) {
  Store(Hex8(ReferenceCrc32(L"abc-made-up")) + L"abc-made-up");  // 11 characters
  wchar_t buffer[16];
  std::wmemset(buffer, L'#', 16);
  EXPECT_FALSE(common::GetUserGuid(buffer, 11));
  EXPECT_EQ(buffer[0], L'#');
  EXPECT_TRUE(common::GetUserGuid(buffer, 12));
  EXPECT_EQ(std::wstring(buffer), L"abc-made-up");
  EXPECT_FALSE(common::GetUserGuid(nullptr, 12));
  EXPECT_FALSE(common::GetUserGuid(buffer, 0));

  // Derived anew: stored even when the caller's buffer is too small.
  ::RegDeleteValueW(key_, L"guid");
  std::wstring small(Derived().size(), L'#');
  EXPECT_FALSE(common::GetUserGuid(&small[0], static_cast<unsigned long>(Derived().size())));
  EXPECT_EQ(Stored(), Hex8(ReferenceCrc32(Derived())) + Derived());
}

TEST_F(UserGuid, WithoutTheProductKeyNothingIsCreated) {
  DWORD values = 0, subkeys = 0;
  ASSERT_EQ(::RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  if (!created_ || values != 0 || subkeys != 0) GTEST_SKIP() << "the product key holds other settings here";
  ::RegCloseKey(key_);
  key_ = nullptr;
  ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, kProductKey), ERROR_SUCCESS);
  created_ = false;

  wchar_t buffer[780] = {};
  common::MachineIdSource source = common::MachineIdSource::kRegistry;
  ASSERT_TRUE(common::GetUserGuidWithSource(buffer, 780, &source));
  EXPECT_EQ(std::wstring(buffer), Derived());
  EXPECT_EQ(source, common::MachineIdSource::kFallback);
  HKEY probe = nullptr;
  EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
  if (probe) ::RegCloseKey(probe);
}

}  // namespace
