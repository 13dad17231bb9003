// Steps 1 to 23 of the install run: deployment of the program tree, the
// database engine and database, ecg.ini, the driver setup, the release file
// list, the release level and the desktop shortcut.
#include "installer/InstallRun.h"

#include "IniWriter.h"
#include "StepRoutines.h"
#include "StepsFs.h"

#include "common/Errors.h"
#include "common/FileSystemHelper.h"
#include "common/StringList.h"
#include "common/Win32.h"
#include "common/Win32Error.h"

#include <algorithm>

namespace installer {
namespace {

constexpr wchar_t kCopyFile[] = L"Копирование файла ";
constexpr wchar_t kCreateFolderFailed[] = L"Ошибка при создании каталога!";
constexpr wchar_t kCopyFailedRestart[] = L"Произошла ошибка копирования файлов. Перезапустите программу установки.";
constexpr wchar_t kNoReleaseFolder[] = L"В каталоге backup дистрибутива нет ни одной папки выпуска!";

// The engine files, copied in this order into the target folder.
constexpr const wchar_t* kEngineFiles[] = {
    L"aliases.conf", L"firebird.conf", L"fbclient.Dll", L"fbembed.Dll", L"ib_util.Dll",  L"icudt30.Dll",
    L"icuin30.Dll",  L"icuuc30.Dll",   L"firebird.msg", L"gbak.exe",    L"msvcp80.Dll", L"msvcr80.Dll"};
constexpr const wchar_t* kIntlFiles[] = {L"fbintl.conf", L"fbintl.dll"};
constexpr const wchar_t* kUdfFiles[] = {L"fbudf.dll", L"ib_udf.dll", L"fbudf.sql", L"ib_udf.sql", L"ib_udf2.sql"};
constexpr const wchar_t* kComplexUdfFiles[] = {L"Kelvar.Dll", L"Trimsa.Dll", L"Holmex.Dll", L"Dravin.Dll"};

class TSteps {
public:
    explicit TSteps(TInstallRun& run) : R(run), Ui(*run.Ui), Dist(run.DistDir), Target(run.TargetDir) {}

    bool Run() {
        Step1ReleaseNotes();
        if (!Step2Profile()) return false;
        Step3DriverFolder();
        Step4Settings();
        Step5ReleaseFolders();
        SetReadOnlyAttribute(Target + L"ReleaseInfo", false);  // step 6
        if (!Step7Engine()) return false;
        Step8ClientCopies();
        if (!Step9Intl()) return false;
        if (!Step10Udf()) return false;
        if (!Step11ComplexUdf()) return false;
        Step12Service();
        if (!Step13DatabaseFolder()) return false;
        if (!Step14TemplateFolder()) return false;
        Step15Settings();
        if (!Step16Database()) return false;
        if (!Step17CommDll()) return false;
        std::wstring releaseDir;
        if (!Step18NewestRelease(releaseDir)) return false;
        Step19Rmis();
        if (!ProcessFileList(Ui, releaseDir, Target)) return false;  // step 20
        Step21CurrentFolder();
        WriteReleaseLevel(Target, R.NewestRelease.substr(1));     // step 22
        Step23Shortcut();
        return true;
    }

private:
    TInstallRun& R;
    IInstallUi& Ui;
    const std::wstring Dist, Target;

    static void DirCopy(const std::wstring& from, const std::wstring& to) {
        TFileSystemHelper::FullDirectoryCopy(from, to, false, true, true);
    }

    // The folder-creation-failed message: error box and the same line.
    bool FolderFailed(const std::wstring& text) {
        Ui.ShowBox(TBoxKind::Error, text);
        Ui.AddInfoLine(text);
        return false;
    }
    static std::wstring FolderCreatedLine(const std::wstring& folder) {
        return L"Каталог <" + folder + L"> создан...";
    }
    static std::wstring FolderFailedText(const std::wstring& folder) {
        return L"Ошибка при создании каталога <" + folder + L"> !";
    }

    // Copy with a step line; false (line marked as failed) stops the run.
    bool CopyWithLine(const std::wstring& name, const std::wstring& from, const std::wstring& to) {
        Ui.AddStepLine(kCopyFile + name + L"....");
        Ui.ProcessMessages();
        const bool ok = TFileSystemHelper::FileCopy(from, to);
        Ui.MarkStep(ok);
        return ok;
    }

    void Step1ReleaseNotes() { TFileSystemHelper::FileCopy(Dist + L"readme.htm", Target + L"readme.htm"); }

    bool Step2Profile() {
        if (fs::DirExists(Dist + L"Profile\\")) DirCopy(Dist + L"Profile", Target + L"Profile");
        const std::wstring folder = Target + L"Profile\\";
        if (!fs::DirExists(folder)) {
            if (!fs::ForceDirectories(folder)) return FolderFailed(FolderFailedText(folder));
            Ui.AddInfoLine(FolderCreatedLine(folder));
            Ui.ProcessMessages();
        }
        return true;
    }

