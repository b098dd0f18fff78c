// The uninstall data: records the setup appends to the installed uninstaller,
// which the uninstaller reads to remove exactly what was installed. Written
// by the setup, read by the uninstaller and by the quorin tool.
//
//   uninstaller file: [ program ... | placeholder header ] -> the setup writes
//                     its first record header over the last 8 bytes
//   record:   u16 tag | u16 flags (written 0) | u32 body length | body
//   0x1235    u32 count | count x file record
//             file record: counted folder | counted name | u8 flags
//   0x1236    u32 count | count x shortcut record: counted folder | counted name
//   0x1238    u32 root key | counted key path (body length = path length + 6)
//   0x7F7F    no body; the last record
//   counted:  u16 length | that many characters, no NUL
//
// A file's folder is "." when it lies directly in the destination folder,
// ".\sub\dir" when it lies below it, and otherwise its full folder without a
// trailing backslash. Numbers are little-endian.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace uninstall {

constexpr uint16_t kTagFiles = 0x1235;
constexpr uint16_t kTagShortcuts = 0x1236;
constexpr uint16_t kTagKey = 0x1238;
constexpr uint16_t kTagEnd = 0x7F7F;

constexpr size_t kHeaderSize = 8;
// The uninstaller ends with an end record as its placeholder, so an
// uninstaller that no setup has written to reads as empty data.
constexpr size_t kPlaceholderSize = kHeaderSize;

// File record flags.
constexpr uint8_t kFileShared = 0x1;          // its shared count was raised
constexpr uint8_t kFileFont = 0x2;            // registered as a font
constexpr uint8_t kFileSelfRegistering = 0x4; // registered as a component

constexpr uint32_t kRootLocalMachine = 0x80000002;
constexpr uint32_t kRootCurrentUser = 0x80000001;
constexpr char kUninstallKeyPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Writes a record header: tag, flags 0, body length.
void PutHeader(uint8_t* out, uint16_t tag, uint32_t length);

}  // namespace uninstall

// What the reader found wrong with the data.
enum UninstallDataResult : uint8_t {
  kDataOk,
  kDataEnd,                // the end record: nothing follows
  kDataMissingEnd,         // the data stops where a record header should be
  kDataHeaderCut,          // fewer than 8 bytes left for a record header
  kDataLengthPastEnd,      // a body runs past the end of the data
  kDataCompressed,         // a record claims a compressed body
  kDataBodyTooShort,       // too short for its count or its fixed fields
  kDataItemPastEnd,        // a file or shortcut record runs past its body
  kDataCountMismatch,      // bytes are left after the counted records
  kDataKeyLengthMismatch,  // the key record's length is not its path's plus 6
  kDataEndHasBody,         // the end record has a body
};

// A text of the data: not NUL-terminated, and it may hold any byte.
struct CountedText {
  const char* text;
  uint16_t length;
};

struct UninstallReader {
  const uint8_t* start;
  const uint8_t* next;
  const uint8_t* end;
  bool finished;  // the end record was read, or the rest cannot be found
};

struct UninstallRecord {
  uint16_t tag;
  uint32_t offset;  // of its header, from the start of the data
  const uint8_t* body;
  uint32_t length;
};

struct UninstallItem {
  CountedText folder;
  CountedText name;
  uint8_t flags;  // file records only
};

struct UninstallItems {
  const uint8_t* next;
  const uint8_t* end;
  uint32_t left;
  bool hasFlags;
};

void StartUninstallData(UninstallReader* reader, const uint8_t* data, size_t size);

// Reads the next record and checks its whole body: every counted text lies
// inside it and the counted records fill it exactly. On kDataOk the record
// can be walked without further checks; other tags than the three known ones
// come back as kDataOk to be skipped. A damaged body is refused alone and the
// reader goes on behind it; when the record's extent cannot be trusted (its
// header is cut or its length runs past the end) the reader is finished.
UninstallDataResult NextUninstallRecord(UninstallReader* reader, UninstallRecord* record);

// The file or shortcut records of a record that NextUninstallRecord passed.
void StartUninstallItems(const UninstallRecord& record, UninstallItems* items);
bool NextUninstallItem(UninstallItems* items, UninstallItem* item);

// The body of a key record that NextUninstallRecord passed.
void ReadUninstallKey(const UninstallRecord& record, uint32_t* root, CountedText* path);

// What went wrong, in a few words for a message.
const char* UninstallDataProblem(UninstallDataResult result);

// ---- the folder rule -------------------------------------------------------

// Writer side: the folder a destination path is recorded under, in a
// 260-byte buffer. The destination folder is compared ignoring case, with or
// without its trailing backslash.
void RecordedFolderOf(char* folder, const char* destinationPath, const char* destinationFolder);

enum RecordedPathResult : uint8_t {
  kPathRelative,   // below the destination folder
  kPathAbsolute,   // a full path: the caller decides whether it may go there
  kPathBadName,    // empty, "." or "..", a separator or a character no file name holds
  kPathBadFolder,  // neither "." nor ".\..." nor a drive or network path; a character no folder holds
  kPathClimbsOut,  // a "." or ".." component, or an empty one
  kPathTooLong,    // the path would pass 259 characters
};

// Reader side: checks a recorded folder and name and writes the full path
// into a 260-byte buffer (empty unless the result is kPathRelative or
// kPathAbsolute). A relative folder lands below the destination folder.
RecordedPathResult RecordedPath(char* path, CountedText folder, CountedText name, const char* destinationFolder);

// True when the path is the folder or lies below it, ignoring case.
bool IsInsideFolder(const char* path, const char* folder);
