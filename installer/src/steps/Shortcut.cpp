// Shell links in the current user's shell folders.
#include "StepRoutines.h"
#include "portable/StepRules.h"

#include "common/Errors.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace installer {
namespace {

// A string value of HKEY_CURRENT_USER\Key; "" when missing.
std::wstring ReadUserString(const wchar_t* key, const wchar_t* value) {
    TRegKey hkey;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, hkey.put()) != ERROR_SUCCESS) return L"";
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(hkey.get(), value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return L"";
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > 65536) return L"";
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(hkey.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) !=
        ERROR_SUCCESS)
        return L"";
    text.resize(got / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::wstring ShellFolder(uint8_t location, const std::wstring& subFolder) {
    constexpr wchar_t kExplorer[] = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    constexpr wchar_t kGrpConv[] = L"Software\\MicroSoft\\Windows\\CurrentVersion\\GrpConv\\MapGroups";
    switch (location) {
    case 0: return ReadUserString(kExplorer, L"Desktop");
    case 1: return ReadUserString(kGrpConv, L"Quick Launch");
    case 2: return ReadUserString(kExplorer, L"SendTo");
    case 3: return ReadUserString(kExplorer, L"Start Menu");
    case 4: return subFolder;
    default: return L"";
    }
}

std::wstring FolderOf(const std::wstring& fileName) {
    const size_t cut = fileName.find_last_of(L"\\:");
    return cut == std::wstring::npos ? L"" : fileName.substr(0, cut + 1);
}

}  // namespace

void CreateShortcut(const std::wstring& FileName, uint8_t Location, const std::wstring& SubFolder,
                    const std::wstring& WorkingDir, const std::wstring& Parameters,
                    const std::wstring& Description, const std::wstring& LinkName, std::wstring& LinkPath) {
    TComInit com;
    TComPtr<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
    if (FAILED(hr) || !link)
        throw EFrameworkError(L"Не удается создать объект ярлыка: " + SysErrorMessage(static_cast<DWORD>(hr)));
    TComPtr<IPersistFile> file;
    hr = link.As(IID_IPersistFile, file);
    if (FAILED(hr) || !file)
        throw EFrameworkError(L"Объект ярлыка не сохраняется в файл: " + SysErrorMessage(static_cast<DWORD>(hr)));

    link->SetPath(FileName.c_str());
    link->SetArguments(Parameters.c_str());
    link->SetDescription(Description.c_str());

    const std::wstring linkFile = rules::ShortcutFileName(FileName, LinkName);
    const std::wstring folder = ShellFolder(Location, SubFolder);
    if (folder.empty()) return;
    const std::wstring path = (!SubFolder.empty() && Location != 4) ? folder + L"\\" + SubFolder + L"\\" + linkFile
                                                                   : folder + L"\\" + linkFile;
    link->SetWorkingDirectory(WorkingDir.empty() ? FolderOf(FileName).c_str() : WorkingDir.c_str());
    file->Save(path.c_str(), FALSE);
    LinkPath = path;
}

}  // namespace installer
