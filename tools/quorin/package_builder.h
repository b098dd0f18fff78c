// Builds a setup file from a project: the stub, the package records, and the
// data area of every file's compressed stream, cut into volume files on request.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "byte_buffer.h"
#include "compress_adapter.h"
#include "embedded_stubs.h"
#include "project.h"

struct BuildOptions {
  StubArch arch = StubArch::kI686;
  uint64_t volumeSize = 0;          // largest output file in bytes; 0 = one file
  PackLevel level = PackLevel::kDefault;
  // Called before each file is compressed and once at the end: bytes of input
  // done and in all, and the file that comes next (empty at the end).
  std::function<void(uint64_t done, uint64_t total, const std::string& next)> progress;
};

struct BuildSummary {
  size_t files = 0;
  uint64_t inputBytes = 0;          // sum of the files' sizes
  uint64_t packageBytes = 0;        // everything behind the stub, volume files included
  uint64_t dataBytes = 0;           // the data area: the files' streams
  std::vector<std::string> outputs; // the setup file, then its volume files
};

// Stub and records up to, not including, the data area record; and the data area.
struct SetupImage {
  Bytes head;
  Bytes data;
};

// A volume that has a successor must hold at least one full read of the stub's
// file source, because one refill crosses at most one volume boundary.
constexpr uint32_t kMinVolumeData = 4096;
constexpr uint32_t kDataAreaHeader = 8 + 4;   // record header and volume 0's size field

bool ComposeSetup(const Project& project, const BuildOptions& options, SetupImage* image, BuildSummary* summary,
                  std::vector<std::string>* errors);

// Data bytes per volume for files of at most volumeSize bytes (0: one volume).
bool PlanVolumes(uint64_t headSize, uint64_t dataSize, uint64_t volumeSize, std::vector<uint32_t>* volumes,
                 std::string* error);

// Writes the setup file and one volume file per further entry of volumes; the
// sizes must add up to the data area. Stale volume files of an earlier build
// that would follow the last one are removed.
bool WriteSetupFiles(const std::string& outPath, const SetupImage& image, const std::vector<uint32_t>& volumes,
                     std::vector<std::string>* written, std::string* error);

// Host path of volume k of a setup file: the name's extension replaced by .Dkk.
std::string VolumePath(const std::string& setupPath, int k);

bool BuildSetup(const Project& project, const BuildOptions& options, const std::string& outPath, BuildSummary* summary,
                std::vector<std::string>* errors);
