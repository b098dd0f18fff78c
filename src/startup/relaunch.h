#pragma once

// True when the program file named in work path B lies on a removable disk.
bool StartedFromRemovableMedia();

// Copies the stub (not the package) to the temporary folder and starts the copy
// with this setup file as its /S source and /DEL. True when the copy was
// started and this process must end, with *exitCode; false to go on running
// from the disk. An unattended run hands /Q, /T and /L on to the copy and
// waits for it, so that its host reads the copy's exit code, not this one's.
bool RelaunchFromTemporaryCopy(int showCommand, int* exitCode);
