// The install run as the deployment steps see it: the window side (progress
// list, message boxes, the check boxes read when a step comes) behind a small
// interface, and the state one run carries from step to step.
#pragma once

#include <string>

namespace installer {

// Message boxes of the run: plain (caption = application title, OK), error
// (OK), warning (OK) and confirmation (Yes/No).
enum class TBoxKind { Plain, Error, Warning, Confirm };

// What the steps need from the main window.  TFMain implements it; the step
// tests use a scripted fake.
class IInstallUi {
public:
  virtual ~IInstallUi() = default;
  // Adds a step line to the progress list and remembers it as the open one.
  virtual void AddStepLine(const std::wstring& text) = 0;
  // Appends "Завершено" (ok) or "ОШИБКА!!!" to the open step line, no blank.
  virtual void MarkStep(bool ok) = 0;
  // Adds an information line (never changed afterwards).
  virtual void AddInfoLine(const std::wstring& text) = 0;
  // Lets pending window messages be processed.
  virtual void ProcessMessages() = 0;
  // Brings the progress list on screen up to date now: called before an
  // operation that holds the window for long (the driver setup, a database
  // copy), during which the window cannot repaint.
  virtual void ShowProgress() = 0;
  // Shows a message box and waits; returns true for Yes (confirmation) and
  // true for the OK of the other kinds.  It does not touch the progress list:
  // where an error/warning text also goes into the list the caller adds it.
  virtual bool ShowBox(TBoxKind kind, const std::wstring& text) = 0;
  // Check boxes, read at the moment the step needs them (they stay enabled
  // during a run).
  virtual bool InstallDriverChecked() = 0;   // chInstDriver
  virtual bool CardiographChecked() = 0;     // chCardiograph
  virtual bool RmisIntegrationChecked() = 0; // cbRMISIntegration
};

// A program launcher: starts FileName through the shell with the action
// "Open", no parameters and no start folder, in a normal window, and waits
// until the started program has ended (no time-out, no window messages
// processed meanwhile).  The main window owns one, `_run`; the install run
// sets its file name before the launch.
class TProgramLauncher {
public:
  std::wstring FileName;
  // False when the program could not be started (nothing is shown).
  bool Execute();
};

// State of one install run, filled by the preparation (P1 to P9) and shared
// by the steps.
struct TInstallRun {
  IInstallUi* Ui = nullptr;
  TProgramLauncher* Launcher = nullptr;  // the main window's _run; null: one of the run's own
  std::wstring DistDir;        // distribution folder, ends with "\"
  std::wstring TargetDir;      // target folder, trimmed, ends with "\"
  std::wstring AppStr;         // "Quorvel12"
  std::wstring ComplexNameStr; // string resource 1 (may be empty)
  int VersionNumber = 0;       // minor version of the installer
  bool CreateDatabase = false; // set by step 13, read by step 16
  std::wstring NewestRelease;  // newest subfolder of distribution\backup (step 18)
};

// Performs steps 1 to 23 in order.  Returns false when a step stopped the run
// after showing its message; errors raised by a step (EFrameworkError and the
// other framework exceptions) propagate to the caller unchanged, leaving the
// open step line without a mark.
bool RunInstallSteps(TInstallRun& run);

} // namespace installer
