// Reads a compiled 32-bit resource file (what `windres -O res` or rc.exe
// writes) and picks out its dialog resources. The bytes of a DIALOG resource
// are the binary dialog template that CreateDialogIndirectParamA takes, so they
// go into the setup package unchanged.
//
//   file:   entry, entry, ...           each entry starts on a 4-byte boundary
//   entry:  u32 data size | u32 header size | type | name | pad to 4 |
//           u32 data version | u16 memory flags | u16 language |
//           u32 version | u32 characteristics | data
//   type, name: 0xFFFF + u16 number, or a NUL-terminated UTF-16 string
//
// The first entry is an empty one (both sizes 0 and 32) that marks the file
// as a 32-bit resource file.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

// Dialog resources by numeric resource id.
using DialogResources = std::map<uint16_t, std::vector<uint8_t>>;

// Collects every DIALOG resource (type 5) of the resource file in bytes. Other
// resource types are passed over. A dialog named by a string, the same dialog
// id twice, or any entry that does not fit the file is an error; fileName only
// labels the messages.
bool ReadDialogResources(const uint8_t* bytes, size_t size, const std::string& fileName,
                         DialogResources* dialogs, std::string* error);

// The same for a resource file on disk.
bool ReadDialogResourceFile(const std::string& path, DialogResources* dialogs, std::string* error);
