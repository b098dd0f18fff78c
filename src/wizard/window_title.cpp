#include "wizard/window_title.h"

#include "common/safe_format.h"

void ComposeWindowTitle(char* destination, uint32_t capacity, const char* title, const char* caption) {
  CopyBounded(destination, capacity, title);
  AppendBounded(destination, capacity, " - ");
  AppendBounded(destination, capacity, caption);
}
