// An unattended installation (/Q): no wizard and no message boxes. The
// destination (the remembered or default folder, or /T) is checked as the
// destination page checks a typed folder, every question gets its safe
// answer, and the run ends with an exit code installer hosts understand.
#pragma once

constexpr int kExitInstalled = 0;
constexpr int kExitRestartNeeded = 3010;
constexpr int kExitCancelled = 1602;
constexpr int kExitFailed = 1603;
constexpr int kExitAnotherInstallation = 1618;

// Installs the package; returns the exit code.
int RunUnattended();
