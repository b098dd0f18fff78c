#include "common/safe_format.h"

namespace {

constexpr uint32_t kFormatLimit = 1024;

struct Output {
  char* text;
  uint32_t capacity;
  uint32_t length;
};

void Put(Output& out, char c) {
  if (out.length + 1 < out.capacity) out.text[out.length++] = c;
}

void PutText(Output& out, const char* text) {
  if (!text) return;
  while (*text) Put(out, *text++);
}

void PutNumber(Output& out, uint32_t value, bool isSigned) {
  if (isSigned && static_cast<int32_t>(value) < 0) {
    Put(out, '-');
    value = 0u - value;
  }
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  while (count) Put(out, digits[--count]);
}

enum ArgumentKind { kString, kNumber };

// Length of the expected conversion starting at p (just after a '%'), 0 if
// there is none; *isSigned tells how a number is printed.
int ExpectedConversion(const char* p, ArgumentKind kind, bool* isSigned) {
  if (kind == kString) return *p == 's' ? 1 : 0;
  int length = (*p == 'l') ? 1 : 0;
  char c = p[length];
  if (c != 'd' && c != 'i' && c != 'u') return 0;
  *isSigned = (c != 'u');
  return length + 1;
}

void Format(char* destination, uint32_t capacity, const char* format, ArgumentKind kind,
            const char* text, uint32_t number) {
  if (!capacity) return;
  Output out = {destination, capacity < kFormatLimit ? capacity : kFormatLimit, 0};
  bool substituted = false;
  const char* p = format ? format : "";
  while (*p) {
    if (*p != '%') {
      Put(out, *p++);
      continue;
    }
    if (p[1] == '%') {
      Put(out, '%');
      p += 2;
      continue;
    }
    bool isSigned = false;
    int length = substituted ? 0 : ExpectedConversion(p + 1, kind, &isSigned);
    if (!length) {
      // Not the argument's conversion: the '%' is an ordinary character and
      // whatever follows it is read as text.
      Put(out, *p++);
      continue;
    }
    if (kind == kString) {
      PutText(out, text);
    } else {
      PutNumber(out, number, isSigned);
    }
    substituted = true;
    p += 1 + length;
  }
  out.text[out.length] = 0;
}

}  // namespace

void CopyBounded(char* destination, uint32_t capacity, const char* source) {
  if (!capacity) return;
  destination[0] = 0;
  AppendBounded(destination, capacity, source);
}

void AppendBounded(char* destination, uint32_t capacity, const char* source) {
  if (!capacity) return;
  uint32_t length = 0;
  while (length + 1 < capacity && destination[length]) ++length;
  if (source) {
    while (length + 1 < capacity && *source) destination[length++] = *source++;
  }
  destination[length] = 0;
}

void FormatWithString(char* destination, uint32_t capacity, const char* format, const char* argument) {
  Format(destination, capacity, format, kString, argument, 0);
}

void FormatWithNumber(char* destination, uint32_t capacity, const char* format, uint32_t argument) {
  Format(destination, capacity, format, kNumber, nullptr, argument);
}
