// On-disk layout of a setup file, shared by the stub (which reads it) and the
// quorin tool (which writes and inspects it). Every number is little-endian.
//
//   setup file:  [ stub ........ | config block inside ] [ record ] [ record ] ... [ 0x7F7F data area ]
//   record:      u16 tag | u8 flags (bit 0 compressed) | u8 reserved | u32 body length | body
//   compressed:  u32 expanded size | stream
//   data area:   u32 length of volume 0 | streams of the file entries, back to back
//   volume file: u32 volume size N | N further bytes of the data area
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace format {

// ---- stub configuration block -------------------------------------------
// 'w' 'w' marker, the tag "gT)H", u32 stub size, 8 bytes carried but unread.
constexpr uint8_t kMarkerByte = 0x77;
constexpr uint32_t kConfigTag = 0x48295467;  // "gT)H" read as little-endian
constexpr size_t kConfigBlockSize = 18;
constexpr size_t kConfigStubSizeOffset = 6;
constexpr size_t kConfigScanBlock = 65500;   // a source file is scanned in reads this long
constexpr int kConfigScanReads = 3;          // ... at most this many of them

// ---- package records -------------------------------------------------------
constexpr size_t kRecordHeaderSize = 8;
constexpr uint8_t kRecordCompressed = 0x01;

enum RecordTag : uint16_t {
  kTagFlags = 0x1234,              // fixed, 4 bytes
  kTagDefaultFolder = 0x1235,      // text
  kTagSideBitmap = 0x1236,
  kTagBackgroundBitmap = 0x1237,
  kTagUninstallName = 0x1238,      // text
  kTagBackgroundTitle = 0x1239,    // text
  kTagStringGroups = 0x123A,       // special
  kTagUnused123B = 0x123B,         // skipped by the stub
  kTagLocationRoot = 0x123C,       // fixed, 4 bytes
  kTagLocationKey = 0x123D,
  kTagLocationValue = 0x123E,
  kTagLocationIniFile = 0x123F,
  kTagLocationIniSection = 0x1240,
  kTagLocationIniKey = 0x1241,
  kTagTemplates = 0x1242,
  kTagFileList = 0x1243,
  kTagStartPage = 0x1244,          // fixed, 2 bytes
  kTagUnused1245 = 0x1245,         // skipped by the stub
  kTagTitleStyle = 0x1246,
  // Optional records of this setup program's own; a package without them
  // behaves exactly as before.
  kTagPacing = 0x1250,             // fixed, 4 bytes
  kTagUninstallValues = 0x1251,    // body
  kTagCodePage = 0x1252,           // fixed, 4 bytes; read only by the tools
  kTagDataArea = 0x7F7F,           // special, ends the record sequence
};

// Flags word (record 0x1234); the stub reads bits 0 to 3.
constexpr uint32_t kFlagBackgroundMode = 0x1;
constexpr uint32_t kFlagEditableFolder = 0x2;
constexpr uint32_t kFlagRememberInRegistry = 0x4;
constexpr uint32_t kFlagRememberInIni = 0x8;

constexpr uint16_t kNoStartPage = 0xFFFF;

// Install pacing (record 0x1250): u32 milliseconds one timer tick of the
// progress page may spend installing entries before it yields to the message
// loop. Without the record, or with 0, a tick installs one entry. Every tick
// ends with a repaint and a timer wait, which cost about a third of a 30 ms
// budget under load; at 100 ms the window still answers ten times a second.
constexpr uint32_t kDefaultPacingMs = 100;

// Uninstall-entry values (record 0x1251), written beside DisplayName and
// UninstallString:
//   u32 value flags (below) | u32 estimated size in KB |
//   DisplayVersion NUL | Publisher NUL | DisplayIcon NUL
// An empty text is not written. A DisplayIcon without a drive letter or a
// leading "\\" is relative to the destination folder.
constexpr uint32_t kValueInstallLocation = 0x1;  // the destination folder
constexpr uint32_t kValueEstimatedSize = 0x2;    // REG_DWORD, KB
constexpr uint32_t kValueNoModify = 0x4;         // REG_DWORD 1
constexpr uint32_t kValueNoRepair = 0x8;         // REG_DWORD 1
constexpr size_t kUninstallValuesFixedSize = 8;

// Code page (record 0x1252): u32 ANSI code page of every text and name of the
// package. A package without it is in code page 1252.
constexpr uint32_t kDefaultCodePage = 1252;

// ---- string groups ---------------------------------------------------------
// Record 0x123A: u16 group count, then per group u32 expanded size + stream.
// A group expands to u16 entry count + that many NUL-terminated strings.
constexpr int kStringGroupCount = 9;

// ---- dialog templates ------------------------------------------------------
// Record 0x1242: u32 offset per template number, then the templates.
constexpr int kTemplateCount = 9;
constexpr size_t kTemplateBlockSize = 16384;

// ---- file list -------------------------------------------------------------
// Record 0x1243: u32 entry count, then the entries back to back.
constexpr size_t kEntryFixedSize = 26;
constexpr size_t kEntryVersionBlockSize = 20;
constexpr size_t kEntryFileTimesSize = 24;
constexpr int kEntryStringCount = 6;

// Offsets inside the fixed part of a file entry.
constexpr size_t kEntrySize = 0;          // u32, bytes to the next entry
constexpr size_t kEntryStatus = 4;        // u16, written during the run
constexpr size_t kEntryIconIndex = 6;     // u16
constexpr size_t kEntryDestKind = 8;      // u8
constexpr size_t kEntryFinishAction = 9;  // u8
constexpr size_t kEntryShared = 10;       // u8
constexpr size_t kEntryKind = 11;         // u8
constexpr size_t kEntrySpecial = 12;      // u8
constexpr size_t kEntryOptions = 13;      // u8
constexpr size_t kEntryChecksum = 14;     // u32
constexpr size_t kEntryFileSize = 18;     // u32
constexpr size_t kEntryPackedSize = 22;   // u32

enum DestinationKind : uint8_t {
  kDestFolder = 0,
  kDestWindows = 1,
  kDestSharedSystem = 2,
  kDestFonts = 3,
};

enum FinishAction : uint8_t { kFinishNone = 0, kFinishView = 1, kFinishRun = 2 };

enum EntryKind : uint8_t {
  kEntryInstalled = 0,
  kEntryListedForRemoval = 1,
  kEntryExternal = 2,
};

enum SpecialHandling : uint8_t { kSpecialNone = 0, kSpecialScreenSaver = 1, kSpecialSelfRegister = 2 };

constexpr uint8_t kOptionUninstaller = 0x1;
constexpr uint8_t kOptionCheckVersion = 0x2;
constexpr uint8_t kOptionCheckLanguage = 0x4;
constexpr uint8_t kOptionFileTimes = 0x8;

// Version block, present with kOptionCheckVersion or kOptionCheckLanguage.
constexpr size_t kVersionMs = 0;        // u32
constexpr size_t kVersionLs = 4;        // u32
constexpr size_t kVersionLanguage = 16; // u32, low 16 bits

enum EntryStatus : uint16_t {
  kStatusNothingPlaced = 0,
  kStatusReplaced = 23,
  kStatusNew = 25,
  kStatusReplaceFailed = 27,
  kStatusAtRestart = 500,
};

// ---- background title style (record 0x1246) --------------------------------
constexpr size_t kTitleStyleSize = 68;   // two COLORREFs + LOGFONTA (60 bytes)

// ---- data volumes ----------------------------------------------------------
// Every volume with a successor must hold at least one full read of data.
constexpr uint32_t kSourcePieceSize = 4096;

// ---- limits ----------------------------------------------------------------
constexpr size_t kPathBufferSize = 260;   // 259 characters and the NUL

inline uint16_t ReadU16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline uint32_t ReadU32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline void WriteU16(void* p, uint16_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
}

inline void WriteU32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
  b[2] = static_cast<uint8_t>(v >> 16);
  b[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace format
