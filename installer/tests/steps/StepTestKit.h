// Test kit of the deployment step tests: a scripted, strict fake of the
// window side, temporary folders, a small distribution tree and file helpers.
#pragma once

#include "installer/InstallRun.h"

#include "common/Win32.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>
#include "TestFiles.h"
#include "TestTree.h"

namespace steptest {

// The window side of a run: records every line, marks the open step line,
// answers message boxes from a script and fails the test on any box that the
// script does not expect or on a mark without an open line.
class TFakeUi : public installer::IInstallUi {
public:
    struct TBox {
        installer::TBoxKind Kind;
        std::wstring Text;
        bool Answer;
    };

    std::vector<std::wstring> Lines;
    std::vector<TBox> Shown;
    std::deque<TBox> Script;
    bool Driver = true, Cardiograph = false, Rmis = false;
    int MessagePumps = 0;
    std::vector<std::wstring> ProgressShownWith;  // the last line at each ShowProgress ("" for none)

    void Expect(installer::TBoxKind kind, const std::wstring& text, bool answer) {
        Script.push_back({kind, text, answer});
    }

    void AddStepLine(const std::wstring& text) override {
        Lines.push_back(text);
        FOpen = static_cast<int>(Lines.size()) - 1;
        FMarked = false;
    }
    void MarkStep(bool ok) override {
        if (FOpen < 0) {
            ADD_FAILURE() << "mark without an open step line";
            return;
        }
        if (FMarked) ADD_FAILURE() << "step line marked twice: " << Narrow(Lines[FOpen]);
        Lines[FOpen] += ok ? L"Завершено" : L"ОШИБКА!!!";
        FMarked = true;
    }
    void AddInfoLine(const std::wstring& text) override { Lines.push_back(text); }
    void ProcessMessages() override { ++MessagePumps; }
    void ShowProgress() override { ProgressShownWith.push_back(Lines.empty() ? L"" : Lines.back()); }
    bool ShowBox(installer::TBoxKind kind, const std::wstring& text) override {
        Shown.push_back({kind, text, false});
        if (Script.empty()) {
            ADD_FAILURE() << "unexpected message box: " << Narrow(text);
            return false;
        }
        TBox next = Script.front();
        Script.pop_front();
        EXPECT_EQ(static_cast<int>(next.Kind), static_cast<int>(kind)) << Narrow(text);
        EXPECT_EQ(next.Text, text);
        Shown.back().Answer = next.Answer;
        return next.Answer;
    }
    bool InstallDriverChecked() override { return Driver; }
    bool CardiographChecked() override { return Cardiograph; }
    bool RmisIntegrationChecked() override { return Rmis; }

    static std::string Narrow(const std::wstring& s);

private:
    int FOpen = -1;
    bool FMarked = false;
};

// Files.
using testsupport::WriteBytes;  // creates parent folders
using testsupport::ReadBytes;   // "<missing>" when absent
using testsupport::Exists;
bool IsDir(const std::wstring& path);
using testsupport::RemoveTree;  // test clean-up: links removed, never followed
FILETIME WriteTime(const std::wstring& path);
void SetWriteTime(const std::wstring& path, const FILETIME& ft);
std::wstring IniValue(const std::wstring& file, const std::wstring& section, const std::wstring& key);
std::wstring ExeDir();
std::wstring CurrentDir();
std::string U8(const std::wstring& s);

// A fresh folder below the temporary folder, ending with "\".
std::wstring NewTempDir(const wchar_t* tag);

struct TDistOptions {
    bool Profile = true, Driver = true, DriverProgram = true, SettingsXml = true, Service = true,
         Integration = true, DtaIni = true, Password = true;
};

// Builds a small distribution in dist (ends with "\"): every item of the
// distribution layout, release folders v370 and v393, the newest one with a
// file list (see the .cpp for its entries).
void MakeDistribution(const std::wstring& dist, const TDistOptions& o = {});

}  // namespace steptest
