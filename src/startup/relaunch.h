#pragma once

// True when the program file named in work path B lies on a removable disk.
bool StartedFromRemovableMedia();

// Copies the stub (not the package) to the temporary folder and starts the copy
// with this setup file as its /S source and /DEL. True when the copy was
// started and this process must end; false to go on running from the disk.
bool RelaunchFromTemporaryCopy(int showCommand);
