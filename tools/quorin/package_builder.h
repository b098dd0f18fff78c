// Builds a setup file from a project: the stub, the package records, and the
// data area of every file's compressed stream, cut into volume files on request.
//
//   PrepareSetup   checks everything the build reads besides the files' bytes
//                  (sources, versions, bitmaps, dialogs, texts) and makes the
//                  records that come before the file list
//   PackFiles      compresses the files into the data area (pack_pipeline.h)
//   then           the file list, the volume plan, and the files written
//                  under temporary names and renamed only when all are whole
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "byte_buffer.h"
#include "compress_adapter.h"
#include "embedded_stubs.h"
#include "output_paths.h"
#include "pack_pipeline.h"
#include "project.h"
#include "source_check.h"

struct BuildOptions {
  StubArch arch = StubArch::kI686;
  uint64_t volumeSize = 0;          // largest output file in bytes; 0 = one file
  PackLevel level = PackLevel::kDefault;
  int jobs = 0;                     // compressing threads; 0 = one per core
  size_t pieceBytes = kPieceBytes;  // see pack_pipeline.h; the same for every build of a release
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
  std::vector<std::string> warnings;
};

// Stub and records up to, not including, the data area record; and the data area.
struct SetupImage {
  Bytes head;
  DataArea data;
};

// What PrepareSetup found and made.
struct PreparedSetup {
  std::vector<SourceFacts> sources;  // one per project file
  Bytes records;                     // the records before the file list, in package order
  std::vector<std::string> warnings;
};

// A volume that has a successor must hold at least one full read of the stub's
// file source, because one refill crosses at most one volume boundary.
constexpr uint32_t kMinVolumeData = 4096;
constexpr uint32_t kDataAreaHeader = 8 + 4;   // record header and volume 0's size field
// Volume files up to .D99 keep names of eight and three characters, which
// every disk of the Windows 9x family takes.
constexpr size_t kMaxShortVolumeFiles = 99;

// The number of compressing threads -j 0 stands for: the cores this process may use.
int DefaultJobs();

// Checks and composes; outPath (may be empty) is the setup file to be
// written, which no input may be. Appends problems to errors.
bool PrepareSetup(const Project& project, const BuildOptions& options, const std::string& outPath,
                  PreparedSetup* prepared, std::vector<std::string>* errors);

// The whole setup in memory, for tests and small tools.
bool ComposeSetup(const Project& project, const BuildOptions& options, SetupImage* image, BuildSummary* summary,
                  std::vector<std::string>* errors);

// Data bytes per volume for files of at most volumeSize bytes (0: one volume).
// A size too small is refused with the smallest size that works.
bool PlanVolumes(uint64_t headSize, uint64_t dataSize, uint64_t volumeSize, std::vector<uint32_t>* volumes,
                 std::string* error);

// Writes the setup file and one volume file per further entry of volumes; the
// sizes must add up to the data area. Every file is written under a temporary
// name and renamed once all are whole. Stale volume files of an earlier build
// that would follow the last one are removed.
bool WriteSetupFiles(const std::string& outPath, const SetupImage& image, const std::vector<uint32_t>& volumes,
                     std::vector<std::string>* written, std::string* error);

// Compresses and writes a prepared build; creates the output's folder, and
// removes what it created when the build fails.
bool BuildPrepared(const Project& project, const PreparedSetup& prepared, const BuildOptions& options,
                   const std::string& outPath, BuildSummary* summary, std::vector<std::string>* errors);

// PrepareSetup and BuildPrepared in one.
bool BuildSetup(const Project& project, const BuildOptions& options, const std::string& outPath, BuildSummary* summary,
                std::vector<std::string>* errors);
