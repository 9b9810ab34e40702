// tqutil digest: the library's CRC-32, MD5 and SHA-1 of files, read through a
// mapping of the whole file rather than a copy.
#include <windows.h>

#include <cstdio>
#include <string>

#include "command.h"
#include "commands.h"
#include "win/scoped_handle.h"
#include "t_common/digest.h"
#include "t_common/text.h"

namespace {

using namespace tqutil;

constexpr unsigned long long kProgressThreshold = 64ull << 20;

std::wstring Compute(const std::wstring& kind, void* data, unsigned long length) {
  if (kind == L"crc32") {
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"%08lx", common::GetCRC32(data, length));
    return text;
  }
  return common::s2ws(kind == L"md5" ? common::GetMd5(data, length) : common::GetSha1(data, length));
}

// The digest of one file, or an error message in *error.
std::wstring DigestFile(const std::wstring& kind, const std::wstring& file, std::wstring* error) {
  win::ScopedHandle handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) {
    *error = L"cannot open " + file + L" (error " + std::to_wstring(::GetLastError()) + L")";
    return std::wstring();
  }
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(handle.get(), &size)) {
    *error = L"cannot read the size of " + file;
    return std::wstring();
  }
  const unsigned long long bytes = static_cast<unsigned long long>(size.QuadPart);
  // The library takes a 32-bit length.
  if (bytes > 0xFFFFFFFFull) {
    *error = file + L" is 4 GiB or larger";
    return std::wstring();
  }
  // An empty file cannot be mapped; its digest is that of an empty block.
  if (bytes == 0) return Compute(kind, nullptr, 0);

  win::ScopedHandle mapping(::CreateFileMappingW(handle.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) {
    *error = L"cannot map " + file + L" (error " + std::to_wstring(::GetLastError()) + L")";
    return std::wstring();
  }
  win::ScopedMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) {
    *error = L"cannot map a view of " + file + L" (error " + std::to_wstring(::GetLastError()) + L")";
    return std::wstring();
  }
  if (bytes > kProgressThreshold)
    PrintNote(L"hashing " + file + L" (" + std::to_wstring(bytes >> 20) + L" MiB) with " + kind + L"...");
  return Compute(kind, view.get(), static_cast<unsigned long>(bytes));
}

int RunDigest(const Args& args) {
  if (args.size() < 2) return UsageError(kDigestCommand);
  const std::wstring& kind = args[0];
  if (kind != L"crc32" && kind != L"md5" && kind != L"sha1") return UsageError(kDigestCommand);
  int result = kExitOk;
  for (size_t i = 1; i < args.size(); ++i) {
    std::wstring error;
    const std::wstring digest = DigestFile(kind, args[i], &error);
    if (error.empty()) {
      PrintLine(digest + L"  " + args[i]);
    } else {
      result = Fail(error);
    }
  }
  return result;
}

}  // namespace

namespace tqutil {

extern const Command kDigestCommand = {L"digest", L"digest crc32|md5|sha1 FILE...",
                         L"the library's digest of each file (sha1 in the library's word order)", &RunDigest};

}  // namespace tqutil