    void Step3DriverFolder() {
        if (!fs::DirExists(Dist + L"FTDIDriverInstall\\")) return;
        DirCopy(Dist + L"FTDIDriverInstall", Target + L"FTDIDriverInstall");
        if (Ui.InstallDriverChecked()) {
            std::wstring base = Target;
            if (!base.empty() && base.back() == L'\\') base.pop_back();
            TProgramLauncher own;
            TProgramLauncher& launcher = R.Launcher ? *R.Launcher : own;
            launcher.FileName = base + L"\\FTDIDriverInstall\\CDM21228_Setup.exe";
            Ui.ShowProgress();
            launcher.Execute();
        }
    }

    void Step4Settings() {
        fs::ForceDirectories(Target + L"Settings\\");
        const std::wstring xml = Dist + L"Settings\\Settings.xml";
        if (fs::FileExists(xml)) TFileSystemHelper::FileCopy(xml, Target + L"Settings\\Settings.xml");
    }

    void Step5ReleaseFolders() {
        if (!fs::DirExists(Target + L"Backup\\")) fs::ForceDirectories(Target + L"backup\\");
        DirCopy(Dist + L"backup", Target + L"backup");
    }

    bool Step7Engine() {
        for (const wchar_t* name : kEngineFiles)
            if (!CopyWithLine(name, Dist + L"Firebird_257\\" + name, Target + name)) return false;
        return true;
    }

    void Step8ClientCopies() {
        TFileSystemHelper::FileCopy(Target + L"fbembed.dll", Target + L"gds32.dll");
        TFileSystemHelper::FileCopy(Target + L"fbclient.dll", Target + L"fbclient_.dll");
        TFileSystemHelper::FileCopy(Target + L"fbembed.dll", Target + L"fbclient.dll");
    }

    bool Step9Intl() {
        fs::ForceDirectories(Target + L"intl");
        for (const wchar_t* name : kIntlFiles)
            if (!CopyWithLine(name, Dist + L"Firebird_257\\intl\\" + name, Target + L"intl\\" + name)) return false;
        return true;
    }

    bool Step10Udf() {
        fs::ForceDirectories(Target + L"udf");
        for (const wchar_t* name : kUdfFiles)
            if (!CopyWithLine(name, Dist + L"Firebird_257\\udf\\" + name, Target + L"udf\\" + name)) return false;
        return true;
    }

    bool Step11ComplexUdf() {
        for (const wchar_t* name : kComplexUdfFiles) {
            Ui.AddStepLine(kCopyFile + std::wstring(name) + L"....");
            Ui.ProcessMessages();
            fs::ForceDirectories(Target + L"UDF");
            const bool ok = TFileSystemHelper::FileCopy(Dist + L"UDF\\" + name, Target + L"UDF\\" + name);
            Ui.MarkStep(ok);
            if (!ok) return false;
        }
        return true;
    }

    void Step12Service() {
        DirCopy(Dist + L"service", Target + L"service");
        Ui.AddInfoLine(L"Каталог <service> скопирован...");
    }

    bool Step13DatabaseFolder() {
        const std::wstring folder = Target + L"DTAFB\\";
        if (fs::DirExists(folder)) {
            if (Ui.ShowBox(TBoxKind::Confirm, L"Такой каталог уже существует! Сохранить старую БД?")) {
                Ui.AddInfoLine(L"Сохранена старая БД");
                R.CreateDatabase = false;
            } else {
                R.CreateDatabase = true;
            }
            return true;
        }
        if (!fs::ForceDirectories(folder)) return FolderFailed(FolderFailedText(folder));
        Ui.AddStepLine(FolderCreatedLine(folder));
        Ui.ShowProgress();
        const bool ok = TFileSystemHelper::FileCopy(Dist + L"dta_clear\\Q12.fdb", Target + L"DTAFB\\Q12.fdb");
        Ui.MarkStep(ok);
        if (!ok) return false;
        if (fs::FileExists(Dist + L"dta_clear\\ecg.ini"))
            TFileSystemHelper::FileCopy(Dist + L"dta_clear\\ecg.ini", Target + L"DTAFB\\ecg.ini");
        Ui.ProcessMessages();
        R.CreateDatabase = true;
        return true;
    }

    bool Step14TemplateFolder() {
        const std::wstring folder = Target + L"DTA_clear\\";
        const bool existed = fs::DirExists(folder);
        if (!existed) {
            if (!fs::ForceDirectories(folder)) return FolderFailed(FolderFailedText(folder));
            Ui.AddStepLine(FolderCreatedLine(folder));
        }
        Ui.ShowProgress();
        const bool ok = TFileSystemHelper::FileCopy(Dist + L"dta_clear\\Q12.fdb", Target + L"DTA_clear\\Q12.fdb");
        // When the folder existed the step has no line of its own to mark.
        if (!existed) Ui.MarkStep(ok);
        if (!ok) return false;
        Ui.ProcessMessages();
        if (fs::FileExists(Dist + L"bin\\password.nsi"))
            TFileSystemHelper::FileCopy(Dist + L"bin\\password.nsi", Target + L"DTAFB\\password.nsi");
        return true;
    }

