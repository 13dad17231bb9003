#include "StepTestKit.h"

#include "common/Errors.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

namespace steptest {

std::string TFakeUi::Narrow(const std::wstring& s) { return WideToUtf8(s); }
std::string U8(const std::wstring& s) { return WideToUtf8(s); }

bool IsDir(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

FILETIME WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d);
    return d.ftLastWriteTime;
}

void SetWriteTime(const std::wstring& path, const FILETIME& ft) {
    TFileHandle h(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(h.valid());
    ASSERT_TRUE(::SetFileTime(h.get(), nullptr, nullptr, &ft));
}

std::wstring IniValue(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
    wchar_t buf[1024] = {};
    ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"<absent>", buf, 1024, file.c_str());
    return buf;
}

std::wstring ExeDir() { return ExeFolder(); }

std::wstring CurrentDir() {
    wchar_t buf[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH, buf);
    return buf;
}

std::wstring NewTempDir(const wchar_t* tag) {
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    for (;;) {
        std::wstring dir = std::wstring(temp) + L"steps_" + tag + L"_" + std::to_wstring(::GetCurrentProcessId()) +
                           L"_" + std::to_wstring(++counter) + L"\\";
        if (::CreateDirectoryW(dir.c_str(), nullptr)) return dir;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return L"";
    }
}

void MakeDistribution(const std::wstring& d, const TDistOptions& o) {
    WriteBytes(d + L"readme.htm", "<html><body>Sample release notes</body></html>");
    if (o.Profile) {
        WriteBytes(d + L"Profile\\profile.txt", "profile");
        WriteBytes(d + L"Profile\\Expert\\DATA.XML", "<ROOT/>");
    }
    if (o.Driver) {
        ::CreateDirectoryW((d + L"FTDIDriverInstall").c_str(), nullptr);
        WriteBytes(d + L"FTDIDriverInstall\\readme.txt", "driver");
        if (o.DriverProgram) {
            EXPECT_TRUE(::CopyFileW((ExeDir() + L"steps_fake_driver_setup.exe").c_str(),
                                    (d + L"FTDIDriverInstall\\CDM21228_Setup.exe").c_str(), FALSE));
        }
    }
    if (o.SettingsXml) WriteBytes(d + L"Settings\\Settings.xml", "<Settings/>");
    WriteBytes(d + L"Settings\\other.txt", "not copied");
    WriteBytes(d + L"backup\\v370\\filelist.xml", "<filelist><files/></filelist>");
    WriteBytes(d + L"backup\\v370\\old.txt", "old release");
    WriteBytes(d + L"backup\\v393\\Quorvel12.exe", "program 393");
    WriteBytes(d + L"backup\\v393\\help\\help.chm", "help 393");
    WriteBytes(d + L"backup\\v393\\old\\stale.txt", "stale");
    WriteBytes(d + L"backup\\v393\\ReleaseInfo",
              "<ROOT>\r\n  <Version>1</Version>\r\n  <Level>370</Level>\r\n  <Note>kept</Note>\r\n</ROOT>\r\n");
    WriteBytes(d + L"backup\\v393\\filelist.xml",
              "<filelist>\r\n"
              "  <files>\r\n"
              "    <file DistrFN=\"Quorvel12.exe\">Quorvel12.exe</file>\r\n"
              "    <file DistrFN=\"help\\help.chm\">Help\\deep\\help.chm</file>\r\n"
              "    <file DistrFN=\"old\\stale.txt\">stale.txt</file>\r\n"
              "    <file DistrFN=\"ReleaseInfo\">ReleaseInfo</file>\r\n"
              "  </files>\r\n"
              "  <delfiles>\r\n"
              "    <file DistrFN=\"old\\stale.txt\">stale.txt</file>\r\n"
              "    <file DistrFN=\"old\\never.dll\">never.dll</file>\r\n"
              "  </delfiles>\r\n"
              "</filelist>\r\n");
    for (const wchar_t* name : {L"aliases.conf", L"firebird.conf", L"fbclient.Dll", L"fbembed.Dll", L"ib_util.Dll",
                                L"icudt30.Dll", L"icuin30.Dll", L"icuuc30.Dll", L"firebird.msg", L"gbak.exe",
                                L"msvcp80.Dll", L"msvcr80.Dll"})
        WriteBytes(d + L"Firebird_257\\" + name, "engine " + U8(name));
    for (const wchar_t* name : {L"fbintl.conf", L"fbintl.dll"}) WriteBytes(d + L"Firebird_257\\intl\\" + name, U8(name));
    for (const wchar_t* name : {L"fbudf.dll", L"ib_udf.dll", L"fbudf.sql", L"ib_udf.sql", L"ib_udf2.sql"})
        WriteBytes(d + L"Firebird_257\\udf\\" + name, U8(name));
    for (const wchar_t* name : {L"Kelvar.Dll", L"Trimsa.Dll", L"Holmex.Dll", L"Dravin.Dll"})
        WriteBytes(d + L"UDF\\" + name, "complex " + U8(name));
    if (o.Service) WriteBytes(d + L"service\\tool.txt", "service");
    WriteBytes(d + L"dta_clear\\Q12.fdb", "template database");
    if (o.DtaIni) WriteBytes(d + L"dta_clear\\ecg.ini", "[Database]\r\nName=Q12\r\n");
    if (o.Password) WriteBytes(d + L"bin\\password.nsi", "password");
    if (o.Integration) WriteBytes(d + L"config\\Integration\\rmis.xml", "<rmis/>");
}

}  // namespace steptest
