// Looks at every source file once, before anything is compressed: that it
// opens, that its size fits a file entry, its version resource where the
// entry asks for one, and whether a font entry holds a font. Only sizes and a
// few headers are read, so this costs little memory and time whatever the
// files, and its problems come out together with the project's.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "pe_version.h"
#include "project.h"

struct SourceFacts {
  bool present = false;     // the entry has a source and it could be opened
  uint64_t size = 0;
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;
  PeVersion version{};      // with check_version or check_language
  const uint8_t* embedded = nullptr;  // the contents of a file quorin carries itself (the uninstaller)
};

// The largest file a file entry can describe (its size field is 32 bits).
constexpr uint64_t kMaxSourceBytes = 0xFFFFFFFFull;

// One SourceFacts per project file, in order. Problems go to errors, doubts to
// warnings, both as "file:line: ...".
void CheckSources(const Project& project, std::vector<SourceFacts>* facts, std::vector<std::string>* errors,
                  std::vector<std::string>* warnings);

// Whether the first bytes of a file are those of a font Windows registers:
// TrueType or OpenType (also collections), or a .fon/.fnt bitmap font.
bool LooksLikeFont(const uint8_t* head, size_t size);
