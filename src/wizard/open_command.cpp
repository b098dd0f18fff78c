#include "wizard/document_opener.h"

#include <string.h>

#include "common/safe_format.h"

bool OpenCommandFor(char* command, unsigned capacity, const char* target) {
  char* placeholder = strstr(command, "\"%1\"");
  if (!placeholder) placeholder = strstr(command, "%1");
  if (placeholder) *placeholder = 0;
  // A target with spaces is one argument only in quotes; unquoted it would
  // start the wrong program or open the wrong file.
  bool quote = strchr(target, ' ') != nullptr;
  if (strlen(command) + 1 + strlen(target) + (quote ? 2 : 0) >= capacity) return false;
  AppendBounded(command, capacity, quote ? " \"" : " ");
  AppendBounded(command, capacity, target);
  if (quote) AppendBounded(command, capacity, "\"");
  return true;
}
