#include "record_walk.h"

#include <windows.h>

#include <string.h>

#include "common/safe_format.h"
#include "install/uninstall_data.h"
#include "known_folders.h"
#include "remove_file.h"
#include "report.h"
#include "uninstall_key.h"
#include "uninstall_state.h"

namespace {

constexpr uint32_t kPathSize = format::kPathBufferSize;

// A recorded text in a message: cut short, with bytes that would garble the
// message shown as '?'.
void AppendShown(char* out, uint32_t capacity, CountedText text) {
  size_t used = strlen(out);
  for (uint16_t i = 0; i < text.length && i < 120 && used + 1 < capacity; ++i) {
    unsigned char c = static_cast<unsigned char>(text.text[i]);
    out[used++] = c < 0x20 ? '?' : static_cast<char>(c);
  }
  out[used] = 0;
}

void NoteRefusedItem(const UninstallItem& item, const char* why) {
  char shown[300] = "";
  AppendShown(shown, sizeof shown, item.folder);
  AppendBounded(shown, sizeof shown, "\\");
  AppendShown(shown, sizeof shown, item.name);
  NoteProblem(shown, why);
}

// Why a path is refused, by RecordedPathResult from kPathBadName on; null
// for a path that resolved.
const char* PathProblem(RecordedPathResult result) {
  const char* text =
      "not a plain file name\0"
      "not a folder that a setup records\0"
      "its folder climbs out with \".\" or \"..\"\0"
      "the path is longer than 259 characters";
  if (result < kPathBadName) return nullptr;
  for (int i = kPathBadName; i < result; ++i) text += strlen(text) + 1;
  return text;
}

bool EndsWithShortcutExtension(CountedText name) {
  if (name.length <= 4) return false;
  const char* e = name.text + name.length - 4;
  return e[0] == '.' && (e[1] | 0x20) == 'l' && (e[2] | 0x20) == 'n' && (e[3] | 0x20) == 'k';
}

// Resolves a file or shortcut record to its full path. Returns why it is
// refused, or null. *root receives the folder whose emptied subfolders may go.
const char* CheckItem(bool isShortcut, const UninstallItem& item, char* path, const char** root) {
  RecordedPathResult result = RecordedPath(path, item.folder, item.name, g_uninstall.destination);
  if (const char* problem = PathProblem(result)) return problem;
  if (isShortcut) {
    if (!EndsWithShortcutExtension(item.name)) return "not a shortcut file";
    *root = result == kPathAbsolute ? KnownFolderHolding(path, kShortcutFolders) : nullptr;
    return *root ? nullptr : "it lies outside the Start menu";
  }
  if (result == kPathRelative) {
    *root = g_uninstall.destination;
    return nullptr;
  }
  *root = nullptr;
  return KnownFolderHolding(path, kFileFolders) ? nullptr : "it lies outside the folders a setup writes to";
}

void WalkItems(const UninstallRecord& record, UninstallPass pass) {
  bool isShortcut = record.tag == uninstall::kTagShortcuts;
  UninstallItems items;
  StartUninstallItems(record, &items);
  UninstallItem item;
  char path[format::kPathBufferSize];
  while (NextUninstallItem(&items, &item)) {
    const char* root;
    if (const char* problem = CheckItem(isShortcut, item, path, &root)) {
      if (pass == kPassCheck) {
        NoteRefusedItem(item, problem);
        g_uninstall.dataDamaged = true;
      }
      continue;
    }
    // The uninstaller goes last, by itself.
    if (lstrcmpiA(path, g_uninstall.ownPath) == 0) continue;
    if (pass == kPassCheck) {
      ++g_uninstall.itemsToRemove;
    } else if (isShortcut) {
      DeleteNowOrAtRestart(path);
      *strrchr(path, '\\') = 0;
      RemoveEmptyFoldersUpTo(path, root);
    } else if (pass == kPassFiles) {
      RemoveRecordedFile(path, item.flags);
    } else if (root) {
      bool waits = g_uninstall.restartNeeded && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
      *strrchr(path, '\\') = 0;
      RemoveEmptyFoldersUpTo(path, root);
      if (waits && root == g_uninstall.destination) RemoveFoldersAtRestart(path, root);
    }
  }
}

bool PassReads(UninstallPass pass, uint16_t tag) {
  switch (tag) {
    case uninstall::kTagFiles:
      return pass == kPassCheck || pass == kPassFiles || pass == kPassFolders;
    case uninstall::kTagShortcuts:
      return pass == kPassCheck || pass == kPassShortcuts;
    case uninstall::kTagKey:
      return pass == kPassCheck || pass == kPassKey;
    default:
      return false;
  }
}

}  // namespace

void WalkUninstallData(UninstallPass pass) {
  UninstallReader reader;
  StartUninstallData(&reader, g_uninstall.data, g_uninstall.dataSize);
  while (!reader.finished) {
    UninstallRecord record;
    UninstallDataResult result = NextUninstallRecord(&reader, &record);
    if (result == kDataEnd) break;
    if (result != kDataOk) {
      if (pass == kPassCheck) {
        char where[32];
        wsprintfA(where, "At byte %u", record.offset);
        NoteProblem(where, UninstallDataProblem(result));
        g_uninstall.dataDamaged = true;
      }
      continue;
    }
    if (!PassReads(pass, record.tag)) continue;
    if (record.tag == uninstall::kTagKey) {
      HandleUninstallKey(record, pass == kPassCheck);
    } else {
      WalkItems(record, pass);
    }
  }
}
