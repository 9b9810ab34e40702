#include "t_common/shell_link.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "foundation/failure_log.h"
#include "t_base/program_log.h"
#include "t_common/folders.h"
#include "win/com.h"

namespace common {

namespace {

// Pairs of backslashes collapse before forward slashes turn into backslashes,
// so "//" ends as two backslashes and "\\\\server" as one: the client's links
// have always been written this way.
std::wstring NormaliseSeparators(const std::wstring& path) {
  return TrimBackslash(TrimBackslash(path, L"\\\\", L"\\"), L"/", L"\\");
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
  // Declared before the link, so the link is released before COM goes down.
  win::ScopedComInitializer com;
  win::ComPtr<IShellLinkW> link;
  HRESULT hr = CreateShellLink(&com, &link);

  const std::wstring target = NormaliseSeparators(sDstFile);
  WriteProgramLogNoMask(L"CreateLinkIcon sDstFileTrimed = %s", target.c_str());
  if (SUCCEEDED(hr)) hr = WriteLink(link.get(), target, sSavePath, sParam, sIcon, sDec);
  return SUCCEEDED(hr);
}

}  // namespace common
