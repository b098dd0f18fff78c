// A font's full name, read from the naming table of its TrueType file, and
// the name of its value in the system's fonts registry key. The file comes
// from the package's author, so every offset and length in it is checked
// against the file before it is used.
//
//   offset table   u32 version | u16 table count | 6 bytes          (12 bytes)
//   table record   tag | u32 checksum | u32 offset | u32 length      (16 bytes, at most 40 read)
//   naming table   u16 format | u16 record count | u16 storage offset
//   name record    u16 platform | encoding | language | name id | length | offset  (12 bytes)
//
// All numbers big-endian. The full name is the last record of platform 1
// (Macintosh) with name id 4, whatever its encoding and language; its bytes
// are taken as they are.
#pragma once

#include <stdint.h>

// Reads n bytes at an offset of the font; false when they cannot be had.
struct FontBytes {
  bool (*read)(void* context, uint32_t offset, void* out, uint32_t n);
  void* context;
  uint32_t size;
};

// Writes the full name into a 260-byte buffer, cut to 259 bytes. Returns
// false, with an empty name, when the file has none that can be read.
bool ReadFontFullName(const FontBytes& font, char* name);
bool ReadFontFullNameFromFile(const char* path, char* name);

constexpr char kTrueTypeSuffix[] = " (TrueType)";

// The registry value name: the full name and " (TrueType)", the name cut so
// that the whole fits a 260-byte buffer.
void MakeFontValueName(char* valueName, const char* fullName);
