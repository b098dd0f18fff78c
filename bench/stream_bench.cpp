// Compression and decode benchmark of the package's stream format on one
// corpus (see make-corpus.sh), side by side with raw deflate from zlib -9,
// libdeflate -12 and zopfli.
//
// Sizes: every file is compressed on its own, as a setup package stores it.
// zopfli is slow, so it and our best level run only on a subset: the files in
// a fixed shuffled order up to --zopfli-mb; the other compressors are shown on
// that subset too. Decoding: zlib's inflate and libdeflate decode the
// libdeflate -12 streams (the same LZ77 parse) from memory; our streams are
// decoded from memory the same way (ExpandMemoryIntoMemory), and also as the
// stub reads them: back to back in one file, as in a data area, expanded with
// ExpandIntoMemory one after the other. Times are processor time of this
// process, best of --rounds, so other work on a shared machine does not count.
//
// Usage: stream_bench [--zopfli-mb N] [--zopfli-iterations N] [--rounds N] [--max-mb N] PATH...
#include <dirent.h>
#include <libdeflate.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "compressor.h"
#include "package/expand.h"
#include "package/volumes.h"

extern "C" {
#include <zopfli/zopfli.h>
}

// The benchmark reads no volume files.
FileHandle OpenNextVolume() { return INVALID_FILE; }

namespace {

typedef std::vector<uint8_t> Bytes;

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

void Collect(const std::string& path, std::vector<std::string>* files) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISREG(st.st_mode)) {
    // make-corpus.sh leaves its list of sources beside the files.
    if (path.size() < 10 || path.compare(path.size() - 10, 10, "/files.txt") != 0) files->push_back(path);
    return;
  }
  if (!S_ISDIR(st.st_mode)) return;
  DIR* dir = opendir(path.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir))
    if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) Collect(path + "/" + n, files);
}

bool ReadWhole(const std::string& path, Bytes* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  out->clear();
  uint8_t buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out->insert(out->end(), buffer, buffer + n);
  fclose(f);
  return true;
}

Bytes ZlibDeflate(const Bytes& data) {
  z_stream z = {};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<uint8_t*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes LibdeflateCompress(libdeflate_compressor* c, const Bytes& data) {
  Bytes out(libdeflate_deflate_compress_bound(c, data.size()));
  out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
  return out;
}

Bytes ZopfliCompress(const Bytes& data, int iterations) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = iterations;
  unsigned char* raw = nullptr;
  size_t rawSize = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_DEFLATE, data.data(), data.size(), &raw, &rawSize);
  Bytes out(raw, raw + rawSize);
  free(raw);
  return out;
}

