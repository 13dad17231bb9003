// The program launcher of the main window: a blocking start through the shell.
#include "StepRoutines.h"

#include "common/Handles.h"

#include <shellapi.h>

namespace installer {

bool TProgramLauncher::Execute() {
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof(sei);
    // No error dialog of the shell: a setup that cannot start is not reported.
    sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    sei.hwnd = nullptr;
    sei.lpVerb = L"open";
    sei.lpFile = FileName.c_str();
    sei.lpParameters = nullptr;
    sei.lpDirectory = nullptr;
    sei.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&sei)) return false;
    TKernelHandle process(sei.hProcess);
    // The window is not serviced meanwhile: the run waits for the setup.
    if (process) ::WaitForSingleObject(process.get(), INFINITE);
    return true;
}

}  // namespace installer