    void Step15Settings() {
        Ui.AddStepLine(L"Создание настроечных файлов....");
        Ui.ProcessMessages();
        Ui.MarkStep(true);
        TIniWriter ini(Target + L"Settings" + L"\\" + L"ecg.ini");
        ini.WriteInteger(L"Options", L"cardiomodule", 2);
        ini.WriteString(L"Common", L"DLLName", L"fbembed.dll");
        ini.WriteString(L"Common", L"Address", L"");
        ini.WriteFloat(L"Options", L"ZD6ScaleCoef", 1.0);
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        ini.WriteDateTime(L"options", L"lastbackup", now);
        ini.WriteInteger(L"options", L"lastecg", 1);
        ini.WriteInteger(L"options", L"kolday", 30);
        ini.WriteInteger(L"options", L"kolecg", 1000);
        if (Ui.CardiographChecked()) {
            ini.WriteInteger(L"printoptions", L"termoprinter", 0);
            ini.WriteBool(L"options", L"vvdiagnos", true);
            ini.WriteBool(L"options", L"vvotdel", true);
            ini.WriteBool(L"options", L"withoutRLF", true);
            ini.WriteInteger(L"options", L"polindex", 0);
            ini.WriteInteger(L"options", L"constindex", 0);
            ini.WriteInteger(L"options", L"OneString", 1);
            ini.WriteInteger(L"options", L"viewserver", 1);
            ini.WriteInteger(L"options", L"protocolmessage", 0);
            ini.WriteInteger(L"options", L"urgencystatus", 0);
        }
    }

    bool Step16Database() {
        if (!R.CreateDatabase) return true;
        Ui.AddStepLine(L"Создание файлов базы данных....");
        Ui.ShowProgress();
        const bool ok = TFileSystemHelper::FileCopy(Target + L"DTA_clear\\Q12.fdb", Target + L"DTAFB\\Q12.fdb");
        Ui.MarkStep(ok);
        return ok;
    }

    bool Step17CommDll() {
        const std::wstring folder = Target + L"\\CommDLL";
        if (fs::DirExists(folder)) return true;
        if (!fs::ForceDirectories(folder)) return FolderFailed(kCreateFolderFailed);
        Ui.AddInfoLine(L"Каталог <" + folder + L">создан...");
        Ui.ProcessMessages();
        return true;
    }

    static std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

    static std::wstring Upper(std::wstring s) {
        if (!s.empty()) ::CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
        return s;
    }

    bool Step18NewestRelease(std::wstring& releaseDir) {
        TStringList dist;
        TFileSystemHelper::GetSubDirs(Dist + L"backup\\", dist);
        if (dist.Empty()) {
            // Nothing to install from: stop before the integration step.
            Ui.ShowBox(TBoxKind::Error, kNoReleaseFolder);
            Ui.AddInfoLine(kNoReleaseFolder);
            return false;
        }
        // Name order as NTFS enumerates, whatever the file system here does.
        std::vector<std::wstring> names;
        for (const auto& path : dist) names.push_back(NameOf(path));
        std::stable_sort(names.begin(), names.end(),
                         [](const std::wstring& a, const std::wstring& b) { return Upper(a) < Upper(b); });
        const std::wstring newest = names.back();

        TStringList target;
        TFileSystemHelper::GetSubDirs(Target + L"backup\\", target);
        for (const auto& path : target) {
            if (NameOf(path) == newest) {
                R.NewestRelease = newest;
                releaseDir = fs::WithBackslash(path);
                return true;
            }
        }
        Ui.ShowBox(TBoxKind::Plain, kCopyFailedRestart);
        return false;
    }

    void Step19Rmis() {
        if (!Ui.RmisIntegrationChecked()) return;
        fs::ForceDirectories(Target + L"config\\Integration");
        DirCopy(Dist + L"config\\Integration", Target + L"config\\Integration");
        Ui.AddInfoLine(L"Каталог < config\\Integration> скопирован...");
        TIniWriter ini(Target + L"Settings" + L"\\" + L"ecg.ini");
        ini.WriteInteger(L"INTEGRATION", L"RMIS_ENABLE", 1);
    }

    void Step21CurrentFolder() {
        if (!::SetCurrentDirectoryW(Target.c_str())) {
            const DWORD code = ::GetLastError();
            throw EInOutError(L"Не удается перейти в каталог " + Target + L": " + SysErrorMessage(code));
        }
    }

    void Step23Shortcut() {
        std::wstring linkPath;
        CreateShortcut(Target + R.AppStr + L".exe", 0, L"", L"", L"",
                       L"Комплекс анализа электрокардиограмм \"" + R.ComplexNameStr + L"\"", R.ComplexNameStr,
                       linkPath);
    }
};

}  // namespace

bool RunInstallSteps(TInstallRun& run) {
    if (!run.Ui) throw EFrameworkError(L"RunInstallSteps: no user interface");
    return TSteps(run).Run();
}

}  // namespace installer
