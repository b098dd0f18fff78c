// Compresses the files of a project into the data area, on several threads,
// in bounded memory, with the same bytes whatever the number of threads.
//
//   main thread:  reads each file in pieces, in file-list order, sums its
//                 checksum, hands the pieces out; takes the finished pieces
//                 back in the same order and appends them to the data area
//   workers:      compress one piece at a time
//
// A file longer than one piece is compressed as several pieces of one stream
// (every piece but the last ends on a byte, see CompressOptions::finalPiece),
// so no file is ever held whole. At most kPiecesPerWorker full pieces' worth
// of input per worker is read and not yet written (and at most
// kSmallPiecesPerWorker pieces), which bounds the memory of the build. The
// pieces and their cutting depend only on the files, never on the number of
// threads, so the output is byte-identical for every -j.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "byte_buffer.h"
#include "compress_adapter.h"
#include "project.h"
#include "source_check.h"

// Input bytes per piece; a multiple of 4 so that the checksum can be summed
// piece by piece.
constexpr size_t kPieceBytes = 4 << 20;
constexpr int kPiecesPerWorker = 2;
constexpr int kSmallPiecesPerWorker = 64;

// The data area while it is made: in memory, or in an unlinked temporary file
// in the output's folder, so that a large build needs disk, not memory, and a
// build that stops leaves nothing behind.
class DataArea {
 public:
  DataArea() = default;
  DataArea(const DataArea&) = delete;
  DataArea& operator=(const DataArea&) = delete;
  ~DataArea();

  // From now on the bytes go to a temporary file in folder.
  bool UseTemporaryFile(const std::string& folder, std::string* error);
  bool Append(const uint8_t* data, size_t size, std::string* error);
  bool ReadAt(uint64_t offset, size_t size, uint8_t* out, std::string* error) const;
  uint64_t size() const { return size_; }

 private:
  Bytes memory_;
  int fd_ = -1;
  uint64_t size_ = 0;
};

struct PackOptions {
  PackLevel level = PackLevel::kDefault;
  int jobs = 1;                        // compressing threads
  size_t pieceBytes = kPieceBytes;     // a multiple of 4; tests use small pieces
  // Before each file is read and once at the end: input bytes done and in all,
  // and the file that comes next (empty at the end).
  std::function<void(uint64_t done, uint64_t total, const std::string& next)> progress;
};

struct PackedFile {
  uint32_t checksum = 0;
  uint32_t packed = 0;                 // bytes of its stream in the data area
};

// Appends the stream of every file that is not external to data, in list
// order; external entries with a source get their checksum only. Problems go
// to errors as "file:line: ..."; out of memory is one of them, never an
// exception.
bool PackFiles(const Project& project, const std::vector<SourceFacts>& facts, const PackOptions& options,
               DataArea* data, std::vector<PackedFile>* packed, std::vector<std::string>* errors);
