#include "package/file_source.h"

#include "common/memory.h"
#include "common/setup_state.h"
#include "package/volumes.h"

void InitSource(FileSource* source) {
  source->buffer = nullptr;
  source->readPosition = nullptr;
  source->unread = 0;
  source->file = INVALID_FILE;
  source->budget = 0;
  source->cancelled = false;
}

bool OpenSource(FileSource* source, FileHandle file, uint32_t budget) {
  InitSource(source);
  if (file == INVALID_FILE) return false;
  if (!AllocBlock(kSourceBufferSize, &source->buffer)) return false;
  source->readPosition = source->buffer;
  source->file = file;
  source->budget = budget;
  return true;
}

void OpenSourceOnMemory(FileSource* source, const uint8_t* data, uint32_t size) {
  InitSource(source);
  source->readPosition = const_cast<uint8_t*>(data);
  source->unread = size;
}

void RefillSource(FileSource* source) {
  // Without a file (a source on memory) there is nothing more to read.
  if (source->file == INVALID_FILE) return;
  uint32_t piece = source->budget > 0 && source->budget < kSourceBufferSize ? source->budget
                                                                              : kSourceBufferSize;
  source->readPosition = source->buffer;
  uint32_t got = ReadSome(source->file, source->buffer, piece);
  source->unread = got;
  if (source->budget == 0) return;

  // A budgeted source reads the data area, whose volume bookkeeping counts
  // every byte taken from the current volume.
  source->budget -= piece;
  g_setup.volume.remaining -= got;
  if (got == piece) return;

  // Short read: the data area goes on in the next volume (or the same one,
  // reopened). At most one change per piece; a second short read leaves the
  // piece short although the budget counted all of it.
  source->file = OpenNextVolume();
  if (source->file == INVALID_FILE) {
    // The bytes of the old volume are not handed out: the stream is abandoned.
    source->unread = 0;
    source->cancelled = true;
    return;
  }
  uint32_t more = ReadSome(source->file, source->buffer + got, piece - got);
  source->unread += more;
  g_setup.volume.remaining -= more;
}

bool CloseSource(FileSource* source) {
  bool ok = true;
  FreeBlock(source->buffer);
  if (source->file != INVALID_FILE && source->unread > 0)
    ok = SeekRelative(source->file, -static_cast<int32_t>(source->unread)) != kSeekFailed;
  source->readPosition = nullptr;
  source->unread = 0;
  source->file = INVALID_FILE;
  return ok;
}
