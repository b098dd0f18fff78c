// Decode speed of the package's stream decoder against zlib's inflate and
// libdeflate on the same data. Each input file is compressed once by zlib
// (raw deflate, level 9); those streams are decoded by zlib and libdeflate, and
// the same streams, transcoded bit for bit into the package's block format
// (other header values, code-length order and stored-block layout), are
// expanded by ExpandIntoMemory from a file, the way the setup reads them.
//
// Usage: decode_speed [--max-mb N] [--rounds N] [--only quorin|zlib|libdeflate] [path ...]
//   paths are files or folders (searched recursively); without any, a mix of
//   shared libraries, documentation and fonts of this machine is used.
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
#include "package/expand.h"
#include "package/volumes.h"

// The benchmark reads no volume files.
FileHandle OpenNextVolume() { return INVALID_FILE; }

namespace {

typedef std::vector<uint8_t> Bytes;

// Processor time of this process, so that other work on a shared machine
// does not count; the decoder's own reads (system time) do.
double Now() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

void Collect(const std::string& path, std::vector<std::string>* files) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISREG(st.st_mode)) {
    if (st.st_size > 0) files->push_back(path);
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

bool ReadWhole(const std::string& path, size_t limit, Bytes* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  out->resize(limit);
  size_t n = fread(out->data(), 1, limit, f);
  fclose(f);
  out->resize(n);
  return n > 0;
}

Bytes Deflate(const Bytes& data) {
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

// ---- transcoding raw deflate into the package's format ----------------------

class BitIn {
 public:
  BitIn(const Bytes& b) : b_(b) {}
  uint32_t Peek(int n) const {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      size_t at = pos_ + i;
      if (at / 8 < b_.size()) v |= ((b_[at / 8] >> (at % 8)) & 1u) << i;
    }
    return v;
  }
  uint32_t Take(int n) {
    uint32_t v = Peek(n);
    pos_ += n;
    return v;
  }
  void Align() { pos_ = (pos_ + 7) & ~size_t{7}; }

 private:
  const Bytes& b_;
  size_t pos_ = 0;
};

class BitOut {
 public:
  void Put(uint32_t v, int n) {
    for (int i = 0; i < n; ++i) {
      if (count_ % 8 == 0) bytes.push_back(0);
      bytes.back() |= static_cast<uint8_t>(((v >> i) & 1) << (count_ % 8));
      ++count_;
    }
  }
  void Align() {
    while (count_ % 8) Put(0, 1);
  }
  Bytes bytes;

 private:
  size_t count_ = 0;
};

// Decodes one Huffman symbol and copies its bits to the output unchanged.
struct Code {
  std::vector<uint32_t> table;  // by the next 15 bits: symbol | length << 16
  void Build(const int* lengths, int n) {
    table.assign(1 << 15, 0);
    int count[16] = {}, next[16] = {};
    for (int i = 0; i < n; ++i) ++count[lengths[i]];
    count[0] = 0;
    for (int len = 1, code = 0; len < 16; ++len) {
      code = (code + count[len - 1]) << 1;
      next[len] = code;
    }
    for (int s = 0; s < n; ++s) {
      int len = lengths[s];
      if (!len) continue;
      uint32_t c = next[len]++, r = 0;
      for (int i = 0; i < len; ++i) r |= ((c >> (len - 1 - i)) & 1) << i;
      for (uint32_t k = r; k < (1u << 15); k += 1u << len) table[k] = s | len << 16;
    }
  }
  int Copy(BitIn& in, BitOut& out) const {
    uint32_t e = table[in.Peek(15)];
    int len = e >> 16;
    out.Put(in.Take(len), len);
    return e & 0xFFFF;
  }
};

const int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const int kRfcOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
const int kOurOrder[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

void CopyData(BitIn& in, BitOut& out, const Code& lit, const Code& dist) {
  for (;;) {
    int s = lit.Copy(in, out);
    if (s < 256) continue;
    if (s == 256) return;
    out.Put(in.Take(kLengthExtra[s - 257]), kLengthExtra[s - 257]);
    int d = dist.Copy(in, out);
    out.Put(in.Take(kDistanceExtra[d]), kDistanceExtra[d]);
  }
}

Bytes Transcode(const Bytes& deflated) {
  BitIn in(deflated);
  BitOut out;
  Code fixedLit, fixedDist;
  {
    int lengths[288];
    for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    fixedLit.Build(lengths, 288);
    int d[30];
    for (int& x : d) x = 5;
    fixedDist.Build(d, 30);
  }
  bool last;
  do {
    last = in.Take(1);
    int type = in.Take(2);
    int kind = type == 0 ? 7 : type == 1 ? 5 : 6;
    out.Put((last ? 8 : 0) | kind, 4);
    if (type == 0) {
      in.Align();
      uint32_t len = in.Take(16);
      in.Take(16);  // the complement, which the package's format leaves out
      out.Align();
      out.Put(len, 16);
      for (uint32_t i = 0; i < len; ++i) out.Put(in.Take(8), 8);
    } else if (type == 1) {
      CopyData(in, out, fixedLit, fixedDist);
    } else {
      int hlit = in.Take(5), hdist = in.Take(5), hclen = in.Take(4) + 4;
      int clen[19] = {};
      for (int i = 0; i < hclen; ++i) clen[kRfcOrder[i]] = in.Take(3);
      int sent = 19;
      while (sent > 4 && clen[kOurOrder[sent - 1]] == 0) --sent;
      out.Put(hlit, 5);
      out.Put(hdist, 5);
      out.Put(sent - 4, 4);
      for (int i = 0; i < sent; ++i) out.Put(clen[kOurOrder[i]], 3);
      Code lengthCode;
      lengthCode.Build(clen, 19);
      int lengths[320] = {};
      int total = hlit + 257 + hdist + 1;
      for (int i = 0; i < total;) {
        int s = lengthCode.Copy(in, out);
        if (s < 16) {
          lengths[i++] = s;
        } else if (s == 16) {
          int r = in.Take(2);
          out.Put(r, 2);
          for (int k = 0; k < r + 3; ++k, ++i) lengths[i] = lengths[i - 1];
        } else {
          int bits = s == 17 ? 3 : 7, r = in.Take(bits);
          out.Put(r, bits);
          i += r + (s == 17 ? 3 : 11);
        }
      }
      Code lit, dist;
      lit.Build(lengths, hlit + 257);
      dist.Build(lengths + hlit + 257, hdist + 1);
      CopyData(in, out, lit, dist);
    }
  } while (!last);
  // Room for the look-ahead of the final lookups.
  out.bytes.push_back(0);
  out.bytes.push_back(0);
  return out.bytes;
}

struct Item {
  Bytes data, deflated;
  size_t offset;  // of the transcoded stream in the stream file
};

}  // namespace

int main(int argc, char** argv) {
  size_t maxBytes = 64u << 20;
  int rounds = 3;
  std::string only;  // one decoder alone, for profiling
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--max-mb" && i + 1 < argc) {
      maxBytes = static_cast<size_t>(atof(argv[++i]) * (1 << 20));
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = atoi(argv[++i]);
    } else if (a == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (a == "-h" || a == "--help") {
      printf("usage: %s [--max-mb N] [--rounds N] [--only quorin|zlib|libdeflate] [path ...]\n", argv[0]);
      return 0;
    } else {
      paths.push_back(a);
    }
  }
  if (paths.empty()) paths = {"/usr/lib/x86_64-linux-gnu", "/usr/share/doc", "/usr/share/fonts"};

  // Take files from each path in turn so the mix holds every kind.
  std::vector<std::vector<std::string>> lists(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) Collect(paths[i], &lists[i]);
  std::vector<Item> items;
  size_t total = 0, packed = 0;
  for (size_t round = 0; total < maxBytes; ++round) {
    bool any = false;
    for (auto& list : lists) {
      if (round >= list.size() || total >= maxBytes) continue;
      any = true;
      Item item;
      if (!ReadWhole(list[round], std::min<size_t>(maxBytes - total, 8u << 20), &item.data)) continue;
      total += item.data.size();
      items.push_back(std::move(item));
    }
    if (!any) break;
  }
  if (items.empty()) {
    fprintf(stderr, "no input files\n");
    return 1;
  }

  char name[] = "/tmp/quorin-decode-speed-XXXXXX";
  int fd = mkstemp(name);
  unlink(name);
  Bytes streams;
  for (Item& item : items) {
    item.deflated = Deflate(item.data);
    packed += item.deflated.size();
    Bytes ours = Transcode(item.deflated);
    item.offset = streams.size();
    streams.insert(streams.end(), ours.begin(), ours.end());
  }
  if (write(fd, streams.data(), streams.size()) != static_cast<ssize_t>(streams.size())) {
    fprintf(stderr, "cannot write the stream file\n");
    return 1;
  }
  FileHandle file = reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd));
  printf("corpus: %zu files, %.1f MB, deflated to %.1f%% (zlib level 9)\n", items.size(), total / 1e6,
         100.0 * packed / total);

  Bytes out(8u << 20);
  // Checks our output once, outside the timing.
  for (const Item& item : items) {
    SeekFromStart(file, static_cast<uint32_t>(item.offset));
    if (!ExpandIntoMemory(out.data(), static_cast<uint32_t>(item.data.size()), file, 0) ||
        memcmp(out.data(), item.data.data(), item.data.size()) != 0) {
      fprintf(stderr, "decoder output differs from the input\n");
      return 1;
    }
  }

  double best[3] = {1e9, 1e9, 1e9};
  z_stream z = {};
  inflateInit2(&z, -15);
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
  for (int r = 0; r < rounds; ++r) {
    double t = Now();
    for (const Item& item : items) {
      if (!only.empty() && only != "quorin") break;
      SeekFromStart(file, static_cast<uint32_t>(item.offset));
      ExpandIntoMemory(out.data(), static_cast<uint32_t>(item.data.size()), file, 0);
    }
    best[0] = std::min(best[0], Now() - t);

    t = Now();
    for (const Item& item : items) {
      if (!only.empty() && only != "zlib") break;
      inflateReset(&z);
      z.next_in = const_cast<uint8_t*>(item.deflated.data());
      z.avail_in = static_cast<uInt>(item.deflated.size());
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      if (inflate(&z, Z_FINISH) != Z_STREAM_END) fprintf(stderr, "inflate failed\n");
    }
    best[1] = std::min(best[1], Now() - t);

    t = Now();
    for (const Item& item : items) {
      if (!only.empty() && only != "libdeflate") break;
      size_t n;
      if (libdeflate_deflate_decompress(ld, item.deflated.data(), item.deflated.size(), out.data(), out.size(), &n) !=
          LIBDEFLATE_SUCCESS)
        fprintf(stderr, "libdeflate failed\n");
    }
    best[2] = std::min(best[2], Now() - t);
  }
  inflateEnd(&z);
  libdeflate_free_decompressor(ld);
  close(fd);

  const char* names[3] = {"quorin ExpandIntoMemory", "zlib inflate", "libdeflate"};
  printf("best of %d rounds, processor time\n", rounds);
  const char* keys[3] = {"quorin", "zlib", "libdeflate"};
  for (int i = 0; i < 3; ++i)
    if (only.empty() || only == keys[i]) printf("%-26s %8.1f MB/s\n", names[i], total / 1e6 / best[i]);
  if (only.empty()) printf("quorin / zlib       %.2f\nquorin / libdeflate %.2f\n", best[1] / best[0], best[2] / best[0]);
  return 0;
}