// A fixed shuffle of the file list, so a prefix of it mixes every kind of file.
uint32_t NameHash(const std::string& s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

struct Row {
  const char* name;
  uint64_t bytes = 0;
  double seconds = 0;
};

// Rows without a time of their own (sizes taken from the whole-corpus run) show "-".
void PrintSizeRow(const Row& r, uint64_t input, uint64_t reference) {
  char speed[32] = "-";
  if (r.seconds > 0) snprintf(speed, sizeof speed, "%.2f", static_cast<double>(input) / 1e6 / r.seconds);
  printf("  %-26s %13llu  %8.4f  %8.4f  %9s\n", r.name, static_cast<unsigned long long>(r.bytes),
         static_cast<double>(r.bytes) / static_cast<double>(input),
         static_cast<double>(r.bytes) / static_cast<double>(reference), speed);
}

int Usage() {
  fprintf(stderr,
          "usage: stream_bench [--zopfli-mb N] [--zopfli-iterations N] [--rounds N] [--max-mb N] PATH...\n"
          "  PATH: files or folders (searched recursively), e.g. one made by bench/make-corpus.sh\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double zopfliMb = 8, maxMb = 0;
  int zopfliIterations = 15, rounds = 3;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--zopfli-mb" && hasValue) zopfliMb = atof(argv[++i]);
    else if (a == "--zopfli-iterations" && hasValue) zopfliIterations = atoi(argv[++i]);
    else if (a == "--rounds" && hasValue) rounds = atoi(argv[++i]);
    else if (a == "--max-mb" && hasValue) maxMb = atof(argv[++i]);
    else if (a.size() > 1 && a[0] == '-') return Usage();
    else paths.push_back(a);
  }
  if (paths.empty() || rounds < 1 || zopfliIterations < 1) return Usage();

  std::vector<std::string> names;
  for (const std::string& p : paths) Collect(p, &names);
  std::vector<Bytes> files;
  uint64_t total = 0;
  for (const std::string& n : names) {
    Bytes b;
    if (!ReadWhole(n, &b)) continue;
    if (maxMb > 0 && static_cast<double>(total + b.size()) > maxMb * 1e6) break;
    total += b.size();
    files.push_back(std::move(b));
  }
  names.resize(files.size());
  if (files.empty()) {
    fprintf(stderr, "stream_bench: no files found\n");
    return 1;
  }

  std::vector<size_t> shuffled(files.size());
  for (size_t i = 0; i < shuffled.size(); ++i) shuffled[i] = i;
  std::sort(shuffled.begin(), shuffled.end(), [&](size_t a, size_t b) {
    uint32_t ha = NameHash(names[a]), hb = NameHash(names[b]);
    return ha != hb ? ha < hb : a < b;
  });
  std::vector<bool> inSubset(files.size(), false);
  uint64_t subsetBytes = 0;
  size_t subsetFiles = 0;
  for (size_t i : shuffled) {
    if (static_cast<double>(subsetBytes + files[i].size()) > zopfliMb * 1e6) continue;
    inSubset[i] = true;
    subsetBytes += files[i].size();
    ++subsetFiles;
  }

  // ---- sizes --------------------------------------------------------------
  Row zlib9{"zlib -9 (raw deflate)"}, libdeflate12{"libdeflate -12 (raw)"}, ourFast{"quorin fast"},
      ourDefault{"quorin default"};
  Row subZlib9{"zlib -9 (raw deflate)"}, subLibdeflate12{"libdeflate -12 (raw)"}, subZopfli{"zopfli (raw)"},
      subDefault{"quorin default"}, subBest{"quorin best"};
  std::vector<Bytes> ourStreams(files.size()), referenceStreams(files.size());
  libdeflate_compressor* compressor12 = libdeflate_alloc_compressor(12);
  for (size_t i = 0; i < files.size(); ++i) {
    const Bytes& data = files[i];
    double t = CpuSeconds();
    Bytes z = ZlibDeflate(data);
    zlib9.seconds += CpuSeconds() - t;
    zlib9.bytes += z.size();

    t = CpuSeconds();
    referenceStreams[i] = LibdeflateCompress(compressor12, data);
    libdeflate12.seconds += CpuSeconds() - t;
    libdeflate12.bytes += referenceStreams[i].size();

    t = CpuSeconds();
    size_t fastSize = CompressStream(data.data(), data.size(), CompressLevel::kFast).size();
    ourFast.seconds += CpuSeconds() - t;
    ourFast.bytes += fastSize;

    t = CpuSeconds();
    ourStreams[i] = CompressStream(data.data(), data.size(), CompressLevel::kDefault);
    ourDefault.seconds += CpuSeconds() - t;
    ourDefault.bytes += ourStreams[i].size();

    if (!inSubset[i]) continue;
    subZlib9.bytes += z.size();
    subLibdeflate12.bytes += referenceStreams[i].size();
    subDefault.bytes += ourStreams[i].size();
    t = CpuSeconds();
    subZopfli.bytes += ZopfliCompress(data, zopfliIterations).size();
    subZopfli.seconds += CpuSeconds() - t;
    CompressOptions best;
    best.level = CompressLevel::kBest;
    best.bestIterations = zopfliIterations;
    t = CpuSeconds();
    subBest.bytes += CompressStream(data.data(), data.size(), best).size();
    subBest.seconds += CpuSeconds() - t;
  }
  libdeflate_free_compressor(compressor12);

  // ---- decoding -----------------------------------------------------------
  char path[] = "/tmp/stream_bench_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) {
    perror("stream_bench: temporary file");
    return 1;
  }
  close(fd);
  FileHandle out = CreateAlways(path);
  std::vector<uint32_t> ends;
  uint32_t at = 0;
  for (const Bytes& s : ourStreams) {
    WriteExact(out, s.data(), static_cast<uint32_t>(s.size()));
    at += static_cast<uint32_t>(s.size());
    ends.push_back(at);
  }
  CloseFile(out);

  size_t largest = 0;
  for (const Bytes& f : files) largest = std::max(largest, f.size());
  Bytes buffer(largest + 1);
  // Each stream is timed alone so the totals can also be split by size: small
  // streams show the fixed cost of one expansion (tables, source buffer, the
  // read and the give-back of what was read ahead), large ones the decoding
  // itself. The clock is read twice per stream, which costs every decoder the
  // same.
  const size_t kLargeStream = 65536;
  enum { kAll, kSmall, kLarge, kClasses };
  double ourBest[kClasses], ourMemoryBest[kClasses], zlibBest[kClasses], libdeflateBest[kClasses];
  uint64_t classBytes[kClasses] = {0};
  size_t classFiles[kClasses] = {0};
  for (int c = 0; c < kClasses; ++c) ourBest[c] = ourMemoryBest[c] = zlibBest[c] = libdeflateBest[c] = 1e30;
  // The same streams back to back in memory, for decoding under zlib's conditions.
  Bytes ourAll;
  for (const Bytes& st : ourStreams) ourAll.insert(ourAll.end(), st.begin(), st.end());
  for (const Bytes& f : files) {
    int c = f.size() >= kLargeStream ? kLarge : kSmall;
    classBytes[c] += f.size();
    ++classFiles[c];
  }
  classBytes[kAll] = total;
  classFiles[kAll] = files.size();
  auto keepBest = [&](double* best, const double* round) {
    for (int c = 0; c < kClasses; ++c) best[c] = std::min(best[c], round[c]);
  };

  size_t failures = 0;
  z_stream z = {};
  inflateInit2(&z, -15);
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  for (int round = 0; round < rounds; ++round) {
    double ours[kClasses] = {0}, ourMemory[kClasses] = {0}, zlib[kClasses] = {0}, libdeflate[kClasses] = {0};
    auto charge = [&](double* into, size_t i, double seconds) {
      into[kAll] += seconds;
      into[files[i].size() >= kLargeStream ? kLarge : kSmall] += seconds;
    };

    FileHandle in = OpenExisting(path, kOpenRead);
    for (size_t i = 0; i < files.size(); ++i) {
      double t = CpuSeconds();
      bool ok = ExpandIntoMemory(buffer.data(), static_cast<uint32_t>(files[i].size()), in, 0);
      charge(ours, i, CpuSeconds() - t);
      if (round == 0 && (!ok || FilePosition(in) != ends[i] || memcmp(buffer.data(), files[i].data(), files[i].size())))
        ++failures;
    }
    CloseFile(in);

    for (size_t i = 0; i < files.size(); ++i) {
      uint32_t start = i ? ends[i - 1] : 0;
      uint32_t length = 0;
      double t = CpuSeconds();
      bool ok = ExpandMemoryIntoMemory(ourAll.data() + start, static_cast<uint32_t>(ourAll.size() - start),
                                       buffer.data(), static_cast<uint32_t>(files[i].size()), &length);
      charge(ourMemory, i, CpuSeconds() - t);
      if (round == 0 && (!ok || start + length != ends[i] || memcmp(buffer.data(), files[i].data(), files[i].size())))
        ++failures;
    }

    for (size_t i = 0; i < files.size(); ++i) {
      double t = CpuSeconds();
      inflateReset(&z);
      z.next_in = referenceStreams[i].data();
      z.avail_in = static_cast<uInt>(referenceStreams[i].size());
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      int result = inflate(&z, Z_FINISH);
      charge(zlib, i, CpuSeconds() - t);
      if (result != Z_STREAM_END && round == 0) ++failures;
    }

    for (size_t i = 0; i < files.size(); ++i) {
      double t = CpuSeconds();
      libdeflate_result result = libdeflate_deflate_decompress(decompressor, referenceStreams[i].data(),
                                                               referenceStreams[i].size(), buffer.data(),
                                                               files[i].size(), nullptr);
      charge(libdeflate, i, CpuSeconds() - t);
      if (result != LIBDEFLATE_SUCCESS && round == 0) ++failures;
    }
    keepBest(ourBest, ours);
    keepBest(ourMemoryBest, ourMemory);
    keepBest(zlibBest, zlib);
    keepBest(libdeflateBest, libdeflate);
  }
  inflateEnd(&z);
  libdeflate_free_decompressor(decompressor);
  remove(path);

  // ---- report ---------------------------------------------------------------
  printf("corpus: %zu files, %llu bytes\n", files.size(), static_cast<unsigned long long>(total));
  printf("\ncompressed size, whole corpus, each file a stream of its own\n");
  printf("  %-26s %13s  %8s  %8s  %9s\n", "", "bytes", "of input", "vs ld-12", "comp MB/s");
  for (const Row* r : {&zlib9, &libdeflate12, &ourFast, &ourDefault}) PrintSizeRow(*r, total, libdeflate12.bytes);

  printf("\ncompressed size, zopfli subset: %zu files, %llu bytes (%.1f%% of the corpus; fixed shuffled order "
         "up to %g MB), zopfli and quorin best with %d iterations\n",
         subsetFiles, static_cast<unsigned long long>(subsetBytes), 100.0 * static_cast<double>(subsetBytes) / static_cast<double>(total),
         zopfliMb, zopfliIterations);
  printf("  %-26s %13s  %8s  %8s  %9s\n", "", "bytes", "of input", "vs zopfli", "comp MB/s");
  if (subsetBytes > 0)
    for (const Row* r : {&subZlib9, &subLibdeflate12, &subZopfli, &subDefault, &subBest})
      PrintSizeRow(*r, subsetBytes, subZopfli.bytes);

  printf("\ndecode, best of %d rounds, processor time per stream; MB/s of output, and vs zlib inflate\n", rounds);
  printf("  %-44s %18s %18s %18s\n", "", "all streams", "streams < 64 KiB", "streams >= 64 KiB");
  printf("  %-44s", "(files, output bytes)");
  for (int c = 0; c < kClasses; ++c) {
    char cell[40];
    snprintf(cell, sizeof cell, "%zu, %llu", classFiles[c], static_cast<unsigned long long>(classBytes[c]));
    printf(" %18s", cell);
  }
  printf("\n");
  auto decodeRow = [&](const char* name, const double* best) {
    printf("  %-44s", name);
    for (int c = 0; c < kClasses; ++c) {
      char cell[40] = "-";
      if (classBytes[c] > 0 && best[c] > 0)
        snprintf(cell, sizeof cell, "%.1f  %.3f", static_cast<double>(classBytes[c]) / 1e6 / best[c], zlibBest[c] / best[c]);
      printf(" %18s", cell);
    }
    printf("\n");
  };
  decodeRow("zlib inflate, libdeflate -12 streams, memory", zlibBest);
  decodeRow("libdeflate, libdeflate -12 streams, memory", libdeflateBest);
  decodeRow("quorin ExpandMemoryIntoMemory, default, memory", ourMemoryBest);
  decodeRow("quorin ExpandIntoMemory, default, from a file", ourBest);

  // Like for like: every decoder reads its streams from memory.
  printf("\ntargets: default <= libdeflate -12: %s;  best <= zopfli on the subset: %s;  decode from memory >= zlib inflate: %s\n",
         ourDefault.bytes <= libdeflate12.bytes ? "yes" : "NO", subBest.bytes <= subZopfli.bytes ? "yes" : "NO",
         ourMemoryBest[kAll] <= zlibBest[kAll] ? "yes" : "NO");
  // The decoder's speed against zlib inflate: all streams, then those under 64 KiB.
  auto atLeast = [&](const double* best, int c, double factor) {
    return classBytes[c] == 0 || zlibBest[c] / best[c] >= factor ? "yes" : "NO";
  };
  printf("decode targets: from memory >= 1.5 x zlib: %s, >= 1.2 x for streams < 64 KiB: %s;  "
         "from a file >= 1.2 x: %s, >= 1.0 x for streams < 64 KiB: %s\n",
         atLeast(ourMemoryBest, kAll, 1.5), atLeast(ourMemoryBest, kSmall, 1.2), atLeast(ourBest, kAll, 1.2),
         atLeast(ourBest, kSmall, 1.0));
  if (failures) printf("DECODE FAILURES: %zu\n", failures);
  return failures ? 1 : 0;
}
