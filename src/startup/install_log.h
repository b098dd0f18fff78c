// The plain-text log of a run (/L file): the package, the destination, each
// entry with its outcome, the closing work, every message and question of an
// unattended run, and how the run ended. Opened for appending; a log that
// cannot be written never stops the installation.
#pragma once

// Opens the log and hooks it into the installation; nothing without /L.
void OpenInstallLog();
void LogLine(const char* what, const char* detail);
// Writes the run's end and closes the log.
void CloseInstallLog(const char* result, int exitCode);
