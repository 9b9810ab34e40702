#include "t_common/shell_link.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "foundation/failure_log.h"
#include "foundation/input_checks.h"
#include "t_base/program_log.h"
#include "t_common/folders.h"
#include "win/com.h"
#include "win/scoped_handle.h"

namespace common {

namespace {

// Pairs of backslashes collapse before forward slashes turn into backslashes,
// so "//" ends as two backslashes and "\\\\server" as one: the client's links
// have always been written this way.
std::wstring NormaliseSeparators(const std::wstring& path) {
  return TrimBackslash(TrimBackslash(path, L"\\\\", L"\\"), L"/", L"\\");
}

// The longest text Wine's link writer stores as given (measured; lnkinfo reads
// it back alike): it saves a string with a 16-bit count that overflows from
// 32,767 characters on, leaving a count without its text.
constexpr size_t kLinkTextLimit = 32766;

// SetPath resolves the target through a MAX_PATH buffer and keeps stale text
// when the full path does not fit; it drops one pair of surrounding quotes and
// stores no target at all for any other quote, while still succeeding.
bool LinkHoldsTarget(const std::wstring& target) {
  const bool quoted = target.size() >= 2 && target.front() == L'"' && target.back() == L'"';
  const std::wstring path = quoted ? target.substr(1, target.size() - 2) : target;
  if (path.find(L'"') != std::wstring::npos) return false;
  if (path.empty()) return true;
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  return needed > 0 && needed <= MAX_PATH;
}

bool LinkHolds(const std::wstring& target, const std::wstring& arguments, const std::wstring& icon,
               const std::wstring& description) {
  return LinkHoldsTarget(target) && arguments.size() <= kLinkTextLimit && icon.size() <= kLinkTextLimit &&
         description.size() <= kLinkTextLimit;
}

// Only a missing file or another shell link may be written over: a save path
// that names a program by mistake must not turn it into a link.
bool MayWriteLinkAt(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  win::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  struct {
    DWORD size;  // 0x4C for a shell link
    CLSID clsid;
  } header = {};
  DWORD read = 0;
  return file && ::ReadFile(file.get(), &header, sizeof header, &read, nullptr) && read == sizeof header &&
         header.size == 0x4C && IsEqualCLSID(header.clsid, CLSID_ShellLink);
}

HRESULT CreateShellLink(win::ScopedComInitializer* com, win::ComPtr<IShellLinkW>* link) {
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link->put_void());
  if (hr != CO_E_NOTINITIALIZED) return hr;
  com->Initialize(COINIT_APARTMENTTHREADED);
  return ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link->put_void());
}

HRESULT WriteLink(IShellLinkW* link, const std::wstring& target, const std::wstring& save_path,
                  const std::wstring& arguments, const std::wstring& icon, const std::wstring& description) {
  HRESULT hr = link->SetPath(target.c_str());
  if (FAILED(hr)) return LogFailedStep(L"CreateLinkIcon psl->SetPath fail : hres = %d", hr);

  wchar_t directory[MAX_PATH] = {};
  if (::PathAppendW(directory, target.c_str()) && ::PathRemoveFileSpecW(directory)) {
    WriteProgramLogNoMask(L"CreateLinkIcon szDirectory = %s", directory);
    hr = link->SetWorkingDirectory(directory);
    if (FAILED(hr)) return LogFailedStep(L"CreateLinkIcon psl->SetWorkingDirectory fail : hres = %d", hr);
  }
  if (!arguments.empty()) {
    WriteProgramLogNoMask(L"CreateLinkIcon sParam = %s", arguments.c_str());
    hr = link->SetArguments(arguments.c_str());
    if (FAILED(hr)) return LogFailedStep(L"CreateLinkIcon psl->SetArguments fail : hres = %d", hr);
  }
  if (!description.empty()) {
    WriteProgramLogNoMask(L"CreateLinkIcon sDec = %s", description.c_str());
    hr = link->SetDescription(description.c_str());
    if (FAILED(hr)) return LogFailedStep(L"CreateLinkIcon psl->SetDescription fail : hres = %d", hr);
  }
  if (!icon.empty()) {
    const std::wstring icon_file = NormaliseSeparators(icon);
    WriteProgramLogNoMask(L"CreateLinkIcon sIconTrimed = %s", icon_file.c_str());
    hr = link->SetIconLocation(icon_file.c_str(), 0);
    if (FAILED(hr)) return LogFailedStep(L"CreateLinkIcon psl->SetIconLocation fail : hres = %d", hr);
  }

  win::ComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, file.put_void());
  if (FAILED(hr)) return LogFailedStep(L"CreateLinkIcon psl->QueryInterface fail : hres = %d", hr);
  const std::wstring link_file = NormaliseSeparators(save_path);
  WriteProgramLogNoMask(L"CreateLinkIcon sSavePathTrimed = %s", link_file.c_str());
  hr = file->Save(link_file.c_str(), TRUE);
  if (FAILED(hr)) return LogFailedStep(L"CreateLinkIcon ppf->Save fail : hres = %d", hr);
  return hr;
}

}  // namespace

bool CreateLinkIcon(const std::wstring& sDstFile, const std::wstring& sSavePath, const std::wstring& sParam,
                    const std::wstring& sIcon, const std::wstring& sDec) {
  const std::wstring target = NormaliseSeparators(sDstFile);
  if (AnyHoldsNul(sDstFile, sSavePath, sParam, sIcon, sDec) ||
      !LinkHolds(target, sParam, NormaliseSeparators(sIcon), sDec) || !MayWriteLinkAt(NormaliseSeparators(sSavePath))) {
    return false;
  }
  // Declared before the link, so the link is released before COM goes down.
  win::ScopedComInitializer com;
  win::ComPtr<IShellLinkW> link;
  HRESULT hr = CreateShellLink(&com, &link);

  WriteProgramLogNoMask(L"CreateLinkIcon sDstFileTrimed = %s", target.c_str());
  if (SUCCEEDED(hr)) hr = WriteLink(link.get(), target, sSavePath, sParam, sIcon, sDec);
  return SUCCEEDED(hr);
}

}  // namespace common
