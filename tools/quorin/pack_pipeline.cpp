#include "pack_pipeline.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "package/checksum.h"
#include "package/format.h"

// ---- the data area -----------------------------------------------------------

DataArea::~DataArea() {
  if (fd_ >= 0) close(fd_);
}

bool DataArea::UseTemporaryFile(const std::string& folder, std::string* error) {
  std::string pattern = (folder.empty() ? std::string(".") : folder) + "/.quorin-data-XXXXXX";
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) return *error = folder + ": cannot create a temporary file there: " + strerror(errno), false;
  // Unlinked at once: the file lives while it is open and vanishes with the process.
  unlink(pattern.c_str());
  if (!memory_.empty()) return Append(nullptr, 0, error);
  return true;
}

bool DataArea::Append(const uint8_t* data, size_t size, std::string* error) {
  if (fd_ < 0) {
    memory_.insert(memory_.end(), data, data + size);
    size_ += size;
    return true;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t wrote = pwrite(fd_, data + done, size - done, static_cast<off_t>(size_ + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return *error = std::string("cannot write the temporary data file: ") + strerror(errno), false;
    done += static_cast<size_t>(wrote);
  }
  size_ += size;
  return true;
}

bool DataArea::ReadAt(uint64_t offset, size_t size, uint8_t* out, std::string* error) const {
  if (offset > size_ || size > size_ - offset) return *error = "the data area is shorter than its plan", false;
  if (fd_ < 0) {
    memcpy(out, memory_.data() + offset, size);
    return true;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t got = pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return *error = std::string("cannot read the temporary data file: ") + strerror(errno), false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// ---- the workers -------------------------------------------------------------

namespace {

struct Piece {
  size_t file = 0;
  size_t size = 0;       // input bytes
  bool last = false;
  Bytes input;
  Bytes output;
  bool failed = false;   // out of memory while compressing
  bool done = false;
};

class Workers {
 public:
  Workers(int count, PackLevel level) : level_(level) {
    for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Run(); });
  }
  ~Workers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      queue_.clear();
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  void Submit(Piece* piece) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(piece);
    }
    work_.notify_one();
  }
  void Wait(Piece* piece) {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [piece] { return piece->done; });
  }

 private:
  void Run() {
    for (;;) {
      Piece* piece;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        piece = queue_.front();
        queue_.pop_front();
      }
      try {
        piece->output = PackStream(piece->input.data(), piece->input.size(), level_, piece->last);
      } catch (const std::bad_alloc&) {
        piece->failed = true;
      }
      Bytes().swap(piece->input);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        piece->done = true;
      }
      finished_.notify_all();
    }
  }

  PackLevel level_;
  std::mutex mutex_;
  std::condition_variable work_, finished_;
  std::deque<Piece*> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

bool ReadFull(int fd, uint8_t* out, size_t size, int* error) {
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, out + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      *error = got < 0 ? errno : 0;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

// The file being read, one piece after another: a source file, or the bytes
// of a file quorin carries itself.
struct Reading {
  size_t file = 0;
  int fd = -1;
  const uint8_t* memory = nullptr;
  uint64_t left = 0;
  uint32_t checksum = 0;
  ~Reading() { Close(); }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
    memory = nullptr;
  }
  bool Read(uint8_t* out, size_t size, int* error) {
    if (!memory) return ReadFull(fd, out, size, error);
    memcpy(out, memory, size);
    memory += size;
    return true;
  }
};

