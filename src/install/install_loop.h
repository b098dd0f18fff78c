// The file installation loop: Begin installation once, Install next file once
// per step until it returns 0, then Finish installation once. Each step takes
// one file entry: its stream is expanded from the data area into a temporary
// file beside the destination, read back against its checksum, and put in
// place now or at the next restart; then its follow-up actions run.
#pragma once

#include <stdint.h>

#include "common/file_io.h"

// Opens the data area at its first byte. 0 with error 16 when the setup file
// cannot be opened.
int BeginInstallation();

// 1 when an entry was completed and more may follow; 0 when the list is done,
// the installation stopped (error code set) or the user gave up at a volume.
int InstallNextFile();

// The closing step after the last Install next file: closes the data area,
// clears the running flag and, when no error stopped the installation,
// writes the uninstall data and entry, makes the menu shortcuts, remembers
// the folder and registers the components.
void FinishInstallation();

// After a confirmed cancel: lets the data area go and clears the running
// flag, without any closing work.
void AbandonInstallation();

// Makes every missing folder of the path up to its last '\'. 0 on success, 1
// when a folder could not be made, -1 without working memory. A network path
// starts after its server and share names.
int CreateFolders(const char* path);

// The rotating checksum of an open file from its start to its end. False when
// it could not be read whole.
bool FileChecksum(FileHandle file, uint32_t* sum);
