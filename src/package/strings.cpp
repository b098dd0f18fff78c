#include "package/strings.h"

#include "common/safe_format.h"
#include "common/setup_state.h"
#include "package/format.h"

static const char kEmptyText[] = "";

const char* GetGroupString(int group, int entry) {
  if (group < 0 || group >= format::kStringGroupCount || entry < 0) return kEmptyText;
  const uint8_t* buffer = g_setup.package.stringGroups[group];
  uint32_t size = g_setup.package.stringGroupSizes[group];
  if (!buffer || size < 2) return kEmptyText;
  if (entry >= format::ReadU16(buffer)) return kEmptyText;

  // The count comes from the package and may promise more strings than the
  // buffer holds, and the last string may lack its NUL: every step stays
  // inside the expanded size.
  const uint8_t* end = buffer + size;
  const uint8_t* p = buffer + 2;
  for (int skipped = 0;; ++skipped) {
    const uint8_t* start = p;
    while (p < end && *p) ++p;
    if (p == end) return kEmptyText;
    if (skipped == entry) return reinterpret_cast<const char*>(start);
    ++p;
  }
}

void FormatErrorMessage(char* destination, uint32_t capacity, int errorCode) {
  if (!capacity) return;
  const char* text = GetGroupString(6, errorCode);
  bool hasStringConversion = false;
  for (const char* p = text; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      hasStringConversion = true;
      break;
    }
  }
  if (hasStringConversion) {
    FormatWithString(destination, capacity, text, g_setup.errorFileName);
  } else {
    CopyBounded(destination, capacity, text);
  }
}