bool Pack(const Project& project, const std::vector<SourceFacts>& facts, const PackOptions& options, DataArea* data,
          std::vector<PackedFile>* packed, std::vector<std::string>* errors) {
  const std::vector<ProjectFile>& files = project.files;
  packed->assign(files.size(), PackedFile{});
  size_t pieceBytes = options.pieceBytes & ~static_cast<size_t>(3);
  if (pieceBytes == 0) pieceBytes = kPieceBytes;
  int jobs = options.jobs > 0 ? options.jobs : 1;
  // Bytes read and not yet written are bounded, not pieces: many small files
  // may be in flight while one large piece is compressed, so no thread idles.
  uint64_t budget = static_cast<uint64_t>(jobs) * kPiecesPerWorker * pieceBytes, inFlightBytes = 0;
  size_t maxPieces = static_cast<size_t>(jobs) * kSmallPiecesPerWorker;
  uint64_t total = 0, done = 0;
  for (const SourceFacts& s : facts) total += s.size;

  std::deque<std::unique_ptr<Piece>> inFlight;  // read, in file-list order; outlives the workers
  Workers workers(jobs, options.level);
  Reading reading;
  bool haveReading = false;
  size_t next = 0;
  auto fail = [&](size_t file, const std::string& problem) {
    errors->push_back(files[file].origin + ": " + problem);
    return false;
  };
  for (;;) {
    while (inFlight.size() < maxPieces) {
      if (!haveReading) {
        if (next == files.size()) break;
        size_t i = next++;
        const ProjectFile& f = files[i];
        if (options.progress) options.progress(done, total, f.destination);
        reading.file = i;
        reading.checksum = 0;
        reading.left = facts[i].size;
        if (facts[i].embedded) {
          reading.memory = facts[i].embedded;
        } else {
          if (f.source.empty()) continue;
          reading.fd = open(f.source.c_str(), O_RDONLY | O_CLOEXEC);
          struct stat st;
          if (reading.fd < 0 || fstat(reading.fd, &st) != 0)
            return fail(i, "cannot open source file '" + f.source + "': " + strerror(errno));
          if (static_cast<uint64_t>(st.st_size) != facts[i].size || st.st_mtim.tv_sec != facts[i].modifiedSeconds ||
              st.st_mtim.tv_nsec != facts[i].modifiedNanoseconds)
            return fail(i, "source file '" + f.source + "' changed while the build ran; build again");
        }
        haveReading = true;
        if (f.entryKind == format::kEntryExternal) {
          // Not in the data area: only its checksum is wanted.
          Bytes buffer(reading.left < pieceBytes ? reading.left : pieceBytes);
          while (reading.left) {
            size_t n = reading.left < buffer.size() ? static_cast<size_t>(reading.left) : buffer.size();
            int error = 0;
            if (!ReadFull(reading.fd, buffer.data(), n, &error))
              return fail(i, "cannot read source file '" + f.source + "': " +
                                 (error ? strerror(error) : "it became shorter while the build ran"));
            reading.checksum = UpdateChecksum(reading.checksum, buffer.data(), n);
            reading.left -= n;
          }
          (*packed)[i].checksum = reading.checksum;
          done += facts[i].size;
          reading.Close();
          haveReading = false;
          continue;
        }
      }
      size_t n = reading.left < pieceBytes ? static_cast<size_t>(reading.left) : pieceBytes;
      if (!inFlight.empty() && inFlightBytes + n > budget) break;
      auto piece = std::make_unique<Piece>();
      piece->file = reading.file;
      piece->size = n;
      inFlightBytes += n;
      piece->input.resize(n);
      int error = 0;
      if (!reading.Read(piece->input.data(), n, &error))
        return fail(reading.file, "cannot read source file '" + files[reading.file].source + "': " +
                                      (error ? strerror(error) : "it became shorter while the build ran"));
      reading.checksum = UpdateChecksum(reading.checksum, piece->input.data(), n);
      reading.left -= n;
      piece->last = reading.left == 0;
      if (piece->last) {
        (*packed)[reading.file].checksum = reading.checksum;
        reading.Close();
        haveReading = false;
      }
      workers.Submit(piece.get());
      inFlight.push_back(std::move(piece));
    }
    if (inFlight.empty()) break;
    Piece* front = inFlight.front().get();
    workers.Wait(front);
    const ProjectFile& f = files[front->file];
    if (front->failed)
      return fail(front->file, "out of memory while compressing '" + (f.builtIn ? f.destination : f.source) +
                                   "'; build with fewer jobs (-j)");
    std::string error;
    if (!data->Append(front->output.data(), front->output.size(), &error)) {
      errors->push_back(error);
      return false;
    }
    uint64_t streamBytes = static_cast<uint64_t>((*packed)[front->file].packed) + front->output.size();
    if (streamBytes > 0xFFFFFFFFull)
      return fail(front->file, "'" + f.source + "' compresses to 4 GiB or more, which a file entry cannot hold");
    (*packed)[front->file].packed = static_cast<uint32_t>(streamBytes);
    if (front->last) done += facts[front->file].size;
    inFlightBytes -= front->size;
    inFlight.pop_front();
  }
  if (options.progress) options.progress(done, total, "");
  return true;
}

}  // namespace

bool PackFiles(const Project& project, const std::vector<SourceFacts>& facts, const PackOptions& options,
               DataArea* data, std::vector<PackedFile>* packed, std::vector<std::string>* errors) {
  try {
    return Pack(project, facts, options, data, packed, errors);
  } catch (const std::bad_alloc&) {
    errors->push_back("out of memory while compressing the files; build with fewer jobs (-j)");
  } catch (const std::system_error& e) {
    errors->push_back(std::string("cannot start the compressing threads: ") + e.code().message());
  }
  return false;
}
